// The ICY de-interleaver and metadata text parser on their own.
#include "Icy.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace orvbass;

namespace {

struct Split {
  std::string audio;
  std::vector<std::string> metas;
};

Split Deinterleave(const std::string& body, uint32_t metaint, const std::vector<size_t>& chunks) {
  Split s;
  IcyDeinterleaver d(metaint);
  size_t p = 0, i = 0;
  while (p < body.size()) {
    size_t k = std::min(chunks[i++ % chunks.size()], body.size() - p);
    d.Feed(reinterpret_cast<const uint8_t*>(body.data()) + p, k,
           [&](const uint8_t* a, size_t n) { s.audio.append(reinterpret_cast<const char*>(a), n); },
           [&](const std::string& t) { s.metas.push_back(t); });
    p += k;
  }
  return s;
}

std::string Block(const std::string& t) {
  size_t n = (t.size() + 15) / 16;
  std::string b(1, char(n));
  b += t;
  b.append(n * 16 - t.size(), '\0');
  return b;
}

}  // namespace

TEST(IcyDeinterleaver, AnyChunkingGivesTheSameAudioAndTitles) {
  std::string audio, body;
  std::vector<std::string> titles;
  const uint32_t metaint = 100;
  for (int b = 0; b < 50; ++b) {
    std::string run;
    for (int i = 0; i < int(metaint); ++i) run += char((b * 31 + i * 7) & 0xFF);
    audio += run;
    body += run;
    std::string t = b % 3 == 0 ? "" : "StreamTitle='T" + std::to_string(b) + "';";
    body += Block(t);
    if (!t.empty()) titles.push_back(t);
  }
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<size_t> chunks;
    for (int i = 0; i < 64; ++i) chunks.push_back(1 + rng() % (trial < 10 ? 3 : 300));
    Split s = Deinterleave(body, metaint, chunks);
    EXPECT_EQ(s.audio, audio);
    EXPECT_EQ(s.metas, titles);
  }
}

TEST(IcyDeinterleaver, WithoutMetaIntEverythingIsAudio) {
  std::string body = "abc\x01StreamTitle='x';";
  Split s = Deinterleave(body, 0, {2});
  EXPECT_EQ(s.audio, body);
  EXPECT_TRUE(s.metas.empty());
}

TEST(IcyMetaInt, OnlyPlainPositiveNumbersCount) {
  EXPECT_EQ(ParseIcyMetaInt("8192"), 8192u);
  EXPECT_EQ(ParseIcyMetaInt(" 16000 "), 16000u);
  EXPECT_EQ(ParseIcyMetaInt("0"), 0u);
  EXPECT_EQ(ParseIcyMetaInt("-8192"), 0u);
  EXPECT_EQ(ParseIcyMetaInt("abc"), 0u);
  EXPECT_EQ(ParseIcyMetaInt("8192x"), 0u);
  EXPECT_EQ(ParseIcyMetaInt(""), 0u);
  EXPECT_EQ(ParseIcyMetaInt("99999999999999999999999"), 0u);
  EXPECT_EQ(ParseIcyMetaInt("16777217"), 0u);  // above 16 MiB
}

TEST(IcyStreamTitle, QuotesSemicolonsAndMissingParts) {
  bool found = false;
  EXPECT_EQ(IcyStreamTitle("StreamTitle='Artist - Song';StreamUrl='';", &found), "Artist - Song");
  EXPECT_TRUE(found);
  EXPECT_EQ(IcyStreamTitle("StreamTitle='A; B';StreamUrl='x';", &found), "A; B");
  EXPECT_EQ(IcyStreamTitle("StreamTitle=No quotes;", &found), "No quotes");
  EXPECT_EQ(IcyStreamTitle("StreamTitle='Unterminated", &found), "Unterminated");
  EXPECT_EQ(IcyStreamTitle("StreamTitle='Ends with quote'", &found), "Ends with quote");
  EXPECT_EQ(IcyStreamTitle("StreamTitle=", &found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(IcyStreamTitle("StreamUrl='x';", &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(IcyStreamTitle("StreamTitle='Caf\xe9';", &found), "Caf\xe9");
}
