// The playlist model: classification, adding every kind of path, folder scans,
// sorting, removal and selection, counters, times and the playback order.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "PlaylistTestUtil.h"
#include "platform/Paths.h"
#include "playlist/Extensions.h"
#include "playlist/Playlist.h"

using namespace playlist;
using namespace pltest;
using ::testing::ElementsAre;

namespace {

struct Fixture {
  FakeInfo info;
  RecordingHost host;
  TPlaylist pl{info, host};
};

}  // namespace

TEST(Extensions, TablesHoldTheirEntriesAndTheClassesArePartsOfThePlayableTable) {
  EXPECT_EQ(PlayableExtensions.size(), 31u);
  EXPECT_EQ(AudioExtensions.size(), 20u);
  EXPECT_EQ(VideoExtensions.size(), 8u);
  EXPECT_EQ(DvdExtensions.size(), 2u);
  std::set<std::string> playable(PlayableExtensions.begin(), PlayableExtensions.end());
  EXPECT_EQ(playable.size(), 31u);
  size_t inClasses = 0;
  for (auto e : AudioExtensions) inClasses += playable.count(e);
  for (auto e : VideoExtensions) inClasses += playable.count(e);
  for (auto e : DvdExtensions) inClasses += playable.count(e);
  EXPECT_EQ(inClasses, 30u);  // all but ".3gp"
  EXPECT_TRUE(playable.count(".3gp"));
}

TEST(Extensions, ClassificationLowerCasesTheExtensionOfTheFileNameOnly) {
  EXPECT_TRUE(IsAudioFile("/m/Song.MP3"));
  EXPECT_TRUE(IsAudioFile("a.flac"));
  EXPECT_TRUE(IsAudioFile("x.It"));
  EXPECT_FALSE(IsAudioFile("/m/dir.mp3/file"));
  EXPECT_FALSE(IsAudioFile("/m/mp3"));
  EXPECT_TRUE(IsVideoFile("/v/film.DivX"));
  EXPECT_FALSE(IsVideoFile("/v/film.3gp"));
  EXPECT_TRUE(IsDvdFile("/d/VIDEO_TS.IFO"));
  EXPECT_TRUE(IsDvdFile("/d/vts_01_1.vob"));
  EXPECT_FALSE(IsAudioFile("/v/a.vob"));
  EXPECT_TRUE(IsPlayableFile("/v/film.3gp"));
  EXPECT_FALSE(IsPlayableFile("/x/readme.txt"));
}

TEST(Extensions, StreamAddressesAreCaseSensitiveHttpOrMms) {
  EXPECT_TRUE(IsStreamAddress("http://radio.example/stream"));
  EXPECT_TRUE(IsStreamAddress("mms://radio.example/x"));
  EXPECT_FALSE(IsStreamAddress("HTTP://radio.example/stream"));
  EXPECT_TRUE(IsStreamAddress("https://radio.example/stream"));
  EXPECT_EQ(ChoosePlayMode("https://radio.example/live.mp4", 0), 1);
  EXPECT_FALSE(IsStreamAddress("https:/x"));
  EXPECT_FALSE(IsStreamAddress("http:/x"));
  EXPECT_FALSE(IsStreamAddress("mms:/"));
  EXPECT_FALSE(IsStreamAddress(""));
}

TEST(Extensions, SoundfontPresentLooksForTheFontInThePluginsFolder) {
  TempDir dir;
  EXPECT_FALSE(SoundfontPresent(dir.Path()));
  dir.Make("plugins/ct4mgm.sf2");
  EXPECT_FALSE(SoundfontPresent(dir.Path() + "/"));  // the name is exact
  dir.Make("plugins/CT4MGM.SF2");
  EXPECT_TRUE(SoundfontPresent(dir.Path()));
  EXPECT_TRUE(SoundfontPresent(dir.Path() + "/"));
}

TEST(Extensions, PlayModeLaterTestsOverrideAndUnclassifiedKeepsThePrevious) {
  EXPECT_EQ(ChoosePlayMode("/a.mp3", 0), 1);
  EXPECT_EQ(ChoosePlayMode("/a.mkv", 1), 2);
  EXPECT_EQ(ChoosePlayMode("/a.VOB", 1), 3);
  EXPECT_EQ(ChoosePlayMode("http://x/film.mkv", 2), 1);
  EXPECT_EQ(ChoosePlayMode("/a.3gp", 2), 2);
  EXPECT_EQ(ChoosePlayMode("/a.3gp", 0), 0);
}

