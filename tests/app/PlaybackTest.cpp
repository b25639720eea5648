// The playback logic over the real engine (capture output, fast clock) and the
// playlist model, with a view that records what the main window would show.
#include <gtest/gtest.h>

#include <QTimer>

#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QUrl>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "../engine/EngineTestUtil.h"
#include "../engine/FakeNet.h"
#include "../engine/HttpTestServer.h"
#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/MainPlayback.h"
#include "app/PlaybackControl.h"
#include "app/SkinWidgets.h"
#include "playlist/ui/FormPL.h"
#include "engine/ZOZUZivade.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "playlist/Playlist.h"

using namespace enginetest;
using app::TPlaybackControl;

namespace {

struct NoInfo : playlist::IStreamInfoSource {
  bool Ready() const override { return true; }
  bool GetStreamInfo(const std::string&, engine::TStreamInfo&) override { return false; }
};

struct TestView : app::IPlaybackView {
  engine::TZOZUZivade* eng = nullptr;
  TPlaybackControl* control = nullptr;
  bool activated = false;
  std::string appTitle = "Orvella Player 1.4", runningTitle, typeLabel, bitrate, pos = "00:00";
  std::string nextHint, preHint;
  std::vector<std::string> status;
  std::vector<std::string> played;  // the engine's stream each time play started
  int filled = 0, sliderLeft = 0;
  bool sliderVisible = true;
  bool stereoLit = false;
  bool stateTimer = false;
  int volumeBar = 255;
  int levelClears = 0;
  int lyricsRefreshes = 0;
  std::vector<std::string> chooseFiles;
  std::string chooseFolder, address, videoName;
  int videoStarts = 0;
  std::string addOnInUse = "?";

  std::string Str(const std::string& key) const override { return "[" + key + "]"; }
  bool Activated() const override { return activated; }
  void SetApplicationTitle(const std::string& t) override { appTitle = t; }
  void RestoreApplicationTitle() override { appTitle = "Orvella Player 1.4"; }
  void SetRunningTitle(const std::string& t) override { runningTitle = t; }
  void SetTypeLabel(const std::string& t) override { typeLabel = t; }
  void SetBitrateLabel(const std::string& t) override { bitrate = t; }
  void SetPosLabel(const std::string& t) override { pos = t; }
  void SetStereoLit(bool s) override { stereoLit = s; }
  void SetNavigationHints(const std::string& n, const std::string& p) override {
    nextHint = n;
    preHint = p;
  }
  void ShowProgress(int f, int s, bool v) override {
    filled = f;
    sliderLeft = s;
    sliderVisible = v;
  }
  int VolumeBarPosition() const override { return volumeBar; }
  void SetVolumeBarPosition(int p) override {
    volumeBar = p;
    control->VolumeChanged(p);
  }
  void StatusClear() override { status.clear(); }
  void StatusAdd(const std::string& l) override { status.push_back(l); }
  void StatusAppendToLast(const std::string& t) override {
    if (status.empty()) status.emplace_back();
    status.back() += t;
  }
  bool StatusEmpty() const override { return status.empty(); }
  void StatusScrollPage() override {}
  void StatusShow() override {}
  void UseAudioLayout() override {}
  void ClearLevels() override { ++levelClears; }
  void DrawLevelBackground() override {}
  void SetStateTimer(bool on) override { stateTimer = on; }
  void StartRunStringTimer() override { played.push_back(eng->StreamName()); }
  void RefreshLyrics() override { ++lyricsRefreshes; }
  void SetAddOnInUse(const std::string& d) override { addOnInUse = d; }
  void ShowPlayingRow(int) override {}
  std::vector<std::string> ChooseFiles(const std::string&, const std::string&) override { return chooseFiles; }
  std::string ChooseFolder(const std::string&) override { return chooseFolder; }
  std::string PromptAddress() override { return address; }
  void VideoStartPlayback(int) override { ++videoStarts; }
  std::string VideoFileName() const override { return videoName; }
};

constexpr const char* kSmallSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A plugins/ folder of its own (the staged add-ons linked in) with a soundfont,
// so a test can take the soundfont away without touching the staged folder.
struct SoundfontFolder {
  SoundfontFolder(const ProgramDir& d, bool on) {
    if (!on) return;
    namespace fs = std::filesystem;
    fs::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/bass.so", d.File("bass.so"));
    fs::create_directory(d.File("plugins"));
    fs::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/plugins/bass", d.File("plugins/bass"));
    fs::create_symlink(kSmallSoundfont, d.File("plugins/CT4MGM.SF2"));
  }
};

// A program folder with the audio library, an engine on the capture output, a
// playlist of generated sine files and the control over them.
struct Rig {
  explicit Rig(int speed = 1, double seconds = 0.4, bool withSoundfont = false)
      : dir(!withSoundfont),
        soundfont(dir, withSoundfont),
        capture(dir.File("out.wav"), speed),
        playlist(info, host),
        control(eng, playlist, settings, view) {
    view.eng = &eng;
    view.control = &control;
    control.AttachEngineEvents();
    for (int hz : {440, 550, 660}) {
      const std::string src = SineWav(seconds, hz);
      files.push_back(dir.File("tone" + std::to_string(hz) + ".wav"));
      std::filesystem::copy_file(src, files.back());
    }
    for (size_t i = 0; i < files.size(); ++i)
      playlist.AppendEntry({std::to_string(i + 1) + ". ", "Tone " + std::to_string(i + 1), "", files[i]});
  }
  // Pumps until the engine is stopped after the last start, or the timeout.
  bool WaitStopped(int timeoutMs = 20000) {
    return PumpUntil([&] { return eng.Mode() == engine::plmStopped && !view.stateTimer; }, timeoutMs);
  }
  bool WaitMode(engine::TPlayerMode m, int timeoutMs = 20000) {
    return PumpUntil([&] { return eng.Mode() == m; }, timeoutMs);
  }

  ProgramDir dir;
  SoundfontFolder soundfont;
  CaptureOutput capture;
  platform::MessageRecorder messages;
  engine::TZOZUZivade eng;
  NoInfo info;
  playlist::TPlaylistHost host;
  playlist::TPlaylist playlist;
  app::TSettings settings;
  TestView view;
  TPlaybackControl control;
  std::vector<std::string> files;
};

}  // namespace

TEST(AppPlayback, AThreeEntryListPlaysToItsEndAndStopsAfterTheLast) {
  Rig r;
  ASSERT_TRUE(r.eng.Ready());
  r.control.StartPlayback();
  EXPECT_EQ(r.control.PlayMode, 1);
  EXPECT_EQ(r.view.appTitle, "1. Tone 1");
  EXPECT_EQ(r.view.typeLabel, "WAV");
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 3 && r.eng.Mode() == engine::plmStopped; }, 30000));
  PumpUntil([] { return false; }, 200);  // nothing more may start
  EXPECT_EQ(r.view.played, r.files);
  EXPECT_EQ(r.playlist.PlayingIndex, 2);
  EXPECT_EQ(r.eng.Mode(), engine::plmStopped);
  EXPECT_FALSE(r.view.stateTimer);
  EXPECT_EQ(r.view.appTitle, "Orvella Player 1.4");  // Stop after the last entry
  for (const auto& m : r.messages.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppPlayback, RepeatReplaysTheEntryThatEndedButNotTheLast) {
  Rig r;
  r.settings.runRepeat = true;
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() >= 3; }, 30000));
  EXPECT_EQ(r.view.played[0], r.files[0]);
  EXPECT_EQ(r.view.played[1], r.files[0]);
  EXPECT_EQ(r.view.played[2], r.files[0]);
  EXPECT_EQ(r.playlist.PlayingIndex, 0);
  // Repeat off again: the list continues and ends.
  r.settings.runRepeat = false;
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.back() == r.files[2] && r.eng.Mode() == engine::plmStopped; },
                        30000));
  // Repeat on while the last entry plays: it ends and play stops.
  r.settings.runRepeat = true;
  const size_t before = r.view.played.size();
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == before + 1; }, 20000));
  ASSERT_TRUE(r.WaitStopped());
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(r.view.played.size(), before + 1);
  EXPECT_EQ(r.playlist.PlayingIndex, 2);
}

