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