TEST(PlaylistAdd, EachClassOfPathGetsItsTitleAndNumber) {
  Fixture f;
  f.info.Set("/m/tagged.mp3", 1000, "Ann", "Song");
  f.info.Set("/m/artistonly.ogg", 1000, "Ann", "");
  f.info.Set("/m/titleonly.ogg", 1000, "", "Only");
  EXPECT_TRUE(f.pl.AddFile("/m/tagged.mp3"));
  EXPECT_TRUE(f.pl.AddFile("/m/artistonly.ogg"));
  EXPECT_TRUE(f.pl.AddFile("/m/titleonly.ogg"));
  EXPECT_TRUE(f.pl.AddFile("/m/unknown.wav"));  // the engine fails: file name
  EXPECT_TRUE(f.pl.AddFile("/v/Film.MKV"));
  EXPECT_TRUE(f.pl.AddFile("/d/VTS_01_1.vob"));
  EXPECT_TRUE(f.pl.AddFile("http://radio.example/live"));
  EXPECT_TRUE(f.pl.AddFile("/v/clip.3gp"));
  EXPECT_FALSE(f.pl.AddFile("/x/readme.txt"));
  EXPECT_FALSE(f.pl.AddFile("HTTP://radio.example/live"));
  EXPECT_FALSE(f.pl.AddFile("/x/noext"));
  ASSERT_EQ(f.pl.Count(), 8);
  EXPECT_THAT(Titles(f.pl), ElementsAre("Ann - Song", "artistonly.ogg", "titleonly.ogg", "unknown.wav", "Film.MKV",
                                        "VTS_01_1.vob", "http://radio.example/live", "/v/clip.3gp"));
  for (int i = 0; i < f.pl.Count(); ++i) {
    EXPECT_EQ(f.pl.Entry(i).Num, std::to_string(i + 1) + ". ");
    EXPECT_EQ(f.pl.Entry(i).Time, "");
  }
  EXPECT_EQ(f.pl.Entry(4).File, "/v/Film.MKV");
  // Only local audio files are asked about; the address and video are not.
  EXPECT_THAT(f.info.queries, ElementsAre("/m/tagged.mp3", "/m/artistonly.ogg", "/m/titleonly.ogg", "/m/unknown.wav"));
}

TEST(PlaylistAdd, WithoutAReadyEngineAnAudioTitleIsThePathAndNothingIsAsked) {
  Fixture f;
  f.info.ready = false;
  f.info.Set("/m/tagged.mp3", 1000, "Ann", "Song");
  f.pl.AddFile("/m/tagged.mp3");
  EXPECT_EQ(f.pl.Entry(0).Title, "/m/tagged.mp3");
  EXPECT_TRUE(f.info.queries.empty());
}

TEST(PlaylistTimes, UpdateTimesFillsExistingAudioRowsAndSumsThem) {
  Fixture f;
  TempDir dir;
  std::string a = dir.Make("a.mp3"), b = dir.Make("b.ogg"), v = dir.Make("v.vob");
  std::string gone = dir.File("gone.mp3");
  f.info.Set(a, 65000);
  f.info.Set(b, 3600000 + 2 * 60000 + 3999);
  f.info.Set(v, 5000);
  f.info.Set(gone, 7000);
  for (auto& p : {a, b, v, gone}) f.pl.AddFile(p);
  f.pl.AddFile("http://radio.example/live");
  f.pl.UpdateCounters();
  EXPECT_EQ(f.pl.Entry(0).Time, "00:01:05");
  EXPECT_EQ(f.pl.Entry(1).Time, "01:02:03");
  EXPECT_EQ(f.pl.Entry(2).Time, "");  // not audio
  EXPECT_EQ(f.pl.Entry(3).Time, "");  // vanished
  EXPECT_EQ(f.pl.Entry(4).Time, "");  // stream address
  EXPECT_EQ(f.pl.TotalTime, 65000u + 3723999u);
  EXPECT_EQ(f.pl.TotalTimeLabel(), "01:03:08");
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 5");
  f.pl.SetFilesPrefix("Dateien: ");
  f.pl.UpdateCounters();
  EXPECT_EQ(f.pl.FilesLabel(), "Dateien: 5");

  // A row whose file vanishes keeps its Time, but no longer counts.
  std::filesystem::remove(a);
  f.pl.UpdateTimes();
  EXPECT_EQ(f.pl.Entry(0).Time, "00:01:05");
  EXPECT_EQ(f.pl.TotalTime, 3723999u);
}