TEST(AppPlayback, ShufflePicksFromTheWholeListIncludingTheSameAndTheLastEntry) {
  Rig r;
  r.settings.shuffle = true;
  std::vector<int> asked;
  std::vector<int> answers{0, 1, 2};  // the same entry, another one, the last one
  r.control.RandomBelow = [&](int count) {
    asked.push_back(count);
    const int a = answers.front();
    answers.erase(answers.begin());
    return a;
  };
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 4 && r.eng.Mode() == engine::plmStopped; }, 30000));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(asked, (std::vector<int>{3, 3, 3}));
  EXPECT_EQ(r.view.played, (std::vector<std::string>{r.files[0], r.files[0], r.files[1], r.files[2]}));
  EXPECT_EQ(r.playlist.PlayingIndex, 2);

  // The default choice stays inside the list and reaches both ends.
  TPlaybackControl fresh(r.eng, r.playlist, r.settings, r.view);
  std::vector<int> seen(3, 0);
  for (int i = 0; i < 300; ++i) {
    const int v = fresh.RandomBelow(3);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 3);
    ++seen[static_cast<size_t>(v)];
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[2], 0);
}

TEST(AppPlayback, NextAndPreviousAtTheEndsDoNothingAndWhileStoppedOnlyMoveTheIndex) {
  Rig r;
  r.control.PlayMode = 1;
  r.control.Previous();
  EXPECT_EQ(r.playlist.PlayingIndex, 0);
  r.control.Next();  // stopped: the index moves, nothing plays
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  EXPECT_EQ(r.playlist.FocusIndex, 1);
  EXPECT_EQ(r.control.CurrentFile, r.files[1]);
  EXPECT_EQ(r.eng.Mode(), engine::plmStandby);
  r.control.Next();
  r.control.Next();  // the last entry: nothing
  EXPECT_EQ(r.playlist.PlayingIndex, 2);
  EXPECT_TRUE(r.view.played.empty());
  r.control.Previous();
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  EXPECT_TRUE(r.view.played.empty());
  // The next Play starts the entry the index points at.
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return !r.view.played.empty(); }, 20000));
  EXPECT_EQ(r.view.played.front(), r.files[1]);
}

TEST(AppPlayback, NextWhilePlayingRestartsOnTheNextEntry) {
  Rig r(2, 10.0);
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 1; }, 20000));
  r.control.Next();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 2; }, 20000));
  EXPECT_EQ(r.view.played[1], r.files[1]);
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  r.control.Previous();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 3; }, 20000));
  EXPECT_EQ(r.view.played[2], r.files[0]);
  r.control.Stop();
  EXPECT_EQ(r.eng.Mode(), engine::plmStopped);
}

TEST(AppPlayback, PressingInTheLastSliderWidthOfTheTrackAdvances) {
  Rig r(2, 10.0);
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 1; }, 20000));
  r.control.Pause();  // so the entry cannot end on its own meanwhile
  ASSERT_TRUE(r.WaitMode(engine::plmPaused));
  const app::TProgressGeometry g = r.control.ProgressGeometry();
  // Just outside the last slider width: a seek, no advance.
  r.control.PressTrack(g.TrackWidth - g.SliderWidth - 1);
  r.control.ReleaseBar();
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(r.playlist.PlayingIndex, 0);
  EXPECT_EQ(r.view.played.size(), 1u);
  // Inside it: the entry ends and the next one plays.
  r.control.PressTrack(g.TrackWidth - g.SliderWidth + 1);
  r.control.ReleaseBar();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 2; }, 20000));
  EXPECT_EQ(r.view.played[1], r.files[1]);
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  r.control.Stop();
}

TEST(AppPlayback, SeekingByTheBarLandsWhereTheBarSays) {
  Rig r(2, 10.0);
  r.control.StartPlayback();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  r.control.Pause();
  ASSERT_TRUE(r.WaitMode(engine::plmPaused));
  EXPECT_EQ(r.view.runningTitle, "[StringPaused] >> tone440.wav");
  const app::TProgressGeometry g = r.control.ProgressGeometry();
  const int range = g.TrackWidth - g.SliderWidth;
  for (int x : {range / 4, range / 2, 3 * range / 4}) {
    r.control.PressTrack(x);
    r.control.ReleaseBar();
    EXPECT_FALSE(r.control.SeekDragging);
    EXPECT_EQ(r.view.filled, x);
    EXPECT_EQ(r.view.sliderLeft, g.TrackLeft + x);
    const int64_t want = int64_t(x) * 10000 / range;
    EXPECT_NEAR(double(r.eng.GetPosition()), double(want), 30.0) << x;
    // The display timer puts the bar back where the position says.
    r.control.TimerStateTick();
    EXPECT_EQ(r.view.filled, x);
  }
  // Dragging the slider and releasing seeks to where it was left.
  r.control.PressSlider(5);
  r.control.MoveSlider(5 - 40);
  r.control.ReleaseSlider();
  const int left = r.control.SliderLeft() - g.TrackLeft;
  EXPECT_EQ(left, 3 * range / 4 - 40);
  EXPECT_NEAR(double(r.eng.GetPosition()), double(int64_t(left) * 10000 / range), 30.0);
  // Pressing the slider and releasing without a move leaves the position.
  const uint32_t here = r.eng.GetPosition();
  r.control.TimerStateTick();
  r.control.PressSlider(3);
  r.control.ReleaseSlider();
  EXPECT_NEAR(double(r.eng.GetPosition()), double(here), 30.0);
  r.control.Stop();
  // Stopped: a press does not seek.
  r.control.PressTrack(10);
  EXPECT_FALSE(r.control.SeekDragging);
}

TEST(AppPlayback, StatusWindowReportsALocalFile) {
  Rig r;
  r.settings.volume = 200;
  ASSERT_TRUE(r.control.OpenInEngine(r.files[0], false));
  std::vector<std::string> want{"[StringOpenedLocalFile]", r.files[0], " ", "[StringBeingDecodedBy] : bass.so", " "};
  if (r.eng.SingleChannel()) want.push_back("(Single channel mode)");
  want.push_back("[StringStreamFormat] Integer PCM WAVE");
  want.push_back("44100Hz, Stereo");
  EXPECT_EQ(r.view.status, want);
  EXPECT_EQ(r.control.ShownSampleRate, 44100u);
  EXPECT_TRUE(r.view.stereoLit);
  EXPECT_EQ(r.view.bitrate, "1411 kbps");
  EXPECT_EQ(r.view.addOnInUse, "");
  EXPECT_EQ(r.eng.Volume(), 200u);
  EXPECT_EQ(r.control.LengthMs, 400);
  EXPECT_EQ(r.eng.Mode(), engine::plmReady);  // not started
  // After the first activation a new open starts with a clear window.
  r.view.activated = true;
  ASSERT_TRUE(r.control.OpenInEngine(r.files[1], false));
  EXPECT_EQ(r.view.status.size(), want.size());
  EXPECT_EQ(r.view.status[1], r.files[1]);
  // A file the engine cannot open changes nothing.
  const auto before = r.view.status;
  const std::string bad = r.dir.File("broken.wav");
  WriteFile(bad, "not audio at all");
  {
    platform::MessageRecorder quiet;
    EXPECT_FALSE(r.control.OpenInEngine(bad, true));
  }
  EXPECT_EQ(r.view.status, before);
  EXPECT_FALSE(r.control.OpenInProgress());
}

