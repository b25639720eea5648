// vis_orvella.so in the program's real frames: a native child window it draws
// into through X11 (under Xvfb), or the painted surface (Qt's offscreen platform);
// a frame closed by hand; a module's own X11 window adopted into a frame.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "EngineTestUtil.h"
#include "engine/VisDataThread.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "platform/qt/QtMessageLoop.h"
#include "plugins/VisDrive2.h"

namespace app {
void InstallVisFrameHost(QWidget* owner);
platform::HWND RegisterVisEmbedTarget(QWidget* target);
void UnregisterVisEmbedTarget(platform::HWND target);
}

using namespace engine;
using namespace enginetest;

namespace {

QWidget* FrameWidget() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Embed target" && w->isVisible()) return w;
  return nullptr;
}

// Columns of the picture whose bottom rows show the bar colour of vis_orvella (30C0FF).
int ColourPixels(const QImage& img, int r, int g, int b, int fromRow = 0) {
  int n = 0;
  for (int y = fromRow; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      QRgb c = img.pixel(x, y);
      if (qRed(c) == r && qGreen(c) == g && qBlue(c) == b) ++n;
    }
  return n;
}
int BarPixels(const QImage& img) { return ColourPixels(img, 0x30, 0xC0, 0xFF, img.height() / 2); }

// What the screen shows where `w` is (X11).
QImage ScreenAt(QWidget* w) {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(w->frameGeometry()).convertToFormat(
      QImage::Format_RGB32);
}

// The program's side for one test: an application, its queue, a main window with the frame host.
struct Program {
  int argc = 1;
  char name[32] = "plugins_vis_window_tests";
  char* argv[2] = {name, nullptr};
  QApplication qapp{argc, argv};
  ProgramDir dir;
  SilentOutput silent;
  platform::MessageRecorder msgs;
  QWidget owner;
  Program() {
    platform::AttachQueueToQtLoop();
    owner.resize(300, 100);
    owner.move(40, 400);
    owner.show();
    app::InstallVisFrameHost(&owner);
  }
  ~Program() { plugins::SetVisFrameHost(nullptr); }
  std::string Tones() {
    return Media("vis_window_tones.wav",
                 "ffmpeg -nostdin -y -f lavfi -i sine=frequency=1000:sample_rate=44100:duration=20 "
                 "-f lavfi -i sine=frequency=3000:sample_rate=44100:duration=20 "
                 "-filter_complex amerge=inputs=2 -ac 2 -c:a pcm_s16le {out}");
  }
};

}  // namespace

TEST(VisFrameWindow, TheShippedModuleDrawsItsBarsInTheEmbedFrame) {
  int argc = 1;
  char name[] = "plugins_vis_window_tests";
  char* argv[] = {name, nullptr};
  QApplication qapp(argc, argv);
  platform::AttachQueueToQtLoop();
  const bool x11 = QGuiApplication::platformName() == "xcb";
  ProgramDir dir;
  SilentOutput silent;
  platform::MessageRecorder msgs;
  QWidget owner;
  owner.resize(300, 100);
  owner.move(40, 400);
  owner.show();
  app::InstallVisFrameHost(&owner);
  {
    TZOZUZivade eng;
    std::string wav = Media("vis_window_tones.wav",
                            "ffmpeg -nostdin -y -f lavfi -i sine=frequency=1000:sample_rate=44100:duration=20 "
                            "-f lavfi -i sine=frequency=3000:sample_rate=44100:duration=20 "
                            "-filter_complex amerge=inputs=2 -ac 2 -c:a pcm_s16le {out}");
    ASSERT_TRUE(eng.Open(wav));
    eng.Play();
    ASSERT_TRUE(eng.RunVisPlugin(std::string(ORVELLA_STAGE_DIR) + "/plugins/vis_orvella.so", 0));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisActive(); }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisData()->FramesProduced() > 60; }, 10000));
    PumpUntil([] { return false; }, 300);
    QWidget* frame = FrameWidget();
    ASSERT_NE(frame, nullptr);
    QImage shot;
    // Under X11 the frame offers a native window, which the module takes over the surface.
    EXPECT_EQ(plugins::VisFrameHost()->NativeWindow(eng.VisWindowInfo().VisWindow) != 0, x11);
    if (x11) {
      // What is on the screen: the module drew it through its own X connection.
      shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(frame->geometry());
      const char* artifacts = std::getenv("ORVELLA_X_ARTIFACTS");
      if (artifacts) {
        QDir().mkpath(artifacts);
        QGuiApplication::primaryScreen()->grabWindow(0).save(QString(artifacts) + "/vis_orvella_embed_frame.png");
      }
    } else {
      shot = frame->grab().toImage();  // the window painted the module's surface
    }
    shot = shot.convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(BarPixels(shot), 100) << (x11 ? "X11" : "surface");
    eng.QuitVisPlugin();
    EXPECT_TRUE(PumpUntil([&] { return !plugins::DriveThreadRunning(); }, 10000));
    EXPECT_EQ(FrameWidget(), nullptr);
  }
  plugins::SetVisFrameHost(nullptr);
  EXPECT_TRUE(msgs.Messages().empty());
}

