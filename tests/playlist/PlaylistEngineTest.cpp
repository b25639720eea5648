// The playlist over the real engine (generated media), and `orvella playlist`
// run as a user would run it.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>

#include "../engine/EngineTestUtil.h"
#include "PlaylistTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "playlist/PlaylistFiles.h"

using namespace playlist;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

std::string TaggedMp3() {
  return enginetest::Media("pl_tagged.mp3",
                           "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 -c:a libmp3lame "
                           "-b:a 128k -id3v2_version 3 -metadata title=Song -metadata artist=Ann {out}");
}

std::string ArtistOnlyOgg() {
  return enginetest::Media("pl_artist.ogg",
                           "ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:duration=1.5 -ac 2 -c:a libvorbis "
                           "-metadata artist=Ann {out}");
}

#ifdef ORVELLA_WITH_CLI
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    out.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return out;
}
#endif

}  // namespace

TEST(PlaylistEngine, TitlesAndTimesComeFromTheRealEngine) {
  std::string mp3 = TaggedMp3(), ogg = ArtistOnlyOgg(), wav = enginetest::SineWav(1.0);
  ASSERT_FALSE(mp3.empty());
  ASSERT_FALSE(ogg.empty());
  ASSERT_FALSE(wav.empty());
  enginetest::ProgramDir prog;
  enginetest::SilentOutput silent;
  pltest::TempDir music;
  fs::copy_file(mp3, music.File("b-tagged.mp3"));
  fs::copy_file(ogg, music.File("a-artist.ogg"));
  fs::copy_file(wav, music.File("c-sine.wav"));
  music.Make("notes.txt");

  engine::TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  TEngineStreamInfo src(eng);
  TStreamInfoCache cache(src);
  TPlaylistHost host;
  TPlaylist pl(cache, host);
  pl.AddFolder(music.Path());
  ASSERT_EQ(pl.Count(), 3);
  pl.Sort("filename");
  // The engine fills an empty title with the file name, so an artist alone still
  // gives "artist - file name".
  EXPECT_THAT(pltest::Titles(pl), ElementsAre("Ann - a-artist.ogg", "Ann - Song", "c-sine.wav"));
  EXPECT_EQ(pl.Entry(0).Time, "00:00:01");
  EXPECT_EQ(pl.Entry(1).Time, "00:00:02");
  EXPECT_EQ(pl.Entry(2).Time, "00:00:01");
  EXPECT_NEAR(double(pl.TotalTime), 4500.0, 80.0);
  EXPECT_EQ(cache.InnerReads(), 3u);  // each file read once for both the title and the time

  // The same answers without the cache, and for the file the engine has open.
  TPlaylist direct(src, host);
  direct.AddFolder(music.Path());
  EXPECT_EQ(direct.TotalTime, pl.TotalTime);
  ASSERT_TRUE(eng.Open(music.File("b-tagged.mp3")));
  pl.UpdateTimes();
  EXPECT_EQ(direct.TotalTime, pl.TotalTime);
}

#ifdef ORVELLA_WITH_CLI
TEST(OrvellaPlaylist, PrintsTheEntriesOfAPlfAndOfAnImportWithItsKind) {
  const std::string orvella = std::string(ORVELLA_STAGE_DIR) + "/orvella";
  std::string mp3 = TaggedMp3(), wav = enginetest::SineWav(1.0);
  ASSERT_FALSE(mp3.empty());
  pltest::TempDir dir;
  fs::create_directories(dir.File("m"));
  fs::copy_file(mp3, dir.File("m/song.mp3"));
  fs::copy_file(wav, dir.File("m/sine.wav"));

  std::string plf = dir.Make("list.plf", "Mine|" + dir.File("m/song.mp3") + "|\r\nonly|one\r\n\r\nAddr|http://radio.example/x|\r\n");
  int status = -1;
  std::string out = enginetest::Run(orvella + " playlist " + enginetest::Quote(plf) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 0);
  EXPECT_THAT(Lines(out), ElementsAre("Mine|" + dir.File("m/song.mp3") + "|00:00:02", "only||one",
                                      "Addr|http://radio.example/x|"));

  std::string m3u = dir.Make("list.m3u", "#EXTM3U\r\n#EXTINF:2,Named\r\nm/song.mp3\r\nm/sine.wav\r\nm/LOUD.MP3\r\n/abs/gone.ogg\r\n");
  out = enginetest::Run(orvella + " playlist " + enginetest::Quote(m3u) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 0);
  EXPECT_THAT(Lines(out), ElementsAre("M3U Playlist", "Named|" + dir.File("m/song.mp3") + "|00:00:02",
                                      "sine.wav|" + dir.File("m/sine.wav") + "|00:00:01", "gone.ogg|/abs/gone.ogg|"));

  std::string unknown = dir.Make("list.txt", "m/song.mp3\r\n");
  out = enginetest::Run(orvella + " playlist " + enginetest::Quote(unknown) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "Unknown\n");
  enginetest::Run(orvella + " playlist " + enginetest::Quote(dir.File("missing.plf")) + " 2>/dev/null", &status);
  EXPECT_EQ(status, 1);
  enginetest::Run(orvella + " playlist 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
}
#endif