TEST(AppPlayback, RunningTitleForEachModeAndEachEngineState) {
  Rig r(2, 10.0);
  // Nothing chosen yet: the title is left as it is.
  r.control.RunningTitle = "before";
  EXPECT_EQ(r.control.ComposeRunningTitle("StringPlaying"), "before");
  // Audio without tags: the engine's title is the file name.
  r.control.StartPlayback();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.view.runningTitle, "[StringPlaying] >> tone440.wav");
  EXPECT_TRUE(r.view.stateTimer);
  r.control.Stop();
  EXPECT_EQ(r.view.runningTitle, "[StringStopped] >> tone440.wav");
  EXPECT_EQ(r.view.pos, "00:00");
  EXPECT_FALSE(r.view.sliderVisible);
  // Audio with a title and an artist.
  const std::string tagged = Media("playback_tagged.mp3",
                                   "ffmpeg -nostdin -y -f lavfi -i sine=frequency=500:duration=2 -ac 2 "
                                   "-c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title=Tune "
                                   "-metadata artist=Band {out}");
  ASSERT_FALSE(tagged.empty());
  ASSERT_TRUE(r.control.OpenInEngine(tagged, false));
  EXPECT_EQ(r.view.runningTitle, "[StringReadyToPlay] >> Band - Tune");
  EXPECT_EQ(r.view.bitrate, "128 kbps");
  r.eng.Play();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.view.runningTitle, "[StringPlaying] >> Band - Tune");
  r.control.Pause();
  ASSERT_TRUE(r.WaitMode(engine::plmPaused));
  EXPECT_EQ(r.view.runningTitle, "[StringPaused] >> Band - Tune");
  r.control.Pause();  // resumes
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  r.control.Stop();
  // Video and DVD: the video file's name.
  r.view.videoName = "clip.avi";
  r.control.PlayMode = 2;
  EXPECT_EQ(r.control.ComposeRunningTitle("StringPlaying"), "[StringPlaying] >> clip.avi");
  r.control.PlayMode = 3;
  EXPECT_EQ(r.control.ComposeRunningTitle("StringPaused"), "[StringPaused] >> clip.avi");
}

TEST(AppPlayback, LyricsRefreshAtPlayStartRadioTitleDownloadEndAndPluginStart) {
  Rig r(2, 10.0);
  EXPECT_EQ(r.view.lyricsRefreshes, 0);
  // Play start.
  r.control.StartPlayback();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.view.lyricsRefreshes, 1);
  // A radio title change; an empty one is no new title.
  r.control.GetMETAFromNet("Band - Tune");
  EXPECT_EQ(r.view.lyricsRefreshes, 2);
  r.control.GetMETAFromNet("");
  EXPECT_EQ(r.view.lyricsRefreshes, 2);
  // The end of a download, with the stream's title known.
  ASSERT_FALSE(r.eng.StreamInfo().Title.empty());
  r.control.DownloadEnded(10000);
  EXPECT_EQ(r.view.lyricsRefreshes, 3);
  // An input plug-in starting (not a network stream).
  engine::TChannelInfo ci{};
  ci.SampleRate = 44100;
  r.control.PluginStartPlay(ci);
  EXPECT_EQ(r.view.lyricsRefreshes, 4);
  r.control.Stop();
  EXPECT_EQ(r.view.lyricsRefreshes, 4);
}

TEST(AppPlayback, EntryClassesSoundfontAndNothingChosen) {
  Rig r(1, 0.4, true);
  std::filesystem::remove(r.dir.File("plugins/CT4MGM.SF2"));  // a folder without the soundfont
  // ".3gp" is in no class: with nothing chosen yet, Play does nothing.
  const std::string odd = r.dir.File("clip.3gp");
  std::filesystem::copy_file(r.files[0], odd);
  r.playlist.Clear();
  r.playlist.AppendEntry({"1. ", "Odd", "", odd});
  r.playlist.AppendEntry({"2. ", "Film", "", r.dir.File("film.avi")});
  r.playlist.AppendEntry({"3. ", "Song", "", r.dir.File("song.mid")});
  r.control.StartPlayback();
  EXPECT_EQ(r.control.PlayMode, 0);
  EXPECT_EQ(r.eng.Mode(), engine::plmStandby);
  // A video entry goes to the filter graph's side.
  r.playlist.PlayingIndex = 1;
  r.control.StartPlayback();
  EXPECT_EQ(r.control.PlayMode, 2);
  EXPECT_EQ(r.view.videoStarts, 1);
  EXPECT_EQ(r.view.nextHint, "[StringNextHint]");
  // ".3gp" after it keeps the video engine.
  r.playlist.PlayingIndex = 0;
  r.control.StartPlayback();
  EXPECT_EQ(r.control.PlayMode, 2);
  EXPECT_EQ(r.view.videoStarts, 2);
  // A MIDI entry without the soundfont is not played and not an error.
  r.playlist.PlayingIndex = 2;
  r.control.StartPlayback();
  EXPECT_EQ(r.control.PlayMode, 1);
  EXPECT_FALSE(r.playlist.Playable);
  EXPECT_EQ(r.eng.Mode(), engine::plmStandby);
  EXPECT_TRUE(r.messages.Messages().empty());
}

TEST(AppPlayback, OpeningFilesFoldersAddressesAndDroppedFiles) {
  Rig r;
  // Open files: replaces the list, remembers the folder, plays the first.
  r.view.chooseFiles = {r.files[1], r.files[2]};
  r.control.OpenFiles();
  ASSERT_EQ(r.playlist.Count(), 2);
  EXPECT_EQ(r.playlist.Entry(0).File, r.files[1]);
  EXPECT_EQ(r.settings.LastPath, r.dir.Path() + "/");
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 2 && r.eng.Mode() == engine::plmStopped; }, 20000));
  EXPECT_EQ(r.view.played[0], r.files[1]);
  // Open folder, cancelled: the current entry restarts and the next add does not replace.
  r.playlist.PlayingIndex = 0;
  r.view.chooseFolder.clear();
  r.control.OpenFolder();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() >= 3; }, 20000));
  EXPECT_EQ(r.view.played[2], r.files[1]);
  EXPECT_FALSE(r.host.ReplaceOnAdd());
  ASSERT_TRUE(r.WaitStopped());
  // Open folder, chosen: the folder replaces the list.
  const std::string sub = r.dir.File("album");
  std::filesystem::create_directory(sub);
  std::filesystem::copy_file(r.files[0], sub + "/a.wav");
  r.view.chooseFolder = sub;
  r.control.OpenFolder();
  ASSERT_EQ(r.playlist.Count(), 1);
  EXPECT_EQ(r.playlist.Entry(0).File, sub + "/a.wav");
  ASSERT_TRUE(r.WaitStopped());
  // The address prompt while an open runs is ignored; a cancelled one changes nothing.
  r.view.address.clear();
  r.control.OpenAddress(true);
  EXPECT_EQ(r.playlist.Count(), 1);
  // The playlist's "Add Url": appends, index 0, no restart.
  r.view.address = "http://127.0.0.1:9/none.mp3";
  const size_t plays = r.view.played.size();
  r.control.OpenAddress(false);
  ASSERT_EQ(r.playlist.Count(), 2);
  EXPECT_EQ(r.playlist.Entry(1).File, r.view.address);
  EXPECT_EQ(r.playlist.PlayingIndex, 0);
  EXPECT_EQ(r.view.played.size(), plays);
  // Dropped files replace the list and play.
  r.control.DropFiles({r.files[1]});
  ASSERT_EQ(r.playlist.Count(), 1);
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == plays + 1; }, 20000));
  EXPECT_EQ(r.view.played.back(), r.files[1]);
  r.control.DropFiles({});
  EXPECT_EQ(r.playlist.Count(), 1);
}

