// ".plf" files and the six foreign formats, with their edge cases.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <filesystem>

#include "PlaylistTestUtil.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "playlist/PlaylistFiles.h"

using namespace playlist;
using namespace pltest;
using ::testing::ElementsAre;

namespace {

struct Fixture {
  FakeInfo info;
  RecordingHost host;
  TPlaylist pl{info, host};
};

std::vector<std::string> Nums(const TPlaylist& pl) {
  std::vector<std::string> out;
  for (const auto& e : pl.Entries()) out.push_back(e.Num);
  return out;
}

}  // namespace

TEST(PlfFile, SaveAndLoadReproduceEveryField) {
  TempDir dir;
  Fixture f;
  std::string song = dir.Make("music/song.mp3");
  f.info.Set(song, 125000, "Ann", "Song");
  f.pl.AddFile(song);
  f.pl.AddFile("http://radio.example/live");
  f.pl.AddFile("/v/Film.mkv");
  f.pl.AppendEntry({"", "Kept title", "03:21", "/gone/old.ogg"});
  f.pl.UpdateCounters();
  ASSERT_EQ(f.pl.Entry(0).Time, "00:02:05");
  std::string file = dir.File("list.plf");
  ASSERT_TRUE(f.pl.SavePlaylist(file));
  EXPECT_EQ(ReadAll(file), "Ann - Song|" + song + "|00:02:05\r\n" +
                               "http://radio.example/live|http://radio.example/live|\r\n"
                               "Film.mkv|/v/Film.mkv|\r\n"
                               "Kept title|/gone/old.ogg|03:21\r\n");

  Fixture g;
  g.info.Set(song, 125000);
  g.pl.AddFile("/previous/entry.mp3");
  g.pl.PlayingIndex = 3;
  ASSERT_TRUE(g.pl.LoadPlaylist(file));
  ASSERT_EQ(g.pl.Count(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(g.pl.Entry(i).Title, f.pl.Entry(i).Title);
    EXPECT_EQ(g.pl.Entry(i).File, f.pl.Entry(i).File);
    EXPECT_EQ(g.pl.Entry(i).Time, f.pl.Entry(i).Time);
  }
  EXPECT_THAT(Nums(g.pl), ElementsAre("1. ", "2. ", "3. ", "4. "));
  EXPECT_EQ(g.pl.PlayingIndex, 0);
  EXPECT_EQ(g.pl.FilesLabel(), "Files: 4");
  EXPECT_EQ(g.pl.TotalTime, 125000u);
}

TEST(PlfFile, AnEmptyPlaylistIsAnEmptyFileAndLineBreaksInATitleDoNotSplitTheLine) {
  TempDir dir;
  Fixture f;
  std::string file = dir.File("empty.plf");
  ASSERT_TRUE(f.pl.SavePlaylist(file));
  EXPECT_EQ(ReadAll(file), "");
  f.pl.AppendEntry({"", "two\r\nlines", "", "/a.mp3"});
  ASSERT_TRUE(f.pl.SavePlaylist(file));
  EXPECT_EQ(ReadAll(file), "two  lines|/a.mp3|\r\n");
}

TEST(PlfFile, LinesWithNoOrOneBarAndAnyLineEnd) {
  TempDir dir;
  std::string file = dir.Make("odd.plf", "just text\rTitle only|after\nA|/b.mp3|1:00\r\n\r\nX|/c.ogg||extra\n|||");
  Fixture f;
  ASSERT_TRUE(f.pl.LoadPlaylist(file));
  ASSERT_EQ(f.pl.Count(), 5);
  EXPECT_EQ(f.pl.Entry(0).Title, "");
  EXPECT_EQ(f.pl.Entry(0).File, "");
  EXPECT_EQ(f.pl.Entry(0).Time, "just text");
  EXPECT_EQ(f.pl.Entry(1).Title, "Title only");
  EXPECT_EQ(f.pl.Entry(1).File, "");
  EXPECT_EQ(f.pl.Entry(1).Time, "after");
  EXPECT_EQ(f.pl.Entry(2).File, "/b.mp3");
  EXPECT_EQ(f.pl.Entry(2).Time, "1:00");
  EXPECT_EQ(f.pl.Entry(3).File, "/c.ogg");
  EXPECT_EQ(f.pl.Entry(3).Time, "|extra");
  EXPECT_EQ(f.pl.Entry(4).Title, "");
  EXPECT_EQ(f.pl.Entry(4).Time, "|");
  EXPECT_THAT(Nums(f.pl), ElementsAre("1. ", "2. ", "3. ", "4. ", "5. "));
}

TEST(PlfFile, MissingUnreadableAndUnwritableFiles) {
  TempDir dir;
  Fixture f;
  f.pl.AddFile("/keep/me.mp3");
  platform::MessageRecorder rec;
  EXPECT_FALSE(f.pl.LoadPlaylist(dir.File("missing.plf")));  // silently ignored
  EXPECT_EQ(f.pl.Count(), 1);
  EXPECT_TRUE(rec.Messages().empty());

  std::filesystem::create_directories(dir.File("folder.plf"));
  EXPECT_FALSE(f.pl.LoadPlaylist(dir.File("folder.plf")));  // a folder is no playlist file
  EXPECT_TRUE(rec.Messages().empty());

  // A file too large to be a playlist (sparse, so it costs no disk) is refused.
  std::string huge = dir.Make("huge.plf", "T|/x.mp3|\r\n");
  std::filesystem::resize_file(huge, kMaxPlaylistFileSize + 1);
  EXPECT_FALSE(f.pl.LoadPlaylist(huge));
  EXPECT_EQ(f.pl.Count(), 1);  // nothing lost
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_EQ(rec.Messages()[0].caption, "Error");
  EXPECT_EQ(rec.Messages()[0].text.rfind("Cannot open file \"" + huge + "\". ", 0), 0u) << rec.Messages()[0].text;

  rec.Clear();
  std::string target = dir.Make("kept.plf", "Old|/old.mp3|\r\n");
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool writable = ::access(dir.Path().c_str(), W_OK) == 0;  // root writes anyway
  if (!writable) {
    EXPECT_FALSE(f.pl.SavePlaylist(target));
    ASSERT_EQ(rec.Messages().size(), 1u);
    EXPECT_EQ(rec.Messages()[0].text.rfind("Cannot create file \"" + target + "\". ", 0), 0u);
    EXPECT_EQ(ReadAll(target), "Old|/old.mp3|\r\n");  // the previous content is intact
  }
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
  rec.Clear();
  EXPECT_FALSE(f.pl.SavePlaylist(dir.File("no/such/folder/x.plf")));
  ASSERT_EQ(rec.Messages().size(), 1u);
  EXPECT_NE(rec.Messages()[0].text.find("Cannot create file"), std::string::npos);
}

TEST(PlfFile, DefaultPlaylistLivesInTheDataFolderWhichIsCreated) {
  TempDir dir;
  Fixture f;
  f.host.programFolder = dir.Path() + "/";
  EXPECT_FALSE(f.pl.LoadDefaultPlaylist());
  f.pl.AppendEntry({"", "T", "", "/x.mp3"});
  ASSERT_TRUE(f.pl.SaveDefaultPlaylist());
  EXPECT_EQ(f.pl.DefaultPlaylistPath(), dir.File("data/Default.plf"));
  EXPECT_EQ(ReadAll(dir.File("data/Default.plf")), "T|/x.mp3|\r\n");
  // Written through a temporary file renamed over the target: nothing else is left behind.
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.File("data"))) (void)e, ++files;
  EXPECT_EQ(files, 1u);
  Fixture g;
  g.host.programFolder = dir.Path();
  ASSERT_TRUE(g.pl.LoadDefaultPlaylist());
  EXPECT_THAT(Files(g.pl), ElementsAre("/x.mp3"));
}