TEST(VisFrameWindow, ClosingTheFrameByHandStopsTheModule) {
  Program p;
  {
    TZOZUZivade eng;
    ASSERT_TRUE(eng.Open(p.Tones()));
    eng.Play();
    ASSERT_TRUE(eng.RunVisPlugin(std::string(ORVELLA_STAGE_DIR) + "/plugins/vis_orvella.so", 0));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisActive() && FrameWidget(); }, 10000));
    FrameWidget()->close();
    EXPECT_TRUE(PumpUntil([&] { return !plugins::DriveThreadRunning() && !eng.VisStopping(); }, 10000));
    EXPECT_FALSE(eng.VisActive());
    EXPECT_EQ(eng.VisWindowInfo().ThreadId, 0u);
    EXPECT_EQ(FrameWidget(), nullptr);
    // The next start gets a new frame.
    ASSERT_TRUE(eng.RunVisPlugin(std::string(ORVELLA_STAGE_DIR) + "/plugins/vis_orvella.so", 0));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisActive() && FrameWidget(); }, 10000));
    eng.QuitVisPlugin();
    EXPECT_TRUE(PumpUntil([&] { return !plugins::DriveThreadRunning(); }, 10000));
  }
  EXPECT_TRUE(p.msgs.Messages().empty());
}

TEST(VisFrameWindow, TheFrameMovesIntoAWidgetOfTheProgramAndBack) {
  Program p;
  QWidget target;
  target.setWindowTitle("Target");
  target.resize(320, 160);
  target.move(500, 300);
  target.show();
  platform::HWND handle = app::RegisterVisEmbedTarget(&target);
  ASSERT_NE(handle, nullptr);
  {
    TZOZUZivade eng;
    ASSERT_TRUE(eng.Open(p.Tones()));
    eng.Play();
    eng.SetVisEmbedTarget(handle);
    ASSERT_TRUE(eng.RunVisPlugin(std::string(ORVELLA_STAGE_DIR) + "/plugins/vis_orvella.so", 0));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisActive(); }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisData()->FramesProduced() > 40; }, 10000));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(eng.VisWindowInfo().WindowState, plugins::vwsEmbedTarget);
    EXPECT_EQ(FrameWidget(), nullptr);  // its own window stays hidden
    QImage inTarget = QGuiApplication::platformName() == "xcb" ? ScreenAt(&target)
                                                               : target.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(BarPixels(inTarget), 100);
    // Back to a frame of its own, which now shows the bars.
    eng.ReattachVis(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return FrameWidget() != nullptr; }, 5000));
    EXPECT_EQ(eng.VisWindowInfo().WindowState, plugins::vwsGenFrame);
    PumpUntil([] { return false; }, 300);
    QWidget* frame = FrameWidget();
    QImage own = QGuiApplication::platformName() == "xcb" ? ScreenAt(frame)
                                                          : frame->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(BarPixels(own), 100);
    eng.QuitVisPlugin();
    EXPECT_TRUE(PumpUntil([&] { return !plugins::DriveThreadRunning(); }, 10000));
    EXPECT_EQ(FrameWidget(), nullptr);
    EXPECT_TRUE(target.findChildren<QWidget*>().isEmpty());  // nothing of the module's left in it
  }
  app::UnregisterVisEmbedTarget(handle);
  EXPECT_TRUE(p.msgs.Messages().empty());
}

TEST(VisFrameWindow, AModulesOwnX11WindowIsAdoptedIntoAFrame) {
  Program p;
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no native windows on " << qPrintable(QGuiApplication::platformName());
  const std::string lib = std::string(ORV_TEST_PLUGINS) + "/vis_ownwindow.so";
  {
    TZOZUZivade eng;
    ASSERT_TRUE(eng.Open(p.Tones()));
    eng.Play();
    ASSERT_TRUE(eng.RunVisPlugin(lib, 0));
    ASSERT_TRUE(PumpUntil([&] { return eng.VisActive() && FrameWidget(); }, 10000));
    EXPECT_EQ(plugins::VisWindowState(), plugins::vwsOwnWindow);
    EXPECT_EQ(eng.VisWindowInfo().WindowState, plugins::vwsOwnWindow);
    ASSERT_TRUE(PumpUntil([&] { return eng.VisData()->FramesProduced() > 20; }, 10000));
    PumpUntil([] { return false; }, 300);
    QWidget* frame = FrameWidget();
    ASSERT_NE(frame, nullptr);
    // The module's own drawing (made at 0,0) shows inside our frame above the main window.
    EXPECT_GT(frame->y(), 100);
    EXPECT_GT(ColourPixels(ScreenAt(frame), 0x20, 0xE0, 0x40), 1000);
    if (const char* artifacts = std::getenv("ORVELLA_X_ARTIFACTS")) {
      QDir().mkpath(artifacts);
      QGuiApplication::primaryScreen()->grabWindow(0).save(QString(artifacts) + "/vis_own_window_adopted.png");
    }
    // Hidden with the main window and back, like any frame.
    eng.HideVisWindow();
    EXPECT_TRUE(PumpUntil([&] { return !frame->isVisible(); }, 5000));
    eng.ShowVisWindow();
    EXPECT_TRUE(PumpUntil([&] { return frame->isVisible(); }, 5000));
    eng.QuitVisPlugin();
    EXPECT_TRUE(PumpUntil([&] { return !plugins::DriveThreadRunning(); }, 10000));
    EXPECT_EQ(FrameWidget(), nullptr);
  }
  EXPECT_TRUE(p.msgs.Messages().empty());
}