TEST(AppPlayback, PluginRequestsVolumeMuteBalanceAndLyrics) {
  Rig r(2, 10.0);
  r.control.StartPlayback();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  r.control.Pause();
  ASSERT_TRUE(r.WaitMode(engine::plmPaused));
  // Volume steps through the bar.
  r.view.volumeBar = 252;
  r.control.ProcessPluginRequest(0);
  EXPECT_EQ(r.view.volumeBar, 255);
  r.view.volumeBar = 100;
  r.control.ProcessPluginRequest(0);
  EXPECT_EQ(r.view.volumeBar, 104);
  EXPECT_EQ(r.settings.volume, 104);
  EXPECT_EQ(r.eng.Volume(), 104u);
  r.control.ProcessPluginRequest(1);
  EXPECT_EQ(r.view.volumeBar, 100);
  r.view.volumeBar = 4;
  r.control.ProcessPluginRequest(1);
  EXPECT_EQ(r.view.volumeBar, 0);
  // Back 5 seconds at 5 seconds or less does nothing; forward moves 5 seconds.
  r.control.PressTrack(0);
  r.control.ReleaseBar();
  EXPECT_LE(r.eng.GetPosition(), 30u);
  r.control.ProcessPluginRequest(3);
  EXPECT_LE(r.eng.GetPosition(), 30u);
  r.control.TimerStateTick();
  r.control.ProcessPluginRequest(2);
  EXPECT_NEAR(double(r.eng.GetPosition()), 5000.0, 30.0);
  r.control.ProcessPluginRequest(3);
  EXPECT_NEAR(double(r.eng.GetPosition()), 5000.0, 30.0);  // exactly 5 s: not above
  r.control.ProcessPluginRequest(2);                         // 10 s is not below the length
  EXPECT_NEAR(double(r.eng.GetPosition()), 5000.0, 30.0);
  // Mute with a fade, balance stored as "pan".
  r.control.Pause();  // resumes, so the fades run
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  ASSERT_TRUE(PumpUntil([&] { return !r.eng.Fading(); }, 5000));  // the resume's own fade-in
  r.control.MuteChanged(true);
  EXPECT_TRUE(r.eng.Muted());
  EXPECT_TRUE(r.eng.Fading());
  ASSERT_TRUE(PumpUntil([&] { return !r.eng.Fading(); }, 5000));
  r.control.MuteChanged(false);
  EXPECT_FALSE(r.eng.Muted());
  ASSERT_TRUE(PumpUntil([&] { return !r.eng.Fading(); }, 5000));
  r.control.BalanceChanged(-40);
  EXPECT_EQ(r.settings.pan, -40);
  // MIDI lyrics: "\" and "/" start a new line, other text joins the last.
  r.view.status = {"x"};
  r.control.GetMIDILyric("\\Hel");
  r.control.GetMIDILyric("lo");
  r.control.GetMIDILyric("/world");
  EXPECT_EQ(r.view.status, (std::vector<std::string>{"x", "Hel" "lo", "world"}));
  // Position display.
  EXPECT_EQ(TPlaybackControl::FormatMinSec(3723000), "02:03");
  r.control.Stop();
}

namespace {

// A folder of `count` entries, each a link to `target`, named 000.wav, 001.wav ...
std::string LinkFolder(const enginetest::ScratchDir& dir, const std::string& name, const std::string& target,
                       int count) {
  const std::string folder = dir.File(name);
  std::filesystem::create_directory(folder);
  for (int i = 0; i < count; ++i) {
    char file[24];  // room for any int: -O1 builds check the bound
    std::snprintf(file, sizeof file, "/%03d.wav", i);
    std::filesystem::create_symlink(target, folder + file);
  }
  return folder + "/";
}

}  // namespace

TEST(AppPlayback, AnEndOfPlayDuringOpenFolderWaitsAndTheFolderStartsAtItsFirstEntry) {
  Rig r(1, 0.4);
  const std::string folder = LinkFolder(r.dir, "folder", r.files[1], 100);
  // The playlist window shows progress and lets events through; the short
  // entry ends while the new folder has only partly replaced the list.
  bool endedDuringAdd = false;
  int rowsWhenEnded = -1;
  r.playlist.OnProgress = [&](const playlist::TAddProgress& p) {
    if (p.phase != playlist::TAddProgress::Reading || p.done < 64 || endedDuringAdd) return;
    endedDuringAdd = PumpUntil(
        [&] { return r.control.EventsWaiting() || r.view.played.size() > 1 || r.eng.Mode() != engine::plmPlaying; },
        20000);
    if (r.eng.Mode() == engine::plmStopped) PumpUntil([&] { return r.control.EventsWaiting(); }, 2000);
    rowsWhenEnded = r.playlist.Count();
  };
  r.view.chooseFolder = folder;
  r.control.StartPlayback();
  ASSERT_EQ(r.eng.Mode(), engine::plmPlaying);
  r.control.OpenFolder();
  ASSERT_TRUE(endedDuringAdd);
  EXPECT_GE(rowsWhenEnded, 64);
  EXPECT_LT(rowsWhenEnded, 100);
  ASSERT_EQ(r.playlist.Count(), 100);
  // Nothing of the half-filled list was started; Open folder started the
  // folder's first entry and the old end was dropped.
  ASSERT_EQ(r.view.played.size(), 2u);
  EXPECT_EQ(r.view.played[0], r.files[0]);
  EXPECT_EQ(r.view.played[1], r.playlist.Entry(0).File);
  EXPECT_EQ(r.playlist.PlayingIndex, 0);
  EXPECT_FALSE(r.control.EventsWaiting());
  r.control.Stop();
  for (const auto& m : r.messages.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppPlayback, AnEndOfPlayDuringAnAppendingFolderAddIsCarriedOutAfterIt) {
  Rig r(1, 0.4);
  const std::string folder = LinkFolder(r.dir, "more", r.files[2], 100);
  bool waitingDuringAdd = false;
  size_t playedDuringAdd = 0;
  r.playlist.OnProgress = [&](const playlist::TAddProgress& p) {
    if (p.phase != playlist::TAddProgress::Reading || p.done < 64 || waitingDuringAdd) return;
    waitingDuringAdd = PumpUntil([&] { return r.control.EventsWaiting(); }, 20000);
    playedDuringAdd = r.view.played.size();
  };
  r.control.StartPlayback();
  r.playlist.AddFolder(folder);  // the playlist window's Add Folder: appends
  EXPECT_TRUE(waitingDuringAdd);
  EXPECT_EQ(playedDuringAdd, 1u);
  // The add set the playing index to its first row; the end then advanced as usual.
  ASSERT_EQ(r.playlist.Count(), 103);
  EXPECT_FALSE(r.control.EventsWaiting());
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  ASSERT_GE(r.view.played.size(), 2u);
  EXPECT_EQ(r.view.played[1], r.files[1]);
  r.control.Stop();
}

TEST(AppPlayback, PluginTransportRequestsPlayPauseStopAndMoveThroughTheList) {
  Rig r(2, 10.0);
  r.control.ProcessPluginRequest(6);  // play
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.eng.StreamName(), r.files[0]);
  r.control.ProcessPluginRequest(7);  // pause
  EXPECT_EQ(r.eng.Mode(), engine::plmPaused);
  r.control.ProcessPluginRequest(7);  // pause again: stays paused
  EXPECT_EQ(r.eng.Mode(), engine::plmPaused);
  r.control.ProcessPluginRequest(6);  // play resumes the same entry
  EXPECT_EQ(r.eng.Mode(), engine::plmPlaying);
  EXPECT_EQ(r.eng.StreamName(), r.files[0]);
  const size_t starts = r.view.played.size();
  r.control.ProcessPluginRequest(6);  // already playing: goes on
  EXPECT_EQ(r.view.played.size(), starts);
  r.control.ProcessPluginRequest(5);  // next
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  EXPECT_EQ(r.eng.StreamName(), r.files[1]);
  r.control.ProcessPluginRequest(4);  // previous
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.playlist.PlayingIndex, 0);
  EXPECT_EQ(r.eng.StreamName(), r.files[0]);
  r.control.ProcessPluginRequest(8);  // stop
  EXPECT_EQ(r.eng.Mode(), engine::plmStopped);
  EXPECT_FALSE(r.view.stateTimer);
  EXPECT_EQ(r.view.appTitle, "Orvella Player 1.4");
  r.control.ProcessPluginRequest(5);  // next while stopped: only the index moves
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  EXPECT_EQ(r.eng.Mode(), engine::plmStopped);
  r.control.ProcessPluginRequest(9);  // unknown: nothing
  EXPECT_EQ(r.eng.Mode(), engine::plmStopped);
  r.control.ProcessPluginRequest(6);
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.eng.StreamName(), r.files[1]);

  // While the playlist is being filled the transport requests wait for it.
  const std::string folder = LinkFolder(r.dir, "more", r.files[2], 3);
  bool asked = false, waitingDuringAdd = false;
  int indexDuringAdd = -1;
  r.playlist.OnProgress = [&](const playlist::TAddProgress& p) {
    if (asked || p.phase != playlist::TAddProgress::Reading) return;
    asked = true;
    r.control.ProcessPluginRequest(8);
    r.control.ProcessPluginRequest(5);
    waitingDuringAdd = r.control.EventsWaiting();
    indexDuringAdd = r.playlist.PlayingIndex;
  };
  r.playlist.AddFolder(folder);
  ASSERT_TRUE(asked);
  EXPECT_TRUE(waitingDuringAdd);
  EXPECT_EQ(indexDuringAdd, 1);
  // Afterwards, in order: stop, then next from the add's first row (only the index moves).
  EXPECT_FALSE(r.control.EventsWaiting());
  EXPECT_EQ(r.eng.Mode(), engine::plmStopped);
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  for (const auto& m : r.messages.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppPlayback, PluginSeekRequestsLeaveTheEngineAloneWhileVideoPlaysOrNothingIsOpen) {
  Rig r(2, 10.0);
  r.control.ProcessPluginRequest(2);  // nothing open
  r.control.ProcessPluginRequest(3);
  EXPECT_EQ(r.eng.Mode(), engine::plmStandby);
  r.control.StartPlayback();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  r.control.Pause();
  r.control.TimerStateTick();
  r.control.PlayMode = 2;  // a video entry took over the bar
  r.control.ProcessPluginRequest(2);
  EXPECT_LE(r.eng.GetPosition(), 1000u);
  r.control.PlayMode = 1;
  r.control.ProcessPluginRequest(2);
  EXPECT_GE(r.eng.GetPosition(), 5000u);
}

