// APE tag footer and items.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "tags/APETag.h"

using namespace tags;
using namespace tagtest;

namespace {

std::string LE32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[size_t(i)] = char((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Item(const std::string& name, const std::string& value) {
  return LE32(uint32_t(value.size())) + LE32(0) + name + std::string(1, '\0') + value;
}

std::string ApeTag(const std::vector<std::pair<std::string, std::string>>& items, uint32_t version = 2000) {
  std::string body;
  for (const auto& [n, v] : items) body += Item(n, v);
  std::string footer = "APETAGEX" + LE32(version) + LE32(uint32_t(body.size() + 32)) +
                       LE32(uint32_t(items.size())) + LE32(0) + std::string(8, '\0');
  return body + footer;
}

}  // namespace

TEST(TagsAPETag, ReadsItems) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string tag = ApeTag({{"Title", " My Title "}, {"Artist", "Someone \xc3\xa9"}, {"Year", "2003"}});
  WriteBytes(f, FakeAudio(1000) + tag);
  TAPETag a;
  ASSERT_TRUE(a.ReadFromFile(f));
  ASSERT_TRUE(a.Exists());
  EXPECT_EQ(a.Version(), 2000);
  EXPECT_EQ(a.TagSize(), int64_t(tag.size()));
  ASSERT_EQ(a.Items().size(), 3u);
  EXPECT_EQ(a.Items()[0].Name, "Title");
  EXPECT_EQ(a.Items()[0].Value, "My Title");
  EXPECT_EQ(a.Value("ARTIST"), "Someone \xc3\xa9");
  EXPECT_EQ(a.Value("year"), "2003");
}

TEST(TagsAPETag, LongValueIsCutAndNextItemStillFound) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string big(300, 'v');
  WriteBytes(f, FakeAudio(1000) + ApeTag({{"Comment", big}, {"Album", "After"}}));
  TAPETag a;
  ASSERT_TRUE(a.ReadFromFile(f));
  ASSERT_EQ(a.Items().size(), 2u);
  EXPECT_EQ(a.Items()[0].Value, std::string(250, 'v'));
  EXPECT_EQ(a.Value("Album"), "After");
}

TEST(TagsAPETag, FooterBeforeID3v1) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string id3(128, '\0');
  id3.replace(0, 3, "TAG");
  WriteBytes(f, FakeAudio(1000) + ApeTag({{"Title", "T"}}) + id3);
  TAPETag a;
  ASSERT_TRUE(a.ReadFromFile(f));
  EXPECT_TRUE(a.Exists());
  EXPECT_EQ(a.Value("Title"), "T");
}

TEST(TagsAPETag, ShortFilesAndNoTag) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  TAPETag a;
  WriteBytes(f, std::string(32, 'x'));
  EXPECT_FALSE(a.ReadFromFile(f));
  WriteBytes(f, std::string(33, 'x'));
  EXPECT_TRUE(a.ReadFromFile(f));
  EXPECT_FALSE(a.Exists());
  std::string id3(128, '\0');
  id3.replace(0, 3, "TAG");
  WriteBytes(f, std::string(32, 'x') + id3);  // 160 bytes with an ID3v1 tag
  EXPECT_FALSE(a.ReadFromFile(f));
  WriteBytes(f, std::string(33, 'x') + id3);
  EXPECT_TRUE(a.ReadFromFile(f));
  EXPECT_FALSE(a.ReadFromFile(dir.File("missing")));
}

TEST(TagsAPETag, BrokenItemCountStopsQuietly) {
  ScratchDir dir;
  std::string f = dir.File("a.mp3");
  std::string tag = ApeTag({{"Title", "T"}});
  tag.replace(tag.size() - 16, 4, LE32(1000000));  // claims a million items
  WriteBytes(f, FakeAudio(100) + tag);
  TAPETag a;
  ASSERT_TRUE(a.ReadFromFile(f));
  EXPECT_TRUE(a.Exists());
  EXPECT_EQ(a.Value("Title"), "T");
  EXPECT_LT(a.Items().size(), 5u);
}