TEST(PlaylistKind, DetectedFromTheFirstLineThenTheExtension) {
  EXPECT_EQ(DetectPlaylistKindText("\n  \r\n #EXTM3U \nx.mp3", "a.txt"), kKindM3U);
  EXPECT_EQ(DetectPlaylistKindText("#extm3u\n", "a.txt"), kKindUnknown);  // case-sensitive
  EXPECT_EQ(DetectPlaylistKindText("BSPL\x01\x02", "a.m3u"), kKindBSPlayerCrypted);
  EXPECT_EQ(DetectPlaylistKindText(" BSPL", "a.txt"), kKindUnknown);
  EXPECT_EQ(DetectPlaylistKindText("MPCPLAYLIST\r\n1,type,0", "a"), kKindMPC);
  EXPECT_EQ(DetectPlaylistKindText("<ASX version=\"3.0\">", "a.txt"), kKindASX);
  EXPECT_EQ(DetectPlaylistKindText("x.mp3", "/p/list.M3U"), kKindM3U);
  EXPECT_EQ(DetectPlaylistKindText("x.mp3", "/p/list.bsl"), kKindBSPlayer);
  EXPECT_EQ(DetectPlaylistKindText("x.mp3", "/p/list.MpcPl"), kKindMPC);
  EXPECT_EQ(DetectPlaylistKindText("x.mp3", "/p/list.lap"), kKindLightAlloy);
  EXPECT_EQ(DetectPlaylistKindText("[playlist]", "/p/list.pls"), kKindPLS);
  EXPECT_EQ(DetectPlaylistKindText("", "/p/list.asx"), kKindASX);
  EXPECT_EQ(DetectPlaylistKindText("[playlist]", "/p/list.txt"), kKindUnknown);
  EXPECT_EQ(DetectPlaylistKind("/no/such/file.m3u"), kKindUnknown);
}