TEST(AppPlayback, NetworkStreamReportTitlesAndBarFollowTheNetworkFacts) {
  Rig r(2, 10.0);
  r.view.activated = true;
  app::TNetworkFacts net;
  net.NetStream = true;
  net.IcyHeaders = {"icy-br:128", "icy-name:Radio One", "icy-name:Second"};
  r.control.NetworkFacts = [&] { return net; };
  r.control.PlayMode = 1;
  ASSERT_TRUE(r.control.OpenInEngine(r.files[0], false));
  const auto& st = r.view.status;
  // Connected (from the ready mode) and then the open's own report, no channel lines for radio.
  ASSERT_GE(st.size(), 8u);
  EXPECT_EQ(st[0], "[StringConnectedToNetRadio]");
  EXPECT_EQ(st[1], "URL : " + r.files[0]);
  EXPECT_EQ(st[2], "icy-name : Radio One");
  const std::vector<std::string> tail(st.end() - 5, st.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"[StringStandby]", "URL : " + r.files[0], "icy-name : Radio One", " ",
                                            "[StringBeingDecodedBy] : bass.so"}));
  EXPECT_TRUE(r.control.IsNetRadio);
  EXPECT_FALSE(r.view.sliderVisible);
  EXPECT_EQ(r.view.filled, 0);
  EXPECT_EQ(r.view.runningTitle, "[StringReadyToPlay] >> tone440.wav");
  r.eng.Play();
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.view.runningTitle, "[StringPlaying] >> tone440.wav");
  // The position label keeps its text and the bar cannot seek a radio stream.
  r.view.pos = "kept";
  r.control.TimerStateTick();
  EXPECT_EQ(r.view.pos, "kept");
  r.control.PressTrack(100);
  EXPECT_FALSE(r.control.SeekDragging);
  r.control.GetMETAFromNet("Song A");
  EXPECT_EQ(r.view.runningTitle, "[StringPlaying] >> Song A");
  r.control.GetMETAFromNet("");
  EXPECT_EQ(r.view.runningTitle, "[StringPlaying] >> Song A");
  r.control.Stop();
  EXPECT_EQ(r.view.runningTitle, "[StringStopped] >> " + r.files[0] + " *");
  // Before the first activation a radio title is artist and title as they are.
  r.view.activated = false;
  EXPECT_EQ(r.control.ComposeRunningTitle("StringPlaying"), "[StringPlaying] >>  - tone440.wav");

  // A file read over the internet.
  r.view.activated = true;
  net = {};
  net.ReadFromInternet = true;
  net.HttpHeaders = {"HTTP/1.0 200 OK", "Server: test/1.0", "Server: second"};
  net.Tags = {"TITLE=a"};
  ASSERT_TRUE(r.control.OpenInEngine(r.files[1], false));
  std::vector<std::string> want{"[StringOpenedFileFromInternet]", "URL : " + r.files[1], "Server: test/1.0", "TITLE=a",
                                " ", "[StringBeingDecodedBy] : bass.so", " "};
  if (r.eng.SingleChannel()) want.push_back("(Single channel mode)");
  want.push_back("[StringStreamFormat] Integer PCM WAVE");
  want.push_back("44100Hz, Stereo");
  EXPECT_EQ(r.view.status, want);
  EXPECT_FALSE(r.control.IsNetRadio);
  EXPECT_TRUE(r.view.sliderVisible);
  // Fully fetched: the length label and the title.
  r.control.DownloadEnded(125000);
  EXPECT_EQ(r.view.pos, "Length 02:05");
  EXPECT_EQ(r.control.LengthMs, 125000);
  EXPECT_EQ(r.view.runningTitle, "[StringReadyToPlay] >> tone550.wav");
  // A plug-in's output start reports the rate once.
  r.control.ShownSampleRate = 0;
  r.view.status.clear();
  engine::TChannelInfo ci{16, 96, 22050, 1};
  r.control.PluginStartPlay(ci);
  ASSERT_GE(r.view.status.size(), 4u);
  EXPECT_EQ(r.view.status[0], "[StringOpenedFileFromInternet]");
  EXPECT_EQ(r.view.status.back(), "22050Hz, Stereo");  // the engine's channel count
  EXPECT_EQ(r.control.ShownSampleRate, 22050u);
  const size_t n = r.view.status.size();
  r.control.PluginStartPlay(ci);
  EXPECT_EQ(r.view.status.size(), n);
  r.control.PluginChannelInfo(ci);
  EXPECT_EQ(r.view.bitrate, "96 kbps");
}