TEST(PlaylistTimes, TimeOfDayFormatWrapsAtADay) {
  EXPECT_EQ(FormatTimeOfDay(0), "00:00:00");
  EXPECT_EQ(FormatTimeOfDay(999), "00:00:00");
  EXPECT_EQ(FormatTimeOfDay(59999), "00:00:59");
  EXPECT_EQ(FormatTimeOfDay(86399000), "23:59:59");
  EXPECT_EQ(FormatTimeOfDay(86400000 + 61000), "00:01:01");
}

TEST(PlaylistFolder, ScanTakesPlayableExtensionsCaseSensitivelyAndSkipsHiddenAndLinkedFolders) {
  Fixture f;
  TempDir dir;
  std::string a = dir.Make("music/a.mp3");
  dir.Make("music/B.MP3");
  std::string c = dir.Make("music/sub/deeper/c.ogg");
  std::string v = dir.Make("music/sub/film.mkv");
  dir.Make("music/.hidden/d.mp3");
  dir.Make("music/readme.txt");
  std::filesystem::create_directories(dir.File("music/empty.mp3.d"));
  std::filesystem::create_directory_symlink(dir.File("music/sub"), dir.File("music/linked"));
  std::filesystem::create_directory_symlink(dir.File("music"), dir.File("music/sub/loop.mp3"));
  f.pl.PlayingIndex = 5;
  f.pl.AddFolder(dir.File("music"));
  std::vector<std::string> files = Files(f.pl);
  std::sort(files.begin(), files.end());
  EXPECT_THAT(files, ElementsAre(a, c, v));
  EXPECT_EQ(f.pl.PlayingIndex, 0);
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 3");
  EXPECT_EQ(f.host.LastPath(), dir.File("music/"));

  // Both capital-extension files are taken when chosen one by one.
  f.pl.AddFiles({dir.File("music/B.MP3")});
  EXPECT_EQ(f.pl.Entry(3).File, dir.File("music/B.MP3"));
}

// Formats of attached add-ons (Opus, TTA...) are audio: added alone, found in folders, given to the
// engine; the list is replaced, not added to, when the add-ons change.
TEST(PlaylistAdd, FilesOfTheAttachedAddOnsFormatsAreAudioAndPlayable) {
  struct Reset {
    ~Reset() { SetAddOnExtensions(""); }
  } reset;
  Fixture f;
  TempDir dir;
  std::string opus = dir.Make("music/a.opus");
  std::string tta = dir.Make("music/sub/b.tta");
  dir.Make("music/c.xyz");
  EXPECT_FALSE(f.pl.AddFile(opus));
  EXPECT_FALSE(IsAudioFile(opus));

  SetAddOnExtensions("*.opus;*.tta;*.FLAC;*.oga;bogus;*.;*/x;");
  EXPECT_TRUE(IsAudioFile("/m/X.OPUS"));
  EXPECT_TRUE(IsPlayableFile("/m/x.tta"));
  EXPECT_TRUE(IsAddOnExtension(".oga"));
  EXPECT_FALSE(IsAddOnExtension(".flac"));  // already one of the tables' own
  EXPECT_FALSE(IsAddOnExtension("bogus"));
  EXPECT_FALSE(IsAddOnExtension("."));
  EXPECT_EQ(ChoosePlayMode(opus, 0), 1);
  f.pl.AddFolder(dir.File("music"));
  std::vector<std::string> files = Files(f.pl);
  std::sort(files.begin(), files.end());
  EXPECT_THAT(files, ElementsAre(opus, tta));

  SetAddOnExtensions("*.tta;");
  EXPECT_FALSE(IsAudioFile(opus));
  EXPECT_TRUE(IsAudioFile(tta));
}

TEST(PlaylistFolder, ReplaceOnAddClearsOnlyWhenSomethingWasFound) {
  Fixture f;
  TempDir dir;
  dir.Make("empty/readme.txt");
  std::string a = dir.Make("full/a.wav");
  f.pl.AddFile("/old/one.mp3");
  f.pl.UpdateCounters();
  f.host.SetReplaceOnAdd(true);
  f.pl.AddFolder(dir.File("empty"));
  EXPECT_EQ(f.pl.Count(), 1);
  EXPECT_TRUE(f.host.ReplaceOnAdd());
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 1");
  f.pl.AddFolder(dir.File("full/"));
  EXPECT_THAT(Files(f.pl), ElementsAre(a));
  EXPECT_FALSE(f.host.ReplaceOnAdd());
  // Too short a folder text is not scanned at all.
  f.pl.AddFolder("/");
  EXPECT_EQ(f.pl.Count(), 1);
  EXPECT_EQ(f.host.LastPath(), "/");
}

