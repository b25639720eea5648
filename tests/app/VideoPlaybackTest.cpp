// Video entries in the whole player (offscreen): the picture in the video panel,
// the transport, the bar, speed, snapshots, endings and failures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QThread>
#include <sys/stat.h>
#include <chrono>
#include <filesystem>

#include "../engine/EngineTestUtil.h"
#include "../video/VideoTestUtil.h"
#include "AppTestUtil.h"
#include "app/FormInfoVideo.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/MainPlayback.h"
#include "app/MainVideo.h"
#include "app/PlaybackControl.h"
#include "app/VideoWidget.h"
#include "platform/MessageBox.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "video/Snapshot.h"
#include "video/VlcLibrary.h"

using apptest::Player;
using apptest::ProgramDir;

namespace {

bool Pump(const std::function<bool()>& done, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

struct VideoPlayer {
  ProgramDir dir;
  platform::MessageRecorder messages;
  std::unique_ptr<Player> p;
  VideoPlayer() {
    dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
    p = std::make_unique<Player>();
    // What start-up reported (add-ons missing from a partial build) is not the subject here.
    messages.Clear();
  }
  app::TPlaybackControl& Control() { return p->form->Playback()->Control(); }
  app::TMainVideo& Video() { return p->form->Playback()->Video(); }
  playlist::TPlaylist& List() { return *p->windows->Playlist; }
  void Load(const std::vector<std::string>& files) {
    List().Clear();
    List().AddFiles(files);
    List().PlayingIndex = 0;
  }
  bool HasPicture() { return Video().Widget() && !Video().Widget()->Picture().isNull(); }
  // Every box shown so far, for failure messages.
  std::string Shown() {
    std::string all;
    for (const auto& m : messages.Messages()) all += "[" + m.caption + "] " + m.text + "\n";
    return all.empty() ? std::string("no message") : all;
  }
  std::string Label(const char* name) { return p->form->Label(name)->text().toStdString(); }
};

TEST(AppVideo, AVideoEntryShowsItsPictureAndTheEndAdvancesThePlaylist) {
  const std::string shortAvi = videotest::ShortAvi(), small = videotest::SmallMkv();
  ASSERT_FALSE(shortAvi.empty());
  ASSERT_FALSE(small.empty());
  VideoPlayer v;
  EXPECT_FALSE(video::TVlcLibrary::Loaded()) << "libVLC was loaded before any video played";
  v.Load({shortAvi, small});
  v.Control().StartPlayback();
  EXPECT_EQ(v.Control().PlayMode, 2);
  ASSERT_TRUE(Pump([&] { return v.HasPicture(); }, 10000)) << "no picture shown";
  EXPECT_TRUE(video::TVlcLibrary::Loaded());
  EXPECT_TRUE(v.p->form->Settings().showVideoWindow);
  EXPECT_EQ(v.Video().Widget()->Picture().size(), QSize(160, 120));
  EXPECT_NE(v.Control().RunningTitle.find(" >> short.avi"), std::string::npos) << v.Control().RunningTitle;
  EXPECT_TRUE(v.p->form->TimerActive(app::TForm1::kTimerState));
  ASSERT_TRUE(Pump([&] { return v.List().PlayingIndex == 1; }, 15000)) << "the end did not advance";
  ASSERT_TRUE(Pump([&] { return v.Video().Controller()->TimeMs() > 300; }, 10000)) << "the next entry does not play";
  EXPECT_NE(v.Control().RunningTitle.find(" >> small.mkv"), std::string::npos);
  ASSERT_TRUE(Pump([&] { return v.HasPicture() && v.Video().Widget()->Picture().width() == 320; }, 5000));
  // The display timer's labels: elapsed time, not a time of day.
  ASSERT_TRUE(Pump([&] { return v.Label("LabelVideoDur").find("0:00:12") != std::string::npos; }, 5000))
      << v.Label("LabelVideoDur");
  v.Control().Stop();
  EXPECT_TRUE(v.Video().Stopped());
  EXPECT_EQ(v.Label("LabelVideoPos"), "Position: 0:00:00");
  EXPECT_EQ(v.Label("LabelVideoDur"), "Duration: 0:00:00");
  EXPECT_FALSE(v.p->form->TimerActive(app::TForm1::kTimerState));
  EXPECT_TRUE(v.messages.Messages().empty());
}

TEST(AppVideo, PauseResumeSeekAndSpeed) {
  const std::string small = videotest::SmallMkv();
  ASSERT_FALSE(small.empty());
  VideoPlayer v;
  v.Load({small});
  v.Control().StartPlayback();
  ASSERT_TRUE(Pump([&] { return v.HasPicture() && v.Video().Playing(); }, 10000));
  EXPECT_FALSE(v.Video().Widget()->Text().isEmpty()) << "the on-video text at play start";
  v.Control().Pause();
  ASSERT_TRUE(Pump([&] { return !v.Video().Playing() && !v.Video().Stopped(); }, 5000));
  EXPECT_EQ(v.Control().RunningTitle.find(v.p->form->Str("StringPaused")), 0u);
  v.Control().Pause();
  ASSERT_TRUE(Pump([&] { return v.Video().Playing(); }, 5000));

  // Half of the bar is 6 s.
  const app::TProgressGeometry& g = v.Control().ProgressGeometry();
  v.Control().PressTrack((g.TrackWidth - g.SliderWidth) / 2);
  v.Control().ReleaseBar();
  ASSERT_TRUE(Pump([&] {
    const int64_t t = v.Video().Controller()->TimeMs();
    return t >= 5500 && t <= 6500;
  }, 5000)) << v.Video().Controller()->TimeMs();

  for (int i = 0; i < 5; ++i) v.Video().SpeedUp();
  EXPECT_EQ(v.Video().Widget()->Text().toStdString(), "Speed: 150%");
  EXPECT_NEAR(v.Video().Controller()->Rate(), 1.5, 0.01);
  // From 1.5, eleven steps reach 0.4; four more must stop at 0.1, never 0 or below.
  for (int i = 0; i < 15; ++i) {
    v.Video().SpeedDown();
    EXPECT_GT(v.Video().RateTenths(), 0);
    EXPECT_GT(v.Video().Controller()->Rate(), 0.0);
  }
  EXPECT_EQ(v.Video().Widget()->Text().toStdString(), "Speed: 10%");
  // Play on a playing video restores the normal rate without restarting.
  const int64_t at = v.Video().Controller()->TimeMs();
  v.Control().StartPlayback();
  EXPECT_EQ(v.Video().RateTenths(), 10);
  EXPECT_GE(v.Video().Controller()->TimeMs(), at);
  v.Control().Stop();
}

TEST(AppVideo, SnapshotSavesThePictureWithoutTheText) {
  const std::string small = videotest::SmallMkv();
  ASSERT_FALSE(small.empty());
  VideoPlayer v;
  v.Load({small});
  v.Control().StartPlayback();
  ASSERT_TRUE(Pump([&] { return v.HasPicture() && v.Video().Playing(); }, 10000));
  v.Video().Controller()->SeekMs(5200);
  ASSERT_TRUE(Pump([&] { return v.Video().Controller()->TimeMs() >= 5250; }, 5000));
  v.Control().Pause();
  ASSERT_TRUE(Pump([&] { return !v.Video().Playing(); }, 5000));
  v.Video().ShowVideoText("Overlay text");
  v.Video().TakeSnapshot();
  // Named after the paused position (a slow machine may have passed second 5 before the pause
  // took hold): "Snapshot - small.mkv - 0-00-0S.bmp", and the picture is of second S.
  const std::string prefix = v.dir.File("Snapshot - small.mkv - 0-00-0");
  const std::string name = v.Video().LastSnapshot();
  ASSERT_EQ(name.rfind(prefix, 0), 0u) << name;
  ASSERT_EQ(name.size(), prefix.size() + 5) << name;
  EXPECT_EQ(name.substr(prefix.size() + 1), ".bmp");
  const int second = name[prefix.size()] - '0';
  EXPECT_GE(second, 5);
  video::TVideoFrame saved, shown;
  ASSERT_TRUE(video::LoadBitmap24(name, saved));
  ASSERT_TRUE(v.Video().Controller()->CopyFrame(shown));
  EXPECT_EQ(saved.Width, 320);
  EXPECT_EQ(saved.Height, 240);
  EXPECT_TRUE(saved.Pixels == shown.Pixels) << "the text or something else got into the snapshot";
  EXPECT_NEAR(videotest::ChannelMean(saved, 16), 20.0 * second, 24) << "not the picture of the named second";
  EXPECT_EQ(v.Video().Widget()->Text().toStdString(), "Overlay text");
  EXPECT_FALSE(std::filesystem::exists(name + ".tmp"));
  v.Control().Stop();
}

TEST(AppVideo, AFileThatCannotPlayIsReportedAndDoesNotAdvance) {
  enginetest::ScratchDir scratch;
  const std::string bad = scratch.File("random.mkv");
  std::string bytes(100000, '\0');
  uint32_t x = 7;
  for (char& c : bytes) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
  enginetest::WriteFile(bad, bytes);
  // Beside the bad file: the playlist adds files sorted by path, so a copy in another folder
  // (the build folder may sort before the scratch folder) could come first.
  const std::string small = scratch.File("small.mkv");
  std::filesystem::copy_file(videotest::SmallMkv(), small);
  VideoPlayer v;
  v.p->form->Settings().runRepeat = true;
  v.Load({bad, small});
  ASSERT_EQ(v.List().Count(), 2);
  ASSERT_EQ(v.List().Entry(0).File, bad) << "the bad file is not first";
  v.Control().StartPlayback();
  // libVLC tries its demultiplexers one by one on random bytes: slow on a loaded machine.
  auto named = [&] {
    size_t n = 0;
    for (const auto& m : v.messages.Messages())
      if (m.text.find("random.mkv") != std::string::npos) ++n;
    return n;
  };
  ASSERT_TRUE(Pump([&] { return named() > 0; }, 60000))
      << "the failure was not reported; boxes: " << v.Shown() << "playing index " << v.List().PlayingIndex;
  for (const auto& m : v.messages.Messages()) {
    EXPECT_EQ(m.caption, "Error") << m.text;
    EXPECT_NE(m.text.find("random.mkv"), std::string::npos) << "another box: " << m.text;
  }
  EXPECT_EQ(v.List().PlayingIndex, 0) << "it advanced";
  EXPECT_TRUE(v.Video().Stopped());
  // A moment later: still one message, no retries, no advance.
  Pump([] { return false; }, 500);
  EXPECT_EQ(v.messages.Messages().size(), 1u) << v.Shown();
  EXPECT_EQ(v.List().PlayingIndex, 0) << "it advanced";
}

TEST(AppVideo, AnAudioOnlyMp4PlaysAndTheListGoesOn) {
  const std::string mp4 = enginetest::Media("audio_only.mp4", "ffmpeg -nostdin -v error -y -f lavfi -i "
                                                              "sine=f=440:d=1 -c:a aac {out}");
  const std::string shortAvi = videotest::ShortAvi();
  ASSERT_FALSE(mp4.empty());
  VideoPlayer v;
  v.Load({mp4, shortAvi});
  v.Control().StartPlayback();
  EXPECT_EQ(v.Control().PlayMode, 2);
  ASSERT_TRUE(Pump([&] { return v.List().PlayingIndex == 1; }, 15000)) << "stopped at the audio-only entry";
  ASSERT_TRUE(Pump([&] { return v.HasPicture(); }, 10000));
  EXPECT_TRUE(v.messages.Messages().empty());
  v.Control().Stop();
}

}  // namespace

namespace {

TEST(AppVideo, FileInfoOfAVideoEntryShowsTheVideoProperties) {
  const std::string small = videotest::SmallMkv();
  ASSERT_FALSE(small.empty());
  VideoPlayer v;
  v.Load({small});
  v.Control().StartPlayback();
  ASSERT_TRUE(Pump([&] { return v.HasPicture() && v.Video().Playing(); }, 10000));
  v.List().SelectedIndex = 0;
  v.p->windows->FormPL->FileInfoClick();
  ASSERT_NE(v.Video().InfoWindow(), nullptr);
  ASSERT_FALSE(v.p->modalShown.empty());
  EXPECT_EQ(v.p->modalShown.back(), v.Video().InfoWindow()->objectName().toStdString());
  EXPECT_EQ(v.Video().InfoWindow()->windowTitle().toStdString(), "Properties");
  {
    // The report fills the window above its buttons: both sit in the window's own layout.
    QWidget* w = v.Video().InfoWindow();
    auto* memo = w->findChild<QPlainTextEdit*>("Memo");
    auto* close = w->findChild<QPushButton*>("btnClose");
    ASSERT_NE(memo, nullptr);
    ASSERT_NE(close, nullptr);
    w->resize(420, 520);
    w->show();
    QApplication::processEvents();
    EXPECT_GT(memo->height(), 300);
    EXPECT_GE(close->mapTo(w, QPoint(0, 0)).y(), memo->mapTo(w, QPoint(0, memo->height())).y());
  }
  v.Video().InfoWindow()->BuildReport();
  const std::vector<std::string> lines = v.Video().InfoWindow()->Lines();
  auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  ASSERT_GE(lines.size(), 30u);
  EXPECT_EQ(lines[0].rfind("VideoWindowSize=", 0), 0u);
  EXPECT_TRUE(has("State=gsPlaying (3)"));
  EXPECT_TRUE(has("GetVideoSize_IBasicVideo2=320,240"));
  EXPECT_TRUE(has("File=" + small));
  EXPECT_TRUE(has("MediaVideoFourCC=H264"));
  EXPECT_TRUE(has("MediaDuration=00:12"));
  EXPECT_EQ(lines.back(), "-------");
  v.Control().Stop();
}

}  // namespace

namespace {

TEST(AppVideo, TheSettingsVideoPageDrivesThePicture) {
  const std::string small = videotest::SmallMkv();
  ASSERT_FALSE(small.empty());
  VideoPlayer v;
  app::TFormSettings* settings = v.p->windows->FormSettings.get();
  settings->show();
  EXPECT_FALSE(settings->PictureControls()->isEnabled()) << "no video plays yet";
  settings->hide();
  v.Load({small});
  v.Control().StartPlayback();
  ASSERT_TRUE(Pump([&] { return v.HasPicture() && v.Video().Playing(); }, 10000));
  settings->show();
  EXPECT_TRUE(settings->PictureControls()->isEnabled());
  auto* brightness = settings->findChild<QSlider*>("tbBrightness");
  ASSERT_NE(brightness, nullptr);
  EXPECT_EQ(brightness->minimum(), 0);
  EXPECT_EQ(brightness->maximum(), 200);
  EXPECT_EQ(brightness->value(), 100);
  auto green = [&] {
    const QImage img = v.Video().Widget()->Picture();
    double sum = 0;
    for (int y = 0; y < img.height(); y += 4)
      for (int x = 0; x < img.width(); x += 4) sum += qGreen(img.pixel(x, y));
    return sum / ((img.height() / 4) * (img.width() / 4));
  };
  const double before = green();
  brightness->setValue(160);
  const uint64_t serial = v.Video().Controller()->FrameSerial();
  ASSERT_TRUE(Pump([&] { return v.Video().Controller()->FrameSerial() > serial + 5; }, 5000));
  Pump([] { return false; }, 100);
  EXPECT_GT(green(), before + 10) << "brightness did not move the picture";

  // Position and size: the picture moves to the right half.
  settings->findChild<QSlider*>("tbPosX")->setValue(50);
  settings->findChild<QSlider*>("tbSizeX")->setValue(50);
  app::TVideoWidget* w = v.Video().Widget();
  EXPECT_GE(w->PictureRect().left(), w->width() / 2 - 1);
  auto* aspect = settings->findChild<QCheckBox*>("cbAspectRatio");
  ASSERT_NE(aspect, nullptr);
  aspect->setChecked(false);
  EXPECT_FALSE(w->KeepAspect());
  EXPECT_EQ(w->PictureRect().height(), w->height());
  settings->hide();
  v.Control().Stop();
}

}  // namespace

namespace {

TEST(AppDvd, MenuButtonTitleChaptersAndABookmark) {
  const std::string disc = videotest::TestDvd();
  ASSERT_FALSE(disc.empty());
  VideoPlayer v;
  v.Load({disc + "/VIDEO_TS/VIDEO_TS.IFO"});
  v.Control().StartPlayback();
  EXPECT_EQ(v.Control().PlayMode, 3);
  ASSERT_TRUE(Pump([&] { return v.HasPicture(); }, 30000)) << "no picture from the disc; " << v.Shown();
  video::TVideoController* c = v.Video().Controller();
  EXPECT_EQ(c->Title(), 0) << "the disc starts in its menu";
  EXPECT_EQ(v.Label("LabelVideoPos"), v.p->form->Str("StringPosition") + "0:00:00");
  EXPECT_TRUE(v.messages.Messages().empty()) << v.Shown();
  // Enter activates the highlighted button while a menu shows.
  QTest::keyClick(v.Video().Widget(), Qt::Key_Return);
  EXPECT_FALSE(v.Video().FullScreen());
  ASSERT_TRUE(Pump([&] { return v.Video().DvdTotalMs() == 12000; }, 20000))
      << "total " << v.Video().DvdTotalMs() << " ms, title " << c->Title() << ", length " << c->LengthMs();
  EXPECT_EQ(c->Title(), 1);
  ASSERT_TRUE(Pump([&] { return c->Chapter() == 0 && c->TimeMs() > 300; }, 10000))
      << "chapter " << c->Chapter() << " at " << c->TimeMs() << " ms";
  // Next and Previous are chapters on a DVD. The second starts near 4 s; libVLC's own
  // chapter count sometimes runs one ahead right after the jump, so the time says where it is.
  const int64_t before = c->TimeMs();
  v.Control().Next();
  ASSERT_TRUE(Pump([&] { return c->Chapter() >= 1 && c->TimeMs() >= 3500; }, 10000))
      << "chapter " << c->Chapter() << " at " << c->TimeMs() << " ms, " << before << " ms before Next";
  ASSERT_TRUE(Pump([&] { return v.Video().DvdPositionMs() >= 4000; }, 10000))
      << "the position labels do not follow: " << v.Video().DvdPositionMs() << " ms, " << v.Label("LabelVideoPos");
  EXPECT_NE(v.Label("LabelVideoPos").find("0:00:0"), std::string::npos) << v.Label("LabelVideoPos");

  // DVD speed halves and doubles; the text rounds half to even ("Speed: 0" at half speed).
  v.Video().SpeedDown();
  EXPECT_EQ(v.Video().DvdSpeed(), 0.5);
  EXPECT_EQ(v.Video().Widget()->Text().toStdString(), "Speed: 0");
  for (int i = 0; i < 10; ++i) v.Video().SpeedDown();
  EXPECT_EQ(v.Video().DvdSpeed(), 1.0 / 32) << "halving stops at 1/32";
  EXPECT_GT(c->Rate(), 0.0);
  v.Control().StartPlayback();  // Play on a playing DVD: speed 1 again
  EXPECT_EQ(v.Video().DvdSpeed(), 1.0);
  v.Video().SpeedUp();
  EXPECT_EQ(v.Video().Widget()->Text().toStdString(), "Speed: 2");
  v.Control().StartPlayback();

  v.Video().SaveBookmark();
  const int64_t saved = c->TimeMs();
  ASSERT_TRUE(std::filesystem::exists(v.dir.File("bookmark.bmk")));
  v.Video().ShowMenu(false);
  ASSERT_TRUE(Pump([&] { return c->Title() == 0; }, 10000)) << "title " << c->Title();
  v.Video().RestoreBookmark();
  ASSERT_TRUE(Pump([&] { return c->Title() == 1 && std::abs(c->TimeMs() - saved) < 1500; }, 20000))
      << "title " << c->Title() << " at " << c->TimeMs() << " ms, saved at " << saved << " ms";
  EXPECT_TRUE(v.messages.Messages().empty()) << v.Shown();

  // A garbage bookmark is reported, nothing moves.
  enginetest::WriteFile(v.dir.File("bookmark.bmk"), std::string(2000, 'g'));
  v.Video().RestoreBookmark();
  ASSERT_EQ(v.messages.Messages().size(), 1u) << v.Shown();
  EXPECT_NE(v.messages.Messages()[0].text.find("damaged"), std::string::npos);
  v.Control().Stop();
  EXPECT_TRUE(v.Video().Stopped());
}

TEST(AppDvd, AMissingOrBrokenDiscAndNoDriveAreReported) {
  enginetest::ScratchDir scratch;
  std::filesystem::create_directories(scratch.File("bad/VIDEO_TS"));
  enginetest::WriteFile(scratch.File("bad/VIDEO_TS/VIDEO_TS.IFO"), "garbage");
  VideoPlayer v;
  v.Load({scratch.File("missing/VIDEO_TS.IFO"), scratch.File("bad/VIDEO_TS/VIDEO_TS.IFO")});
  v.Control().StartPlayback();
  ASSERT_EQ(v.messages.Messages().size(), 1u);
  EXPECT_EQ(v.messages.Messages()[0].text, "The specified DVD volume to be played does not exist.");
  EXPECT_EQ(v.messages.Messages()[0].caption, "Error");
  EXPECT_TRUE(v.Video().Stopped());
  v.List().PlayingIndex = 1;
  v.Control().StartPlayback();
  ASSERT_EQ(v.messages.Messages().size(), 2u);
  EXPECT_EQ(v.messages.Messages()[1].text, "The specified DVD volume to be played does not exist.");
  struct stat st {};
  if (stat("/dev/sr0", &st) != 0 && stat("/dev/dvd", &st) != 0 && stat("/dev/cdrom", &st) != 0) {
    v.Video().PlayDvd();
    ASSERT_EQ(v.messages.Messages().size(), 3u);
    EXPECT_EQ(v.messages.Messages()[2].text, "No DVD volume is specified or isn't found.");
    EXPECT_EQ(v.Control().PlayMode, 3);
    EXPECT_NE(v.Control().RunningTitle.find("DVD"), std::string::npos);
  }
}

}  // namespace

namespace {

TEST(AppVideo, FullScreenWithTheControlBarAndBack) {
  const std::string small = videotest::SmallMkv();
  ASSERT_FALSE(small.empty());
  VideoPlayer v;
  v.Load({small});
  v.Control().StartPlayback();
  ASSERT_TRUE(Pump([&] { return v.HasPicture(); }, 10000));
  app::TVideoWidget* w = v.Video().Widget();
  QWidget* audio = v.p->form->findChild<QWidget*>("PanelAudio");
  ASSERT_NE(audio, nullptr);
  QTest::mouseDClick(w, Qt::LeftButton);
  EXPECT_TRUE(v.Video().FullScreen());
  EXPECT_TRUE(v.p->form->SpeedButton("sbFullScreen")->isChecked());
  EXPECT_TRUE(w->isWindow());
  // The pointer at the bottom of the screen brings the control bar with both panels.
  QWidget* bar = v.p->windows->FormControlBar.get();
  const QRect screen = w->screen()->geometry();
  v.Video().PointerAt(screen.bottom() - 5);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(audio->window(), bar);
  EXPECT_EQ(bar->size(), QSize(364, 194));
  EXPECT_EQ(bar->geometry().bottom(), screen.bottom());
  v.Video().PointerAt(screen.top() + 10);
  EXPECT_FALSE(bar->isVisible());
  // Space pauses; Escape leaves full screen and puts both panels back.
  QTest::keyClick(w, Qt::Key_Space);
  EXPECT_TRUE(Pump([&] { return !v.Video().Playing(); }, 5000));
  QTest::keyClick(w, Qt::Key_Escape);
  EXPECT_FALSE(v.Video().FullScreen());
  EXPECT_FALSE(w->isWindow());
  EXPECT_EQ(audio->window(), v.p->form);
  EXPECT_FALSE(v.p->form->SpeedButton("sbFullScreen")->isChecked());
  v.Control().Stop();
}

}  // namespace

namespace {

TEST(AppVideo, NonSquarePixelsAreShownInTheirShape) {
  // 480 x 360 pixels of aspect 2:1 (as an anamorphic file): shown 960 wide for 360 high.
  const std::string wide = enginetest::Media("anamorphic.mkv", "ffmpeg -nostdin -v error -y -f lavfi -i "
                                                               "testsrc=s=480x360:r=25:d=3,setsar=2/1 -c:v mpeg4 {out}");
  ASSERT_FALSE(wide.empty());
  VideoPlayer v;
  v.Load({wide});
  v.Control().StartPlayback();
  ASSERT_TRUE(Pump([&] { return v.HasPicture(); }, 10000));
  app::TVideoWidget* w = v.Video().Widget();
  w->resize(800, 600);
  const QRect shown = w->PictureRect();
  EXPECT_NEAR(static_cast<double>(shown.width()) / shown.height(), 960.0 / 360.0, 0.03)
      << shown.width() << "x" << shown.height();
  v.Control().Stop();
}

}  // namespace