TEST(AppPlayback, MidiEntriesReportTheirTracksAndNeedTheSoundfont) {
  if (!std::filesystem::exists(kSmallSoundfont)) GTEST_SKIP() << "no General MIDI soundfont installed";
  Rig r(1, 0.4, true);
  ASSERT_TRUE(r.eng.MIDIReady());
  engine::TMIDI_FONTINFO font;
  ASSERT_TRUE(r.eng.LoadSoundFont(r.dir.File("plugins/CT4MGM.SF2"), font));
  const std::string mid = r.dir.File("tune.mid");
  WriteFile(mid, LyricMidiFile());
  r.playlist.Clear();
  for (const std::string& f : {r.files[0], mid, r.files[1]}) r.playlist.AppendEntry({"", "", "", f});
  ASSERT_TRUE(r.control.OpenInEngine(mid, false));
  ASSERT_GE(r.view.status.size(), 3u);
  const std::vector<std::string> tail(r.view.status.end() - 3, r.view.status.end());
  EXPECT_EQ(tail, (std::vector<std::string>{" ", "MIDI Track info :", "Track[0] : Lead"}));
  r.eng.Close();

  // With the soundfont the MIDI entry plays in turn.
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.view.played.size() == 3 && r.eng.Mode() == engine::plmStopped; }, 30000));
  EXPECT_EQ(r.view.played, (std::vector<std::string>{r.files[0], mid, r.files[1]}));

  // Without it the advance stops on the MIDI entry, silently.
  std::filesystem::remove(r.dir.File("plugins/CT4MGM.SF2"));
  r.view.played.clear();
  r.playlist.PlayingIndex = 0;
  r.control.StartPlayback();
  ASSERT_TRUE(PumpUntil([&] { return r.playlist.PlayingIndex == 1 && r.eng.Mode() == engine::plmStopped; }, 20000));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(r.view.played, std::vector<std::string>{r.files[0]});
  EXPECT_FALSE(r.playlist.Playable);
  EXPECT_EQ(r.playlist.PlayingIndex, 1);
  for (const auto& m : r.messages.Messages()) ADD_FAILURE() << m.text;
}

// ---------------------------------------------------------------------------
// The same logic through the main window on the offscreen platform.

namespace {

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  for (int waited = 0; !done(); waited += 10) {
    if (waited > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

struct WindowRig {
  explicit WindowRig(int speed, double seconds) {
    dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
    capture = std::make_unique<CaptureOutput>(dir.File("out.wav"), speed);
    player = std::make_unique<apptest::Player>();
    form = player->form;
    eng = form->Engine();
    auto previous = eng->OnModeChange;
    eng->OnModeChange = [this, previous](engine::TZOZUZivade* e, engine::TPlayerMode o, engine::TPlayerMode n) {
      if (n == engine::plmPlaying) played.push_back(e->StreamName());
      previous(e, o, n);
    };
    for (int hz : {440, 550, 660}) {
      files.push_back(dir.File("tone" + std::to_string(hz) + ".wav"));
      std::filesystem::copy_file(SineWav(seconds, hz), files.back());
      list().AppendEntry({std::to_string(files.size()) + ". ", "Tone", "", files.back()});
    }
  }
  playlist::TPlaylist& list() { return *player->windows->Playlist; }
  void Click(const char* button) { QTest::mouseClick(form->Button(button), Qt::LeftButton); }

  apptest::ProgramDir dir;
  platform::MessageRecorder messages;
  std::unique_ptr<CaptureOutput> capture;
  std::unique_ptr<apptest::Player> player;
  app::TForm1* form = nullptr;
  engine::TZOZUZivade* eng = nullptr;
  std::vector<std::string> files, played;
};

}  // namespace

TEST(AppPlaybackWindow, PlayButtonPlaysTheListToItsEndAndTheWindowShowsTheStream) {
  WindowRig w(1, 0.4);
  ASSERT_NE(w.form->Playback(), nullptr);
  w.Click("ImagePlay");
  ASSERT_TRUE(WaitFor([&] { return w.played.size() == 3 && w.eng->Mode() == engine::plmStopped; }, 30000));
  QTest::qWait(100);
  EXPECT_EQ(w.played, w.files);
  EXPECT_EQ(w.list().PlayingIndex, 2);
  EXPECT_EQ(w.form->PlayMode(), 1);
  EXPECT_EQ(w.form->Label("LabelType")->text().toStdString(), "WAV");
  EXPECT_EQ(w.form->Label("LabelBitrate")->text().toStdString(), "1411 kbps");
  EXPECT_EQ(w.form->Label("LabelPos")->text().toStdString(), "00:00");
  EXPECT_FALSE(w.form->TimerActive(app::TForm1::kTimerState));
  EXPECT_EQ(QApplication::applicationName().toStdString(), "Orvella Player 1.4");
  EXPECT_EQ(w.form->Playback()->Control().RunningTitle, w.form->Str("StringStopped") + " >> tone660.wav");
  const std::vector<std::string> lines = w.player->windows->FormStatus->Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "44100Hz, Stereo");
  EXPECT_NE(std::find(lines.begin(), lines.end(), w.files[2]), lines.end());
  // Next while stopped only moves the index; Previous at the first entry does nothing.
  w.list().PlayingIndex = 0;
  w.Click("ImagePre");
  EXPECT_EQ(w.list().PlayingIndex, 0);
  w.Click("ImageNext");
  QTest::qWait(50);
  EXPECT_EQ(w.list().PlayingIndex, 1);
  EXPECT_EQ(w.played.size(), 3u);
  for (const auto& m : w.messages.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppPlaybackWindow, ProgressBarVolumeAndBalanceOnTheMainWindow) {
  WindowRig w(2, 10.0);
  w.Click("ImagePlay");
  ASSERT_TRUE(WaitFor([&] { return w.eng->Mode() == engine::plmPlaying; }, 20000));
  EXPECT_TRUE(w.form->TimerActive(app::TForm1::kTimerState));
  w.Click("ImagePause");
  ASSERT_TRUE(WaitFor([&] { return w.eng->Mode() == engine::plmPaused; }, 20000));
  app::TSkinImage* track = w.form->SkinImage("ImageProgressMax");
  app::TSkinImage* filled = w.form->SkinImage("ImageProgress");
  app::TSkinImage* slider = w.form->SkinImage("ImageSlider");
  const int range = track->width() - slider->width();
  QTest::mousePress(track, Qt::LeftButton, {}, QPoint(range / 2, 3));
  QTest::mouseRelease(track, Qt::LeftButton, {}, QPoint(range / 2, 3));
  EXPECT_EQ(filled->width(), range / 2);
  EXPECT_EQ(slider->x(), track->x() + range / 2);
  EXPECT_NEAR(double(w.eng->GetPosition()), double(int64_t(range / 2) * 10000 / range), 30.0);
  // The display timer keeps the bar where the position is.
  QTest::qWait(250);
  EXPECT_EQ(filled->width(), range / 2);
  EXPECT_EQ(w.form->Label("LabelPos")->text().toStdString(), TPlaybackControl::FormatMinSec(w.eng->GetPosition()));
  // Volume and balance bars reach the engine and the settings.
  w.form->tbVolume()->setValue(100);
  EXPECT_EQ(w.eng->Volume(), 100u);
  EXPECT_EQ(w.form->Settings().volume, 100);
  w.form->tbBalance()->setValue(-30);
  EXPECT_EQ(w.form->Settings().pan, -30);
  // Pressing in the last slider width advances to the next entry.
  QTest::mousePress(track, Qt::LeftButton, {}, QPoint(track->width() - 2, 3));
  QTest::mouseRelease(track, Qt::LeftButton, {}, QPoint(track->width() - 2, 3));
  ASSERT_TRUE(WaitFor([&] { return w.played.size() == 2; }, 20000));
  EXPECT_EQ(w.played[1], w.files[1]);
  EXPECT_EQ(w.list().PlayingIndex, 1);
  w.Click("ImageStop");
  EXPECT_EQ(w.eng->Mode(), engine::plmStopped);
  EXPECT_FALSE(w.form->TimerActive(app::TForm1::kTimerState));
}

TEST(AppPlaybackWindow, DroppedFilesAndTheOpenCommandsOfTheMenu) {
  WindowRig w(1, 0.4);
  // Files dropped on the main window replace the list and play.
  QMimeData* mime = new QMimeData;
  mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(w.files[2]))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.form, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.form, &drop);
  delete mime;
  ASSERT_EQ(w.list().Count(), 1);
  ASSERT_TRUE(WaitFor([&] { return w.played.size() == 1 && w.eng->Mode() == engine::plmStopped; }, 20000));
  EXPECT_EQ(w.played[0], w.files[2]);
  // Open folder, cancelled: the current entry plays again.
  app::TMainPlayback* pb = w.form->Playback();
  pb->FolderChooser = [](const std::string&) { return std::string(); };
  w.form->Action("PMOpenFolder")->trigger();
  ASSERT_TRUE(WaitFor([&] { return w.played.size() == 2 && w.eng->Mode() == engine::plmStopped; }, 20000));
  EXPECT_EQ(w.played[1], w.files[2]);
  // Open files: the chosen files replace the list and the first plays.
  std::string startFolder = "?";
  pb->FileChooser = [&](const std::string& filter, const std::string& start) {
    startFolder = start;
    EXPECT_EQ(filter, w.form->OpenFilter());
    return std::vector<std::string>{w.files[0], w.files[1]};
  };
  w.form->Action("PMOpenFiles")->trigger();
  ASSERT_TRUE(WaitFor([&] { return w.played.size() == 4 && w.eng->Mode() == engine::plmStopped; }, 20000));
  EXPECT_EQ(w.played[2], w.files[0]);
  EXPECT_EQ(w.played[3], w.files[1]);
  EXPECT_EQ(w.form->Settings().LastPath, w.dir.Path());
  // The playlist's Add Url appends the prompted address without playing.
  pb->AddressPrompt = [] { return std::string("http://127.0.0.1:9/radio"); };
  ASSERT_TRUE(w.player->windows->FormPL->OpenUrl);
  w.player->windows->FormPL->OpenUrl();
  ASSERT_EQ(w.list().Count(), 3);
  EXPECT_EQ(w.list().Entry(2).File, "http://127.0.0.1:9/radio");
  EXPECT_EQ(w.played.size(), 4u);
}