TEST(PlaylistFolder, LargeFoldersReportProgressInEachPhase) {
  Fixture f;
  TempDir dir;
  for (int i = 0; i < 600; ++i) dir.Make("many/" + std::to_string(i) + ".mp3");
  std::vector<TAddProgress> seen;
  f.pl.OnProgress = [&](const TAddProgress& p) { seen.push_back(p); };
  f.pl.AddFolder(dir.File("many"));
  ASSERT_EQ(f.pl.Count(), 600);
  auto last = [&](TAddProgress::Phase ph) {
    TAddProgress r{ph, 0, 0};
    int n = 0;
    for (auto& p : seen)
      if (p.phase == ph) r = p, ++n;
    return std::make_pair(r, n);
  };
  auto [scan, nScan] = last(TAddProgress::Scanning);
  auto [read, nRead] = last(TAddProgress::Reading);
  auto [times, nTimes] = last(TAddProgress::Times);
  EXPECT_GE(nScan, 3);
  EXPECT_EQ(scan.done, 512u);
  EXPECT_GE(nRead, 10);
  EXPECT_EQ(read.done, 600u);
  EXPECT_EQ(read.total, 600u);
  EXPECT_GE(nTimes, 10);
  EXPECT_EQ(times.done, 600u);
}

TEST(PlaylistFolder, BusyForTheWholeAddAndIdleOnceWhenTheOutermostOperationEnds) {
  Fixture f;
  TempDir dir;
  for (int i = 0; i < 300; ++i) dir.Make("many/" + std::to_string(i) + ".mp3");
  std::string single = dir.Make("one.mp3");
  int progressWhileIdle = 0, idles = 0, rowsAtIdle = -1;
  bool busyAtIdle = true;
  f.pl.OnProgress = [&](const TAddProgress&) {
    if (!f.pl.Busy()) ++progressWhileIdle;
  };
  f.pl.OnIdle = [&] {
    ++idles;
    busyAtIdle = f.pl.Busy();
    rowsAtIdle = f.pl.Count();
  };
  EXPECT_FALSE(f.pl.Busy());
  // A folder add (which ends with the time column): one idle, after the last row.
  f.pl.AddFolder(dir.File("many"));
  EXPECT_EQ(progressWhileIdle, 0);
  EXPECT_EQ(idles, 1);
  EXPECT_FALSE(busyAtIdle);
  EXPECT_EQ(rowsAtIdle, 300);
  // Files and folders together: still one idle at the very end.
  f.pl.AddFiles({dir.File("many"), single});
  EXPECT_EQ(idles, 2);
  EXPECT_EQ(rowsAtIdle, 601);
  EXPECT_FALSE(f.pl.Busy());
  // The time column alone is an operation too; a single file add is not.
  f.pl.UpdateCounters();
  EXPECT_EQ(idles, 3);
  f.pl.AddFile(single);
  EXPECT_EQ(idles, 3);
  EXPECT_EQ(progressWhileIdle, 0);
}

TEST(PlaylistAddFiles, SortsTheChoiceCaseInsensitivelyAndRestartsAtTheFirstRow) {
  Fixture f;
  TempDir dir;
  std::string d = dir.Make("Dir/z.mp3");
  f.pl.AddFile("/m/first.mp3");
  f.pl.PlayingIndex = 0;
  f.pl.AddFiles({"/m/b.mp3", "/m/C.mp3", dir.File("Dir"), "/m/a.mp3", "/m/skip.txt"});
  EXPECT_THAT(Files(f.pl), ElementsAre("/m/first.mp3", "/m/a.mp3", "/m/b.mp3", "/m/C.mp3", d));
  f.pl.PlayingIndex = 3;
  f.pl.AddFiles({"/m/late.mp3"});
  EXPECT_EQ(f.pl.PlayingIndex, 0);
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 6");
  // Nothing added to an empty list: the index is left alone.
  Fixture g;
  g.pl.PlayingIndex = 2;
  g.pl.AddFiles({"/x/readme.txt"});
  EXPECT_EQ(g.pl.PlayingIndex, 2);
}