namespace {

// Imports `text` saved as `name` in a fresh folder; returns the folder (with '/').
std::string Import(Fixture& f, TempDir& dir, const std::string& name, const std::string& text, bool* known = nullptr) {
  std::string file = dir.Make("lists/" + name, text);
  bool k = f.pl.ImportPlaylist(file);
  if (known) *known = k;
  return dir.File("lists/");
}

}  // namespace

TEST(PlaylistImport, M3UWithAndWithoutCommasRelativeAbsoluteAndCapitalExtensions) {
  TempDir dir;
  Fixture f;
  std::string text =
      "#EXTM3U\r\n"
      "#EXTINF:123,Ann - Song\r\n"
      "music/song.mp3\r\n"
      "#EXTINF:99\r\n"
      "/abs/untitled.ogg\r\n"
      "#extinf:5,Lower\r\n"
      "  spaced.wav  \r\n"
      "plain.flac\r\n"
      "# a comment.mp3\r\n"
      "LOUD.MP3\r\n"
      "\r\n"
      "http://radio.example/live.mp3\r\n";
  std::string folder = Import(f, dir, "list.m3u", text);
  // The path after "#EXTINF" is taken untrimmed, so "  spaced.wav  " has no playable
  // extension; other "#" lines become paths; "LOUD.MP3" is dropped.
  EXPECT_THAT(Titles(f.pl), ElementsAre("Ann - Song", "", "plain.flac", "# a comment.mp3", "live.mp3"));
  EXPECT_THAT(Files(f.pl), ElementsAre(folder + "music/song.mp3", "/abs/untitled.ogg", folder + "plain.flac",
                                       folder + "# a comment.mp3", "http://radio.example/live.mp3"));
  // Numbers keep the positions in the source, gaps included.
  EXPECT_THAT(Nums(f.pl), ElementsAre("1. ", "2. ", "4. ", "5. ", "8. "));
  EXPECT_EQ(f.pl.PlayingIndex, 0);
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 5");
}

TEST(PlaylistImport, ParallelListsOfEachFormat) {
  std::vector<std::string> t, p;
  ASSERT_TRUE(ParseForeignPlaylist("m3u playlist", "#EXTINF:1,Last", t, p));  // no path line after it
  EXPECT_THAT(t, ElementsAre("Last"));
  EXPECT_THAT(p, ElementsAre(""));

  ASSERT_TRUE(ParseForeignPlaylist(kKindBSPlayer, " /a/one.mp3 \r\nrel/two.ogg\r\n\r\n", t, p));
  EXPECT_THAT(p, ElementsAre("/a/one.mp3", "rel/two.ogg", ""));
  EXPECT_THAT(t, ElementsAre("one.mp3", "two.ogg", ""));

  ASSERT_TRUE(ParseForeignPlaylist(kKindLightAlloy, "\r\n/a/one.mp3\r\n>N Title One\r\n\r\n  two.ogg \r\nab\r\nlast.wav",
                                   t, p));
  EXPECT_THAT(p, ElementsAre("/a/one.mp3", "two.ogg", "last.wav"));
  EXPECT_THAT(t, ElementsAre("Title One", "", ""));

  ASSERT_TRUE(ParseForeignPlaylist(kKindMPC, "MPCPLAYLIST\r\n1,type,0\r\n1,filename,/a/one.mp3\r\n"
                                             "2,FILENAME,/a/two.mp3\r\n 3,filename,rel/three.ogg \r\n",
                                   t, p));
  EXPECT_THAT(p, ElementsAre("/a/one.mp3", "rel/three.ogg"));
  EXPECT_THAT(t, ElementsAre("one.mp3", "three.ogg"));

  ASSERT_TRUE(ParseForeignPlaylist(kKindPLS, "[playlist]\nFile1=/a/one.mp3\nTitle1=Ignored\nLength1=3\n"
                                             "file2=two.ogg\nFILE3=/x=y/three.wav\nNumberOfEntries=3\nfilex\n",
                                   t, p));
  EXPECT_THAT(p, ElementsAre("/a/one.mp3", "two.ogg", "/x=y/three.wav", ""));
  EXPECT_THAT(t, ElementsAre("one.mp3", "two.ogg", "three.wav", ""));

  ASSERT_TRUE(ParseForeignPlaylist(kKindASX, "<asx version=\"3.0\">\n<Entry><ref href=\"/a/one.mp3\"/></Entry>\n"
                                             "<entry>\n<ref href=\"/a/two.mp3\"/>\n</entry>\n"
                                             "  <ENTRY><ref href=\"unterminated.ogg\n",
                                   t, p));
  EXPECT_THAT(p, ElementsAre("/a/one.mp3", "", "unterminated.ogg"));
  EXPECT_THAT(t, ElementsAre("one.mp3", "", "unterminated.ogg"));

  ASSERT_TRUE(ParseForeignPlaylist(kKindBSPlayerCrypted, "BSPL\x01\x02/a.mp3", t, p));
  EXPECT_TRUE(t.empty());
  EXPECT_TRUE(p.empty());
  EXPECT_FALSE(ParseForeignPlaylist(kKindUnknown, "/a.mp3", t, p));
  EXPECT_TRUE(p.empty());
}