// A plug-in's request posted to the engine window reaches the playback control.
TEST(AppPlayback, PluginRequestsPostedToTheEngineReachTheControl) {
  Rig r(2, 10.0);
  r.view.volumeBar = 100;
  platform::PostMessage(r.eng.HiddenWindow(), engine::WM_PLUGIN_REQUEST, 0, 0);  // volume up
  ASSERT_TRUE(PumpUntil([&] { return r.view.volumeBar == 104; }, 2000));
  platform::PostMessage(r.eng.HiddenWindow(), engine::WM_PLUGIN_REQUEST, 1, 0);  // volume down
  ASSERT_TRUE(PumpUntil([&] { return r.view.volumeBar == 100; }, 2000));
}

namespace {

int Peak(const std::vector<int16_t>& s, size_t from, size_t to, size_t step, size_t offset) {
  int peak = 0;
  for (size_t i = from * step + offset; i < to * step && i < s.size(); i += step) peak = std::max(peak, std::abs(int(s[i])));
  return peak;
}

// First and one past the last frame of a stereo capture that is not silent.
std::pair<size_t, size_t> Audible(const std::vector<int16_t>& s) {
  size_t first = 0, last = 0;
  const size_t frames = s.size() / 2;
  while (first < frames && s[2 * first] == 0 && s[2 * first + 1] == 0) ++first;
  for (size_t i = first; i < frames; ++i)
    if (s[2 * i] != 0 || s[2 * i + 1] != 0) last = i + 1;
  return {first, last};
}

}  // namespace

TEST(AppPlaybackWindow, VolumeAndBalanceMovedBeforeAnyTrackAreStoredHeardAndWritten) {
  std::vector<int16_t> captured;
  std::string ini;
  int sourcePeak = 0;
  {
    WindowRig w(2, 2.0);
    const std::string file = w.files[0];
    w.list().Clear();
    w.list().AppendEntry({"1. ", "Tone", "", file});
    // Nothing has played yet.
    w.form->tbVolume()->setValue(120);
    w.form->tbBalance()->setValue(-50);
    EXPECT_EQ(w.form->Settings().volume, 120);
    EXPECT_EQ(w.form->Settings().pan, -50);
    EXPECT_EQ(w.eng->Volume(), 120u);
    w.Click("ImagePlay");
    ASSERT_TRUE(WaitFor([&] { return w.played.size() == 1 && w.eng->Mode() == engine::plmStopped; }, 20000));
    EXPECT_EQ(w.eng->Volume(), 120u);
    EXPECT_EQ(w.form->tbVolume()->value(), 120);
    w.player->Close();  // the engine goes (the capture is complete) and the settings are written
    ASSERT_TRUE(w.player->closed);
    captured = ReadWav16(w.dir.File("out.wav"));
    ini = w.dir.Read("OrvellaPlayer.ini");
    const std::vector<int16_t> source = ReadWav16(file);
    sourcePeak = Peak(source, 0, source.size() / 2, 2, 0);
    for (const auto& m : w.messages.Messages()) ADD_FAILURE() << m.text;
  }
  EXPECT_NE(ini.find("\nvolume=120\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\npan=-50\r\n"), std::string::npos) << ini;
  // What was heard: the volume bar's 120 (of 255, 39 steps of 10000 each), and
  // the balance halfway left, so the right channel at half the left.
  ASSERT_GT(sourcePeak, 1000);
  auto [first, last] = Audible(captured);
  ASSERT_GT(last, first + 44100);
  const size_t from = first + (last - first) / 2;
  const int left = Peak(captured, from, last, 2, 0), right = Peak(captured, from, last, 2, 1);
  EXPECT_NEAR(double(left) / sourcePeak, 120 * 39 / 10000.0, 0.02);
  EXPECT_NEAR(double(right) / left, 0.5, 0.03);
}

TEST(AppPlaybackWindow, MuteTickedBeforeAnyTrackSilencesTheFirstPlay) {
  std::vector<int16_t> captured;
  {
    WindowRig w(1, 0.4);
    w.list().Clear();
    w.list().AppendEntry({"1. ", "Tone", "", w.files[0]});
    auto* mute = w.form->findChild<QCheckBox*>("cbMute");
    ASSERT_NE(mute, nullptr);
    mute->setChecked(true);
    EXPECT_TRUE(w.form->Playback()->Control().Muted);
    EXPECT_TRUE(w.eng->Muted());
    w.Click("ImagePlay");
    ASSERT_TRUE(WaitFor([&] { return w.played.size() == 1 && w.eng->Mode() == engine::plmStopped; }, 20000));
    EXPECT_TRUE(w.eng->Muted());
    EXPECT_TRUE(mute->isChecked());
    w.player->Close();
    captured = ReadWav16(w.dir.File("out.wav"));
  }
  ASSERT_FALSE(captured.empty());  // the entry did play, silently
  auto [first, last] = Audible(captured);
  EXPECT_EQ(last, 0u) << "heard from frame " << first;
}