namespace {

void AddRows(Fixture& f) {
  // title, path: distinct orders by each key
  f.pl.AppendEntry({"", "beta", "", "/z/c/Apple.mp3"});
  f.pl.AppendEntry({"", "Alpha", "", "/a/b/zebra.mp3"});
  f.pl.AppendEntry({"", "gamma", "", "/m/Mango.mp3"});
  f.pl.Renumber();
}

}  // namespace

TEST(PlaylistSort, EachKeyAndReverseWithoutMovingThePlayingIndex) {
  Fixture f;
  AddRows(f);
  f.pl.PlayingIndex = 1;
  f.pl.Reverse();  // before any sort: nothing moves
  EXPECT_THAT(Titles(f.pl), ElementsAre("beta", "Alpha", "gamma"));
  f.pl.Sort("title");
  EXPECT_THAT(Titles(f.pl), ElementsAre("Alpha", "beta", "gamma"));
  EXPECT_EQ(f.pl.SortKey, "title");
  EXPECT_EQ(f.pl.SortDirection, 1);
  f.pl.Sort("path");
  EXPECT_THAT(Titles(f.pl), ElementsAre("Alpha", "gamma", "beta"));
  f.pl.Sort("filename");
  EXPECT_THAT(Titles(f.pl), ElementsAre("beta", "gamma", "Alpha"));
  f.pl.Reverse();
  EXPECT_EQ(f.pl.SortDirection, -1);
  EXPECT_THAT(Titles(f.pl), ElementsAre("Alpha", "gamma", "beta"));
  f.pl.Reverse();
  EXPECT_THAT(Titles(f.pl), ElementsAre("beta", "gamma", "Alpha"));
  f.pl.Sort("title");
  f.pl.Reverse();
  EXPECT_THAT(Titles(f.pl), ElementsAre("gamma", "beta", "Alpha"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f.pl.Entry(i).Num, std::to_string(i + 1) + ". ");
  EXPECT_EQ(f.pl.PlayingIndex, 1);
  f.pl.Random();
  EXPECT_THAT(Titles(f.pl), ElementsAre("gamma", "beta", "Alpha"));
}

TEST(PlaylistSort, TitlesDifferingOnlyInCaseCompareEqual) {
  EXPECT_EQ(CompareText("Song", "sONG"), 0);
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  Fixture f;
  f.pl.AppendEntry({"", "SONG", "", "/1.mp3"});
  f.pl.AppendEntry({"", "song", "", "/2.mp3"});
  f.pl.AppendEntry({"", "Song", "", "/3.mp3"});
  f.pl.Sort("title");
  EXPECT_THAT(Files(f.pl), ElementsAre("/1.mp3", "/2.mp3", "/3.mp3"));  // equal keys keep their order
}

TEST(PlaylistRemove, SelectedRowsGoAndTheSelectionFollowsTheRules) {
  Fixture f;
  for (int i = 0; i < 5; ++i) f.pl.AddFile("/m/" + std::to_string(i) + ".mp3");
  f.pl.PlayingIndex = 3;
  f.pl.RemoveSelected();  // nothing selected
  EXPECT_EQ(f.pl.Count(), 5);
  f.pl.SetSelected(0, true);
  f.pl.SetSelected(1, true);
  f.pl.SetSelected(0, false);  // deselecting does not move SelectedIndex
  EXPECT_EQ(f.pl.SelectedIndex, 1);
  f.pl.SetSelected(4, true);
  f.pl.RemoveSelected();
  EXPECT_THAT(Files(f.pl), ElementsAre("/m/0.mp3", "/m/2.mp3", "/m/3.mp3"));
  EXPECT_EQ(f.pl.PlayingIndex, 3);  // unchanged, now past the end
  EXPECT_EQ(f.pl.Entry(2).Num, "3. ");
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 3");
  // SelectedIndex 4 is past the new end: the last row is selected.
  EXPECT_EQ(f.pl.SelectedCount(), 1);
  EXPECT_TRUE(f.pl.Entry(2).Selected);
  EXPECT_EQ(f.pl.SelectedIndex, 2);

  f.pl.ClearSelection();
  f.pl.SetSelected(0, true);
  f.pl.RemoveSelected();
  EXPECT_THAT(Files(f.pl), ElementsAre("/m/2.mp3", "/m/3.mp3"));
  EXPECT_TRUE(f.pl.Entry(0).Selected);
  EXPECT_EQ(f.pl.SelectedIndex, 0);

  f.pl.PlayingIndex = 1;
  f.pl.RemoveAll();
  EXPECT_EQ(f.pl.Count(), 0);
  EXPECT_EQ(f.pl.PlayingIndex, 1);
  EXPECT_EQ(f.pl.FilesLabel(), "Files: 0");
  EXPECT_EQ(f.pl.TotalTimeLabel(), "00:00:00");
}

TEST(PlaylistRemove, RemovingARowAboveThePlayingEntryKeepsTheIndex) {
  Fixture f;
  for (int i = 0; i < 4; ++i) f.pl.AddFile("/m/" + std::to_string(i) + ".mp3");
  f.pl.PlayingIndex = 2;
  f.pl.SetSelected(0, true);
  f.pl.RemoveSelected();
  EXPECT_EQ(f.pl.PlayingIndex, 2);
  EXPECT_EQ(f.pl.Entry(f.pl.PlayingIndex).File, "/m/3.mp3");
}

TEST(PlaylistPlay, DoubleClickChecksTheFileAndTheSoundfont) {
  Fixture f;
  TempDir dir;
  f.host.programFolder = dir.Path() + "/";
  std::string a = dir.Make("a.mp3"), mid = dir.Make("song.MID");
  f.pl.AddFile(a);
  f.pl.AddFile(dir.File("gone.mp3"));
  f.pl.AddFile(mid);
  f.pl.AddFile("http://radio.example/live");

  f.pl.SetSelected(1, true);
  f.pl.PlaySelected();  // vanished: nothing happens
  EXPECT_TRUE(f.host.calls.empty());

  f.pl.SetSelected(2, true);
  f.pl.PlaySelected();  // no soundfont: the notice, every time
  f.pl.PlaySelected();
  EXPECT_THAT(f.host.calls, ElementsAre("SoundfontNotice", "SoundfontNotice"));
  EXPECT_FALSE(f.pl.Playable);
  EXPECT_EQ(f.pl.PlayingIndex, 0);

  dir.Make("plugins/CT4MGM.SF2");
  f.host.calls.clear();
  f.pl.PlaySelected();
  EXPECT_TRUE(f.pl.Playable);
  EXPECT_THAT(f.host.calls, ElementsAre("Stop", "SetCurrent 2 " + mid, "Play"));
  EXPECT_EQ(f.pl.PlayingIndex, 2);
  EXPECT_EQ(f.pl.FocusIndex, 2);

  f.host.calls.clear();
  f.pl.SetSelected(3, true);
  f.pl.PlaySelected();  // an address needs no file
  EXPECT_THAT(f.host.calls, ElementsAre("Stop", "SetCurrent 3 http://radio.example/live", "Play"));
}

TEST(PlaybackOrder, EndOfEntryFollowsRepeatAndShuffleAndTheLastEntryStops) {
  auto never = [](int) -> int { ADD_FAILURE() << "no random pick expected"; return 0; };
  EXPECT_EQ(IndexAfterEnd(3, 0, false, false, never), 1);
  EXPECT_EQ(IndexAfterEnd(3, 1, false, false, never), 2);
  EXPECT_EQ(IndexAfterEnd(3, 2, false, false, never), -1);
  EXPECT_EQ(IndexAfterEnd(3, 1, true, false, never), 1);
  EXPECT_EQ(IndexAfterEnd(3, 1, true, true, never), 1);   // repeat wins
  EXPECT_EQ(IndexAfterEnd(3, 2, true, false, never), -1);  // not even repeat passes the last entry
  EXPECT_EQ(IndexAfterEnd(0, 0, false, false, never), -1);
  std::vector<int> asked;
  auto pick = [&](int n) { asked.push_back(n); return 2; };
  EXPECT_EQ(IndexAfterEnd(3, 0, false, true, pick), 2);
  EXPECT_THAT(asked, ElementsAre(3));  // from the whole list
  EXPECT_EQ(IndexAfterEnd(3, 0, false, true, [](int) { return 0; }), 0);  // the same entry may come again
  EXPECT_EQ(NextIndex(3, 1), 2);
  EXPECT_EQ(NextIndex(3, 2), -1);
  EXPECT_EQ(PreviousIndex(3, 1), 0);
  EXPECT_EQ(PreviousIndex(3, 0), -1);
  EXPECT_EQ(PreviousIndex(3, 7), 2);  // an index left past the end by removals steps back into the list
}