TEST(PlaylistImport, EachFormatThroughTheFile) {
  TempDir dir;
  {
    Fixture f;
    std::string folder = Import(f, dir, "a.pls", "[playlist]\r\nfile1=one.mp3\r\nFiLe2=/abs/two.OGG\r\nFILE3=/abs/three.ogg\r\n");
    EXPECT_THAT(Files(f.pl), ElementsAre(folder + "one.mp3", "/abs/three.ogg"));
    EXPECT_THAT(Titles(f.pl), ElementsAre("one.mp3", "three.ogg"));
    EXPECT_THAT(Nums(f.pl), ElementsAre("1. ", "3. "));
  }
  {
    Fixture f;
    Import(f, dir, "b.asx", "<asx>\r\n<entry>\r\n<ref href=\"/a/one.mp3\"/>\r\n</entry>\r\n</asx>\r\n");
    EXPECT_EQ(f.pl.Count(), 0);  // the reference on its own line is not read
  }
  {
    Fixture f;
    std::string folder = Import(f, dir, "c.bsl", "one.mp3\r\n/abs/two.wav\r\n");
    EXPECT_THAT(Files(f.pl), ElementsAre(folder + "one.mp3", "/abs/two.wav"));
  }
  {
    Fixture f;
    std::string folder = Import(f, dir, "d.lap", "one.mp3\r\n>N First\r\n/abs/two.wav\r\n>N Second\r\n");
    EXPECT_THAT(Files(f.pl), ElementsAre(folder + "one.mp3", "/abs/two.wav"));
    EXPECT_THAT(Titles(f.pl), ElementsAre("First", "Second"));
  }
  {
    Fixture f;
    std::string folder = Import(f, dir, "e.mpcpl", "MPCPLAYLIST\r\n1,filename,sub/one.mp3\r\n");
    EXPECT_THAT(Files(f.pl), ElementsAre(folder + "sub/one.mp3"));
  }
  {
    Fixture f;
    f.pl.AddFile("/previous.mp3");
    bool known = true;
    Import(f, dir, "f.txt", "/a/one.mp3\r\n", &known);
    EXPECT_FALSE(known);
    EXPECT_EQ(f.pl.Count(), 0);  // cleared before reading
  }
  {
    Fixture f;
    bool known = false;
    Import(f, dir, "g.bsl", "BSPL\x01\x02\x03", &known);
    EXPECT_TRUE(known);
    EXPECT_EQ(f.pl.Count(), 0);
  }
}

TEST(PlaylistText, LinesEndAtCrLfOrCrLfAndTrimmingStopsAtTheBlank) {
  auto lines = [](std::string_view text) {
    std::vector<std::string> out;
    TLineReader r(text);
    std::string_view l;
    while (r.Next(l)) out.emplace_back(l);
    return out;
  };
  EXPECT_THAT(lines("a\r\nb\rc\nd"), ElementsAre("a", "b", "c", "d"));
  EXPECT_THAT(lines("a\r\n"), ElementsAre("a"));
  EXPECT_THAT(lines("\r\r\n\n"), ElementsAre("", "", ""));
  EXPECT_TRUE(lines("").empty());
  EXPECT_EQ(TrimText(" \t\x01 a b \x1f "), "a b");
  EXPECT_EQ(TrimText("\xc3\xa9 "), "\xc3\xa9");  // bytes above the blank stay
}