TEST(AppPlaybackWindow, ClosingWhilePlayingWithAFailingSettingsWriteReachesNoDestroyedEngine) {
  WindowRig w(2, 10.0);
  w.Click("ImagePlay");
  ASSERT_TRUE(WaitFor([&] { return w.eng->Mode() == engine::plmPlaying; }, 20000));
  ASSERT_TRUE(w.form->TimerActive(app::TForm1::kTimerState));
  QTest::qWait(250);  // the display timer ticks
  // The settings file cannot be written (its replacement cannot be created).
  platform::IniFile::SetFaultHook([](std::string_view step) { return step != "open"; });
  // The failure box runs its own event loop, as a real one does; a display
  // timer tick queued before the timers were killed arrives during it.
  std::vector<std::string> shown;
  bool engineGoneAtBox = false, logicGoneAtBox = false;
  platform::MessageSink previous = platform::SetMessageSink([&](const platform::MessageRequest& m) {
    shown.push_back(m.text);
    engineGoneAtBox = w.form->Engine() == nullptr;
    logicGoneAtBox = w.form->Playback() == nullptr;
    for (uintptr_t id : {app::TForm1::kTimerState, app::TForm1::kTimerRunString})
      platform::PostMessage(w.form->Handle(), platform::WM_TIMER, id, 0);
    QTest::qWait(300);
    return platform::MsgResult::Ok;
  });
  w.player->Close();
  platform::SetMessageSink(previous);
  platform::IniFile::SetFaultHook(nullptr);
  EXPECT_TRUE(w.player->closed);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Unable to write to " + w.dir.SettingsFile());
  EXPECT_TRUE(engineGoneAtBox);
  EXPECT_TRUE(logicGoneAtBox);
  for (uintptr_t id : {app::TForm1::kTimerState, app::TForm1::kTimerRunString, app::TForm1::kTimerHideCursor,
                       app::TForm1::kTimerShowText})
    EXPECT_FALSE(w.form->TimerActive(id)) << id;
  // The windows still work after the close: the playlist's commands reach nothing that is gone.
  EXPECT_FALSE(static_cast<bool>(w.player->windows->FormPL->OpenUrl));
  w.form->tbVolume()->setValue(10);
  QTest::mouseClick(w.form->Button("ImagePause"), Qt::LeftButton);
}

// The engine waits with events running (a pause fades out first, the end of a track drains); a
// close (the user, or SIGTERM through the event loop) that arrives then waits for the wait instead
// of destroying the engine under it.
TEST(AppPlaybackWindow, AClosingRequestWhileTheEngineWaitsGoesAheadAfterTheWait) {
  WindowRig w(2, 10.0);  // twice real time
  w.Click("ImagePlay");
  ASSERT_TRUE(WaitFor([&] { return w.eng->Mode() == engine::plmPlaying; }, 20000));
  QTest::qWait(200);
  bool asked = false, closedDuringWait = true;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    engine::TZOZUZivade* e = w.form->Engine();
    if (asked || !e || !e->InWait()) return;
    asked = true;
    w.form->close();
    closedDuringWait = w.player->closed;
  });
  poll.start(2);
  w.Click("ImagePause");  // the fade's wait runs the poll
  ASSERT_TRUE(asked);
  EXPECT_FALSE(closedDuringWait);
  EXPECT_TRUE(WaitFor([&] { return w.player->closed; }, 10000));
  EXPECT_EQ(w.form->Engine(), nullptr);
  for (const auto& m : w.messages.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppPlaybackWindow, AClosingRequestDuringAFolderAddWaitsForTheAdd) {
  WindowRig w(1, 0.4);
  const std::string folder = w.dir.File("many");
  std::filesystem::create_directory(folder);
  for (int i = 0; i < 100; ++i)
    std::filesystem::create_symlink(w.files[0], folder + "/" + std::to_string(1000 + i) + ".wav");
  // The playlist window's progress display lets a termination request through
  // (its close reaches the main window while rows are still being read).
  bool asked = false, closedDuringAdd = true, engineDuringAdd = false;
  auto display = w.list().OnProgress;
  w.list().OnProgress = [&](const playlist::TAddProgress& p) {
    if (display) display(p);
    if (asked || p.phase != playlist::TAddProgress::Reading || p.done < 64) return;
    asked = true;
    w.form->close();
    QTest::qWait(120);  // the retry comes round while the add is still under way
    closedDuringAdd = w.player->closed;
    engineDuringAdd = w.form->Engine() != nullptr;
  };
  w.list().AddFolder(folder);
  ASSERT_TRUE(asked);
  EXPECT_FALSE(closedDuringAdd);
  EXPECT_TRUE(engineDuringAdd);
  EXPECT_EQ(w.list().Count(), 103);
  // Then the close goes ahead.
  EXPECT_TRUE(WaitFor([&] { return w.player->closed; }, 5000));
  EXPECT_EQ(w.form->Engine(), nullptr);
  for (const auto& m : w.messages.Messages()) ADD_FAILURE() << m.text;
}

// The network facts come from the engine: a broadcast opened from the address prompt
// plays, hides the bar, and its new titles run in the title strip.
TEST(AppPlayback, OpenUrlPlaysABroadcastWhoseTitlesRunAndWhoseBarIsHidden) {
  Rig r(2, 3.0);
  r.view.activated = true;
  FakeNet net(r.eng, r.files[0]);
  net.icy = Block({"ICY 200 OK", "icy-name:Radio One", "icy-br:128", "icy-metaint:16000"});
  r.view.address = "http://127.0.0.1:9/";
  r.control.OpenAddress(true);
  ASSERT_EQ(r.playlist.Count(), 1);
  ASSERT_TRUE(r.WaitMode(engine::plmPlaying));
  EXPECT_EQ(r.view.played, std::vector<std::string>{"http://127.0.0.1:9/"});
  EXPECT_TRUE(r.control.IsNetRadio);
  EXPECT_FALSE(r.view.sliderVisible);
  EXPECT_EQ(r.view.bitrate, "128 kbps");
  EXPECT_NE(std::find(r.view.status.begin(), r.view.status.end(), "icy-name : Radio One"), r.view.status.end());
  EXPECT_NE(std::find(r.view.status.begin(), r.view.status.end(), "[StringStandby]"), r.view.status.end());
  net.FireMeta("Artist - Song 1");
  ASSERT_TRUE(PumpUntil([&] { return r.view.runningTitle == "[StringPlaying] >> Artist - Song 1"; }, 5000));
  net.FireMeta("Artist - Song 2");
  ASSERT_TRUE(PumpUntil([&] { return r.view.runningTitle == "[StringPlaying] >> Artist - Song 2"; }, 5000));
  // The bar stays put for a broadcast.
  r.control.PressTrack(100);
  EXPECT_FALSE(r.control.SeekDragging);
  r.control.Stop();
  EXPECT_EQ(r.view.runningTitle, "[StringStopped] >> http://127.0.0.1:9/ *");
  EXPECT_TRUE(r.messages.Messages().empty());
}

// A file read over HTTP (a MIDI file through the real add-on): Open URL plays it, the status
// names it as fetched from the internet with the server's status, and its title is its name.
TEST(AppPlayback, OpenUrlPlaysAFileReadOverHttpAndReportsIt) {
  Rig r(1, 0.4, true);
  r.view.activated = true;
  engine::TMIDI_FONTINFO font;
  ASSERT_TRUE(r.eng.LoadSoundFont(r.dir.File("plugins/CT4MGM.SF2"), font));
  const std::string midi = LyricMidiFile();
  HttpTestServer server([&](const HttpTestServer::Request&, HttpTestServer::Connection& c) {
    c.Write(HttpTestServer::Response("200 OK", {"Server: tiny"}, midi));
  });
  const std::string url = server.Url("/songs/My%20Tune.mid");
  r.view.address = url;
  r.control.OpenAddress(true);
  ASSERT_TRUE(PumpUntil([&] { return !r.view.played.empty(); }, 10000));
  EXPECT_EQ(r.view.played[0], url);
  EXPECT_EQ(r.view.runningTitle, "[StringPlaying] >> My Tune");
  ASSERT_GE(r.view.status.size(), 2u);
  EXPECT_EQ(r.view.status[0], "[StringOpenedFileFromInternet]");
  EXPECT_EQ(r.view.status[1], "URL : " + url);
  EXPECT_FALSE(r.control.IsNetRadio);
  EXPECT_TRUE(r.view.sliderVisible);
  ASSERT_TRUE(r.WaitStopped());
  EXPECT_EQ(server.Requests(), 1);
  EXPECT_TRUE(r.messages.Messages().empty());
}
