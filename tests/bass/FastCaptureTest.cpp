// The capture output with a clock without limit, fed by streams whose data come from another thread
// in small pieces (as the play thread feeds its output stream): nothing lost, doubled or reordered,
// the mixing the same to the bit, and data that stay late still reach the capture.
#include "BassTestUtil.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// A queue of bytes a producer thread fills piece by piece and a stream procedure drains.
struct Feed {
  std::mutex m;
  std::deque<uint8_t> q;
  bool done = false;
};

DWORD CALLBACK FromFeed(HSTREAM, void* buffer, DWORD length, void* user) {
  auto* f = static_cast<Feed*>(user);
  std::lock_guard<std::mutex> lk(f->m);
  DWORD n = DWORD(std::min<size_t>(length, f->q.size()));
  std::copy_n(f->q.begin(), n, static_cast<uint8_t*>(buffer));
  f->q.erase(f->q.begin(), f->q.begin() + n);
  return (f->done && f->q.empty()) ? (n | BASS_STREAMPROC_END) : n;
}

// Pushes "data" into the feed in pieces of "piece" bytes, waiting "pause" between pieces and, while
// more than "cap" bytes are queued, until the stream has taken some.
void Produce(Feed& f, const std::vector<uint8_t>& data, size_t piece, std::chrono::microseconds pause, size_t cap) {
  for (size_t at = 0; at < data.size(); at += piece) {
    for (int i = 0; i < 20000; ++i) {
      {
        std::lock_guard<std::mutex> lk(f.m);
        if (f.q.size() <= cap) break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    {
      std::lock_guard<std::mutex> lk(f.m);
      size_t n = std::min(piece, data.size() - at);
      f.q.insert(f.q.end(), data.begin() + long(at), data.begin() + long(at + n));
      if (at + n == data.size()) f.done = true;
    }
    if (pause.count()) std::this_thread::sleep_for(pause);
  }
  std::lock_guard<std::mutex> lk(f.m);
  f.done = true;
}

std::vector<uint8_t> Ramp16(size_t samples, uint32_t seed) {
  std::vector<uint8_t> b(samples * 2);
  uint32_t x = seed;
  for (size_t i = 0; i < samples; ++i) {
    x = x * 1664525u + 1013904223u;
    int16_t v = int16_t(x >> 16);
    b[2 * i] = uint8_t(v & 0xFF);
    b[2 * i + 1] = uint8_t((uint16_t(v) >> 8) & 0xFF);
  }
  return b;
}

// What the mixer makes of one 16-bit channel with constant volume and pan: each sample as a float,
// times its side's gain, added to silence.
std::vector<float> Expected16(const std::vector<uint8_t>& b, int chans, float vol, float pan) {
  const float gl = vol * std::min(1.0f, 1.0f - pan), gr = vol * std::min(1.0f, 1.0f + pan);
  std::vector<float> out;
  const size_t samples = b.size() / 2;
  for (size_t i = 0; i < samples; i += size_t(chans)) {
    auto at = [&](size_t k) { return float(int16_t(uint16_t(b[2 * k] | b[2 * k + 1] << 8))) * (1.0f / 32768.0f); };
    const float l = at(i), r = chans == 2 ? at(i + 1) : l;
    out.push_back(0.0f + l * gl);
    out.push_back(0.0f + r * gr);
  }
  return out;
}

size_t Differences(const std::vector<float>& got, const std::vector<float>& want) {
  size_t d = 0;
  for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    if (got[i] != want[i] && ++d < 5) ADD_FAILURE() << "sample " << i << ": " << got[i] << ", not " << want[i];
  }
  return d;
}

bool WaitStopped(DWORD h) {
  return bt::WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 60);
}

void PlayFed(const std::vector<uint8_t>& data, int chans, float vol, float pan, size_t piece,
             std::chrono::microseconds pause, size_t cap) {
  Feed feed;
  HSTREAM h = BASS_StreamCreate(44100, DWORD(chans), 0, FromFeed, &feed);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_VOL, vol));
  ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_PAN, pan));
  std::thread producer(Produce, std::ref(feed), std::cref(data), piece, pause, cap);
  EXPECT_TRUE(BASS_ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitStopped(h));
  producer.join();
  EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), QWORD(data.size()));
  BASS_StreamFree(h);
}

TEST(FastCapture, StreamsFedInSmallPiecesByAnotherThreadAreCapturedWholeAndExact) {
  bt::Lib lib;
  ASSERT_TRUE(lib.ok);
  // Stereo at full volume, stereo turned down and to the left, mono turned up to the right: pieces
  // of one decoded MPEG frame, at most about a ring's worth queued.
  auto a = Ramp16(2 * 3 * 44100 + 2 * 333, 1), b = Ramp16(2 * 44100 + 2 * 77, 2), c = Ramp16(44100 + 5, 3);
  PlayFed(a, 2, 1.0f, 0.0f, 4608, std::chrono::microseconds(0), 26460 * 4);
  PlayFed(b, 2, 0.7f, -0.3f, 4608, std::chrono::microseconds(0), 26460 * 4);
  PlayFed(c, 1, 0.9f, 0.6f, 2304, std::chrono::microseconds(0), 26460 * 2);
  std::vector<float> want = Expected16(a, 2, 1.0f, 0.0f);
  for (auto& part : {Expected16(b, 2, 0.7f, -0.3f), Expected16(c, 1, 0.9f, 0.6f)})
    want.insert(want.end(), part.begin(), part.end());
  auto w = lib.Finish();
  ASSERT_EQ(w.chans, 2);
  ASSERT_EQ(w.samples.size(), want.size());
  EXPECT_EQ(Differences(w.samples, want), 0u);
}

TEST(FastCapture, DataThatStayLateAreStillMixed) {
  bt::Lib lib;
  ASSERT_TRUE(lib.ok);
  // Small pieces with long pauses: the mixer waits for whole blocks only a while, then takes what
  // has come. Everything arrives, once, in order.
  auto a = Ramp16(2 * 6000, 4);
  PlayFed(a, 2, 1.0f, 0.0f, 2000, std::chrono::microseconds(30000), 2000);
  auto w = lib.Finish();
  auto want = Expected16(a, 2, 1.0f, 0.0f);
  ASSERT_EQ(w.samples.size(), want.size());
  EXPECT_EQ(Differences(w.samples, want), 0u);
}

}  // namespace
