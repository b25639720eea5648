// Hostile playlists: a line longer than any entry can be holds no entry, in every format,
// and the lines around it are read as usual.
#include <gtest/gtest.h>

#include "PlaylistTestUtil.h"
#include "playlist/PlaylistFiles.h"

using namespace playlist;
using namespace pltest;

TEST(PlaylistBounds, AnOverlongLineOfAPlfFileGivesNoEntry) {
  const std::string longLine = "Title|/" + std::string(kMaxPlaylistLine, 'x') + ".mp3|1:00";
  const std::string text = "One|/one.mp3|1:00\r\n" + longLine + "\r\nTwo|/two.mp3|2:00\r\n";
  const auto entries = ParsePlf(text);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].File, "/one.mp3");
  EXPECT_EQ(entries[1].File, "/two.mp3");
  EXPECT_EQ(entries[1].Num, "2. ");

  // At the limit the line is still an entry.
  const std::string atLimit = "T|/" + std::string(kMaxPlaylistLine - 4, 'y') + "|";
  ASSERT_EQ(atLimit.size(), kMaxPlaylistLine);
  const auto kept = ParsePlf(atLimit + "\r\n");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].File.size(), kMaxPlaylistLine - 3);
}

TEST(PlaylistBounds, AnOverlongLineOfAForeignPlaylistGivesNoAddress) {
  const std::string huge = "/" + std::string(kMaxPlaylistLine + 1, 'z') + ".mp3";
  std::vector<std::string> titles, paths;
  ASSERT_TRUE(ParseForeignPlaylist(kKindPLS, "[playlist]\nFile1=/a.mp3\nFile2=" + huge + "\nFile3=/b.mp3\n", titles, paths));
  EXPECT_EQ(paths, (std::vector<std::string>{"/a.mp3", "/b.mp3"}));
  ASSERT_TRUE(ParseForeignPlaylist(kKindMPC, "1,filename,/a.mp3\n2,filename," + huge + "\n", titles, paths));
  EXPECT_EQ(paths, (std::vector<std::string>{"/a.mp3"}));
  // In an M3U list it stands where an empty line would.
  ASSERT_TRUE(ParseForeignPlaylist(kKindM3U, "#EXTM3U\n/a.mp3\n" + huge + "\n/b.mp3\n", titles, paths));
  std::vector<std::string> empty;
  ASSERT_TRUE(ParseForeignPlaylist(kKindM3U, "#EXTM3U\n/a.mp3\n\n/b.mp3\n", titles, empty));
  EXPECT_EQ(paths, empty);
  EXPECT_EQ(paths.front(), "/a.mp3");
  EXPECT_EQ(paths.back(), "/b.mp3");
}

namespace {

// Keeps only the number of entries and the last one, so a list at the entry limit costs
// no more than its text.
struct CountingSink : TEntrySink {
  size_t count = 0;
  std::string lastTitle, lastFile, lastTime;
  void Add(std::string title, std::string file, std::string time) override {
    ++count;
    lastTitle = std::move(title);
    lastFile = std::move(file);
    lastTime = std::move(time);
  }
};

// `n` copies of `entry`, then `last` and `over`: the entry at the limit and the one past it.
std::string Repeated(std::string_view head, std::string_view entry, size_t n, std::string_view last,
                     std::string_view over) {
  std::string text(head);
  text.reserve(head.size() + entry.size() * n + last.size() + over.size());
  for (size_t i = 0; i < n; ++i) text += entry;
  text += last;
  text += over;
  return text;
}

}  // namespace

TEST(PlaylistBounds, APlfTextGivesNoMoreThanTheEntryLimit) {
  // Empty lines hold no entry and do not count towards the limit.
  const std::string text = Repeated("\r\n\r\n", "x\r\n", kMaxPlaylistEntries - 1, "T|/last.mp3|1:00\r\n",
                                    "T|/over.mp3|1:00\r\n");
  CountingSink sink;
  EXPECT_EQ(ReadPlfEntries(text, sink), kMaxPlaylistEntries);
  EXPECT_EQ(sink.count, kMaxPlaylistEntries);
  EXPECT_EQ(sink.lastFile, "/last.mp3");

  // Exactly at the limit everything is taken.
  CountingSink exact;
  EXPECT_EQ(ReadPlfEntries(Repeated("", "x\r\n", kMaxPlaylistEntries - 1, "T|/last.mp3|1:00", ""), exact),
            kMaxPlaylistEntries);
  EXPECT_EQ(exact.lastFile, "/last.mp3");
}

TEST(PlaylistBounds, AForeignPlaylistGivesNoMoreThanTheEntryLimit) {
  struct Format {
    const char* kind;
    const char* head;
    const char* entry;
    const char* last;
    const char* over;
  };
  const Format formats[] = {
      {kKindM3U, "#EXTM3U\n", "a\n", "#EXTINF:1,Last\n/last.mp3\n", "/over.mp3\n"},
      {kKindBSPlayer, "", "a\n", "/last.mp3\n", "/over.mp3\n"},
      {kKindLightAlloy, "", "a\n>N a\n", "/last.mp3\n>N Last\n", "/over.mp3\n>N Over\n"},
      {kKindMPC, "MPCPLAYLIST\n", "1,filename,a\n", "2,filename,/last.mp3\n", "3,filename,/over.mp3\n"},
      {kKindPLS, "[playlist]\n", "File1=a\n", "File2=/last.mp3\n", "File3=/over.mp3\n"},
      {kKindASX, "<asx version=\"3.0\">\n", "<entry>\"a\"\n", "<entry>\"/last.mp3\"\n", "<entry>\"/over.mp3\"\n"},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.kind);
    CountingSink sink;
    ASSERT_TRUE(ReadForeignEntries(f.kind, Repeated(f.head, f.entry, kMaxPlaylistEntries - 1, f.last, f.over), sink));
    EXPECT_EQ(sink.count, kMaxPlaylistEntries);
    EXPECT_EQ(sink.lastFile, "/last.mp3");
  }
}
