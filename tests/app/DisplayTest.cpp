// Level display, title strip, skin loading, image buttons, edge snapping and
// the main window's messages.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QComboBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTest>
#include <cmath>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/LevelDisplay.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/SkinWidgets.h"
#include "app/TitleStrip.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#ifdef ORVELLA_WITH_PLUGIN_HOST
#include "plugins/PluginCtrl.h"
#endif

using apptest::Player;
using apptest::ProgramDir;

namespace {
std::array<uint16_t, 25> Levels(uint16_t v) {
  std::array<uint16_t, 25> a;
  a.fill(v);
  return a;
}
QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }
}  // namespace

TEST(AppLevelDisplay, GradientRowsAndBackground) {
  apptest::EnsureApplication();
  app::TLevelDisplay d;
  EXPECT_EQ(At(d.Gradient(), 0, 0), qRgb(255, 24, 0) & 0xFFFFFF);
  for (int row = 10; row <= 16; ++row) EXPECT_EQ(At(d.Gradient(), 1, row), qRgb(255, 255, 0) & 0xFFFFFF) << row;
  EXPECT_EQ(At(d.Gradient(), 2, 31), qRgb(135, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(d.Background().size(), QSize(102, 33));
  EXPECT_EQ(At(d.Background(), 0, 0), qRgb(0, 0, 255) & 0xFFFFFF);   // dotted left edge
  EXPECT_EQ(At(d.Background(), 4, 32), qRgb(0, 0, 255) & 0xFFFFFF);   // dotted bottom row
  EXPECT_EQ(At(d.Background(), 50, 10), 0u);
}

TEST(AppLevelDisplay, ALevelOf40IsDrawnAs32) {
  apptest::EnsureApplication();
  app::TLevelDisplay a, b;
  a.DrawLevelDisplay(Levels(40));
  b.DrawLevelDisplay(Levels(32));
  EXPECT_EQ(a.Image(), b.Image());
  const int x = app::TLevelDisplay::BandX(0);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(At(a.Image(), x, 0), qRgb(255, 24, 0) & 0xFFFFFF);       // full bar reaches the top row
  EXPECT_EQ(At(a.Image(), x + 2, 31), qRgb(135, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(At(a.Image(), x + 3, 10), 0u);                             // gap between bands
  EXPECT_NEAR(a.Peak(0), 32.01, 1e-9);
  // A bar of 5 shows the gradient's lowest five rows only.
  app::TLevelDisplay c;
  c.DrawLevelDisplay(Levels(5));
  EXPECT_EQ(At(c.Image(), x, 27), At(c.Gradient(), 0, 27));
  EXPECT_EQ(At(c.Image(), x, 26), 0u);
}

TEST(AppLevelDisplay, PeakHoldsThenFallsEverFaster) {
  apptest::EnsureApplication();
  app::TLevelDisplay d;
  auto one = [](uint16_t v) {
    std::array<uint16_t, 25> a{};
    a[0] = v;
    return a;
  };
  d.DrawLevelDisplay(one(20));
  EXPECT_NEAR(d.Peak(0), 20.01, 1e-9);
  const int x = app::TLevelDisplay::BandX(0);
  const QRgb silver = qRgb(192, 192, 192) & 0xFFFFFF;
  // Nine silent events keep the peak at 20, drawn in silver at row 12.
  for (int i = 1; i <= 9; ++i) {
    d.DrawLevelDisplay(one(0));
    EXPECT_NEAR(d.Peak(0), 20.01, 1e-9) << i;
    EXPECT_EQ(At(d.Image(), x, 12), silver) << i;
    EXPECT_EQ(At(d.Image(), x + 2, 12), silver) << i;
  }
  // Then it falls by 0.3, 0.6, 0.9, ... per event while it stands above the bar.
  double expected = 20.01;
  int step = 1;
  int falls = 0;
  while (static_cast<int>(expected) > 0 && falls < 100) {
    const int shown = static_cast<int>(d.Peak(0));
    d.DrawLevelDisplay(one(0));
    ++falls;
    EXPECT_EQ(At(d.Image(), x, 32 - shown), silver) << falls;
    expected -= step * 0.3;
    ++step;
    if (expected < 0) expected = 0;
    ASSERT_NEAR(d.Peak(0), expected, 1e-9) << falls;
  }
  EXPECT_EQ(falls, 11);  // 0.3 * (1 + ... + 11) = 19.8 leaves 0.21
  // Once it is down to the bar it rests just above it and no mark is drawn.
  d.DrawLevelDisplay(one(0));
  EXPECT_NEAR(d.Peak(0), 0.01, 1e-9);
  EXPECT_EQ(d.Hold(0), 0);
  for (int y = 0; y < 32; ++y) EXPECT_NE(At(d.Image(), x, y), silver) << y;
  // A new level resets the hold.
  d.DrawLevelDisplay(one(3));
  EXPECT_NEAR(d.Peak(0), 3.01, 1e-9);
  EXPECT_EQ(d.Hold(0), 0);
}

TEST(AppTitleStrip, ShortTitleRepeatsAfterAGapOfHalfTheStrip) {
  apptest::EnsureApplication();
  app::TTitleStrip strip(331, 16, 96);
  strip.SetTitle("Hi");
  const int h = 331 / 2;
  QFontMetrics fm(strip.Font());
  ASSERT_LT(fm.horizontalAdvance("Hi"), h);
  strip.ScrollTitle(2);
  EXPECT_EQ(strip.LastTextWidth(), h);  // raised to half the strip
  bool repeated = false;
  for (int tick = 0; tick < 400; ++tick) {
    const int offset = strip.Offset();
    strip.ScrollTitle(2);
    const auto& xs = strip.LastDrawX();
    ASSERT_GE(xs.size(), 1u);
    EXPECT_EQ(xs[0], -offset);
    if (xs.size() == 2) {
      repeated = true;
      const int endOfFirst = xs[0] + fm.horizontalAdvance("Hi");
      EXPECT_GE(xs[1] - endOfFirst, h);
    }
    EXPECT_LT(strip.Offset(), h + strip.LastTextWidth());
  }
  EXPECT_TRUE(repeated);
}

TEST(AppTitleStrip, LongTitleRepeatsWithHalfStripGapAndWraps) {
  apptest::EnsureApplication();
  app::TTitleStrip strip(331, 16, 120);
  EXPECT_EQ(strip.Font().pointSize(), 8);
  const QString title = "Playing >> A rather long artist name - and an even longer title of the song";
  strip.SetTitle(title);
  QFontMetrics fm(strip.Font());
  const int tw = fm.horizontalAdvance(title);
  ASSERT_GT(tw, 331);
  const int h = 331 / 2;
  int wraps = 0, last = 0;
  for (int tick = 0; tick < 600; ++tick) {
    strip.ScrollTitle(2);
    const auto& xs = strip.LastDrawX();
    if (xs.size() == 2) {
      EXPECT_EQ(xs[1] - (xs[0] + tw), h);
    }
    if (strip.Offset() < last) ++wraps;
    last = strip.Offset();
  }
  EXPECT_GE(wraps, 1);
  // The strip shows silver text on its background.
  EXPECT_EQ(At(strip.Image(), 330, 0), qRgb(43, 43, 43) & 0xFFFFFF);
}

namespace {
// The frame as drawn from scratch: background, the gradient's lowest rows per band, the peak marks.
QImage ReferenceFrame(const app::TLevelDisplay& d, const std::array<int, 25>& bars, const std::array<int, 25>& marks) {
  QImage img = d.Background().copy();
  QPainter p(&img);
  for (int i = 0; i < 25; ++i) {
    const int x = app::TLevelDisplay::BandX(i);
    if (bars[i] > 0) p.drawImage(QPoint(x, 32 - bars[i]), d.Gradient(), QRect(0, 32 - bars[i], 3, bars[i]));
    if (marks[i] >= 0) {
      p.setPen(QColor(192, 192, 192));
      p.drawLine(x, 32 - marks[i], x + 2, 32 - marks[i]);
    }
  }
  return img;
}
}  // namespace

TEST(AppLevelDisplay, RedrawingOnlyTheBandsThatMovedGivesTheWholeFrame) {
  apptest::EnsureApplication();
  app::TLevelDisplay d;
  uint32_t seed = 12345;
  auto rnd = [&] { return (seed = seed * 1664525u + 1013904223u) >> 16; };
  for (int frame = 0; frame < 300; ++frame) {
    std::array<uint16_t, 25> levels{};
    std::array<int, 25> bars{}, marks{};
    for (int i = 0; i < 25; ++i) {
      // Mostly falling music, some silent stretches, some out-of-range values.
      levels[i] = frame % 50 < 10 ? 0 : uint16_t(rnd() % 40);
      bars[i] = std::min<int>(levels[i], 32);
      const int t = static_cast<int>(d.Peak(i));
      marks[i] = t > bars[i] ? t : -1;
    }
    const QImage before = d.Image();
    const bool changed = d.DrawLevelDisplay(levels);
    ASSERT_EQ(d.Image(), ReferenceFrame(d, bars, marks)) << frame;
    EXPECT_EQ(changed, d.Image() != before) << frame;
  }
}

TEST(AppLevelDisplay, AFrameThatShowsNothingNewAsksForNoRepaint) {
  apptest::EnsureApplication();
  app::TLevelDisplay d;
  EXPECT_FALSE(d.DrawLevelDisplay(Levels(0)));  // silence on the empty display
  EXPECT_TRUE(d.DrawLevelDisplay(Levels(12)));
  // The same level again: the bars stand and the peaks sit on them.
  EXPECT_FALSE(d.DrawLevelDisplay(Levels(12)));
  // After a drop the held peaks show, and fall later, each step a change of the frame.
  EXPECT_TRUE(d.DrawLevelDisplay(Levels(2)));
  int quiet = 0;
  for (int i = 0; i < 40; ++i) quiet += d.DrawLevelDisplay(Levels(2)) ? 0 : 1;
  EXPECT_GT(quiet, 0);  // the hold frames
  EXPECT_FALSE(d.DrawLevelDisplay(Levels(2)));  // peaks down on the bars: nothing moves any more
  d.DrawEmpty();
  EXPECT_TRUE(d.DrawLevelDisplay(Levels(2)));  // the emptied display shows the bars again
}

TEST(AppTitleStrip, EachFrameHasThePixelsOfTheTitleDrawnAtItsPlaces) {
  apptest::EnsureApplication();
  for (int dpi : {96, 120}) {
    app::TTitleStrip strip(331, 16, dpi);
    const QString title = dpi == 96 ? QString("Hi there") : QString("Playing >> A rather long artist name - and an even longer title, with Ünïcödé");
    strip.SetTitle(title);
    for (int tick = 0; tick < 500; ++tick) {
      if (tick == 250) strip.SetTitle(title + " (live)");  // a new title is drawn anew
      strip.ScrollTitle(2);
      QImage ref(331, 16, QImage::Format_RGB32);
      ref.fill(QColor(43, 43, 43));
      QPainter p(&ref);
      p.setFont(strip.Font());
      p.setPen(QColor(192, 192, 192));
      QFontMetrics fm(strip.Font(), &ref);
      for (int x : strip.LastDrawX()) p.drawText(x, 1 + fm.ascent(), strip.Title());
      p.end();
      ASSERT_EQ(strip.Image(), ref) << dpi << " tick " << tick;
    }
  }
}

TEST(AppSkin, DefaultSkinLoadsEveryImageAndButtonStrip) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  for (const char* img : {"ImageBGTop", "ImageBGLeft", "ImageBGRight", "ImageBGBottom", "ImageBGControls",
                          "ImageBGControlsVideo", "ImageProgress", "ImageProgressMax", "ImageSlider"})
    EXPECT_FALSE(p.form->SkinImage(img)->Image().isNull()) << img;
  for (const char* b : {"ImageClose", "ImageMenu", "ImageMinimize", "ImageNext", "ImageOpen", "ImagePre",
                        "ImagePause", "ImagePlay", "ImageSettings", "ImageSpeedDown", "ImageSpeedUp", "ImageStop"}) {
    app::TImageButton* btn = p.form->Button(b);
    ASSERT_FALSE(btn->Strip().isNull()) << b;
    EXPECT_EQ(btn->Strip().width(), 3 * btn->width()) << b;
    EXPECT_EQ(btn->Strip().height(), btn->height()) << b;
  }
  EXPECT_EQ(p.form->Button("ImagePlay")->size(), QSize(24, 24));
  EXPECT_EQ(p.form->Button("ImageClose")->size(), QSize(15, 15));
}

TEST(AppSkin, ButtonFramesFollowThePointer) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TImageButton* play = p.form->Button("ImagePlay");
  app::TImageButton* stop = p.form->Button("ImageStop");
  const int w = play->width();
  play->PaintButtonState(1);
  EXPECT_EQ(play->Picture(), play->Strip().copy(w, 0, w, w));
  stop->PaintButtonState(1);
  // Moving over a control-area button resets the others, then lights it.
  QTest::mouseMove(play, QPoint(5, 5));
  EXPECT_EQ(play->Frame(), 1);
  EXPECT_EQ(stop->Frame(), 0);
  QTest::mousePress(play, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(p.form->ButtonHeld());
  EXPECT_EQ(play->Frame(), 2);
  EXPECT_EQ(play->Picture(), play->Strip().copy(2 * w, 0, w, w));
  QTest::mouseRelease(play, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(p.form->ButtonHeld());
  EXPECT_EQ(play->Frame(), 0);
  // The settings button opens the settings window (modally) on release.
  app::TImageButton* settings = p.form->Button("ImageSettings");
  QTest::mousePress(settings, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseRelease(settings, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(settings->Frame(), 0);
  EXPECT_EQ(p.modalShown, std::vector<std::string>{"FormSettings"});
}

TEST(AppSkin, WithoutTopBarBitmapTheTopBarStillDrags) {
  apptest::ProgramOptions o;
  o.withSkin = false;
  ProgramDir dir(o);
  // A skin of its own without "bg_top.bmp"; buttons still come from the default folder (absent here).
  dir.Write("skins/bare/bg_left.bmp", apptest::ReadFile(std::string(ORVELLA_STAGE_DIR) + "/skins/default/bg_left.bmp"));
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nSkins=bare\r\nLeft=300\r\nTop=200\r\n");
  platform::MessageRecorder rec;
  Player p;
  EXPECT_TRUE(p.form->SkinImage("ImageBGTop")->Image().isNull());
  EXPECT_FALSE(p.form->SkinImage("ImageBGLeft")->Image().isNull());
  EXPECT_TRUE(p.form->Button("ImagePlay")->Strip().isNull());
  app::TSkinImage* top = p.form->SkinImage("ImageBGTop");
  const QPoint start = p.form->pos();
  QTest::mousePress(top, Qt::LeftButton, {}, QPoint(100, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(140, 35), top->mapToGlobal(QPointF(140, 35)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(top, &move);
  QTest::mouseRelease(top, Qt::LeftButton, {}, QPoint(140, 35));
  EXPECT_EQ(p.form->pos(), start + QPoint(40, 25));
}

TEST(AppSkin, WindowShapeIsRoundedAndLayoutFollowsTheSize) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  // Audio mode: the video panel is folded away.
  EXPECT_EQ(p.form->height(), 1 + 31 + 162 + 8);
  const QRegion mask = p.form->mask();
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));
  EXPECT_TRUE(mask.contains(QPoint(6, 6)));
  EXPECT_TRUE(mask.contains(QPoint(190, 0)));
  EXPECT_FALSE(mask.contains(QPoint(p.form->width() - 1, p.form->height() - 1)));
  EXPECT_EQ(p.form->Button("ImageClose")->x(), p.form->width() - 15 - 6);
  EXPECT_EQ(p.form->Button("ImageMinimize")->x(), p.form->width() - 15 - 6 - 15);
  p.form->ShowVideoPanel(true);
  EXPECT_EQ(p.form->height(), 300 + 31 + 162 + 8);
  EXPECT_TRUE(p.form->Action("PMVideoShow")->isChecked());
  p.form->resize(600, p.form->height());
  EXPECT_EQ(p.form->Button("ImageClose")->x(), 600 - 21);
  EXPECT_FALSE(p.form->mask().contains(QPoint(599, 0)));
}

TEST(AppSkin, EdgesSnapToTheWorkArea) {
  const QRect area(0, 0, 1920, 1040);
  EXPECT_EQ(app::SnapToWorkArea(QRect(7, 300, 380, 200), area).topLeft(), QPoint(0, 300));
  EXPECT_EQ(app::SnapToWorkArea(QRect(10, 300, 380, 200), area).topLeft(), QPoint(10, 300));
  EXPECT_EQ(app::SnapToWorkArea(QRect(500, -9, 380, 200), area).topLeft(), QPoint(500, 0));
  EXPECT_EQ(app::SnapToWorkArea(QRect(1535, 300, 380, 200), area).topLeft(), QPoint(1540, 300));
  EXPECT_EQ(app::SnapToWorkArea(QRect(500, 845, 380, 200), area).topLeft(), QPoint(500, 840));
  EXPECT_EQ(app::SnapToWorkArea(QRect(500, 500, 380, 200), area).topLeft(), QPoint(500, 500));
}

TEST(AppMainWindow, EngineFeedsTheLevelDisplay) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  engine::TZOZUZivade* e = p.form->Engine();
  ASSERT_TRUE(e->Ready());
  ASSERT_TRUE(static_cast<bool>(e->OnNewFFTData));
  engine::TBandOut bands{};
  bands[4] = 40;
  e->OnNewFFTData(e, bands);
  const QImage shown = p.form->SkinImage("ImagePeaks")->Image();
  EXPECT_EQ(At(shown, app::TLevelDisplay::BandX(4), 0), qRgb(255, 24, 0) & 0xFFFFFF);
  EXPECT_EQ(At(shown, app::TLevelDisplay::BandX(3), 0), 0u);
}

TEST(AppMainWindow, TheSpectrumIsOnlyComputedWhileTheMainWindowIsOnScreen) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  engine::TZOZUZivade* e = p.form->Engine();
  ASSERT_TRUE(e->Ready());
  p.form->show();
  EXPECT_TRUE(e->SpectrumWanted());
  p.form->hide();
  EXPECT_FALSE(e->SpectrumWanted());
  p.form->show();
  EXPECT_TRUE(e->SpectrumWanted());
  p.form->setWindowState(p.form->windowState() | Qt::WindowMinimized);
  EXPECT_FALSE(e->SpectrumWanted());
  p.form->setWindowState(p.form->windowState() & ~Qt::WindowMinimized);
  p.form->show();
  EXPECT_TRUE(e->SpectrumWanted());
}

TEST(AppMainWindow, MessagesThroughTheMessageLayer) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  platform::HWND h = p.form->Handle();
  ASSERT_TRUE(platform::IsWindow(h));
  EXPECT_EQ(platform::SendMessage(h, platform::WM_USER, 0, 7), 0);
#ifdef ORVELLA_WITH_PLUGIN_HOST
  // The Wasabi service query is answered with the plug-in host's service object.
  static int service = 0;
  plugins::SetServiceObject(&service);
  EXPECT_EQ(platform::SendMessage(h, platform::WM_USER, 0, app::kWasabiServiceQuery),
            reinterpret_cast<platform::LRESULT>(&service));
  plugins::SetServiceObject(nullptr);
#endif
  // The engine's hook sees the move and size messages by their rules.
  std::vector<platform::UINT> seen;
  p.form->EngineWindowHook = [&seen](platform::UINT m, platform::WPARAM, platform::LPARAM, bool* handled) {
    seen.push_back(m);
    *handled = m == app::WM_MOVING;
    return true;
  };
  platform::SendMessage(h, app::WM_ENTERSIZEMOVE, 0, 0);
  platform::SendMessage(h, app::WM_MOVING, 0, 0);
  platform::SendMessage(h, app::WM_SIZING, 0, 0);
  EXPECT_EQ(seen, (std::vector<platform::UINT>{app::WM_ENTERSIZEMOVE, app::WM_MOVING, app::WM_SIZING}));
  // A session-end query is agreed to; afterwards everything gets default handling.
  EXPECT_EQ(platform::SendMessage(h, app::WM_QUERYENDSESSION, 0, 0), 1);
  EXPECT_TRUE(p.form->SessionEnding());
  EXPECT_FALSE(p.form->TimerActive(app::TForm1::kTimerState));
  seen.clear();
  platform::SendMessage(h, app::WM_MOVING, 0, 0);
  EXPECT_TRUE(seen.empty());
}

TEST(AppMainWindow, TitleStripScrollsOnTheTimerOncePlaying) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  p.form->SetRunningTitle("Playing >> test");
  EXPECT_FALSE(p.form->TimerActive(app::TForm1::kTimerRunString));
  p.form->ModeChanged(engine::plmStopped, engine::plmPlaying);
  EXPECT_TRUE(p.form->TimerActive(app::TForm1::kTimerRunString));
  for (int i = 0; i < 200 && p.form->TitleStrip().Offset() < 6; ++i) QTest::qWait(20);
  EXPECT_GE(p.form->TitleStrip().Offset(), 6);
}

TEST(AppSkin, NoFrameResizingWhileAudioPlays) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  ASSERT_EQ(p.form->PlayMode(), 0);
  const QSize before = p.form->size();
  app::TSkinImage* bottom = p.form->SkinImage("ImageBGBottom");
  QTest::mouseMove(bottom, QPoint(100, 6));
  EXPECT_EQ(bottom->cursor().shape(), Qt::ArrowCursor);
  QTest::mousePress(bottom, Qt::LeftButton, {}, QPoint(100, 6));
  QMouseEvent move(QEvent::MouseMove, QPointF(100, 80), bottom->mapToGlobal(QPointF(100, 80)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bottom, &move);
  QTest::mouseRelease(bottom, Qt::LeftButton, {}, QPoint(100, 80));
  EXPECT_EQ(p.form->size(), before);
}

// Every bitmap the main window, the equaliser and the playlist window read is
// shipped as a 24-bit BMP of the size its place needs.
TEST(AppSkin, ShippedDefaultSkinFiles) {
  const std::string folder = std::string(ORVELLA_STAGE_DIR) + "/skins/default/";
  const std::vector<std::tuple<const char*, int, int>> files = {
      {"bg_left.bmp", 8, -1}, {"bg_right.bmp", 8, -1}, {"bg_top.bmp", -1, 31}, {"bg_bottom.bmp", -1, 8},
      {"bg_controls.bmp", 364, 162}, {"bg_controls_video.bmp", 364, 32}, {"progress.bmp", -1, 8},
      {"progress_max.bmp", 345, 8}, {"progress_slider.bmp", 24, 10}, {"button_close.bmp", 45, 15},
      {"button_menu.bmp", 45, 15}, {"button_minimize.bmp", 45, 15}, {"button_settings.bmp", 45, 15},
      {"button_next.bmp", 72, 24}, {"button_open.bmp", 72, 24}, {"button_previous.bmp", 72, 24},
      {"button_pause.bmp", 72, 24}, {"button_play.bmp", 72, 24}, {"button_speed_down.bmp", 72, 24},
      {"button_speed_up.bmp", 72, 24}, {"button_stop.bmp", 72, 24}, {"bg_eq.bmp", 331, 252},
      {"bg_playlist_left.bmp", 9, -1}, {"bg_playlist_right.bmp", 9, -1}, {"bg_playlist_top.bmp", -1, 31},
      {"bg_playlist_bottom.bmp", -1, 43}, {"button_playlist_add.bmp", 72, 24},
      {"button_playlist_remove.bmp", 72, 24}, {"button_playlist_sort.bmp", 72, 24},
      {"button_playlist_manage.bmp", 72, 24}};
  for (auto [name, w, h] : files) {
    const std::string data = apptest::ReadFile(folder + name);
    ASSERT_GE(data.size(), 54u) << name;
    EXPECT_EQ(data.substr(0, 2), "BM") << name;
    EXPECT_EQ(static_cast<unsigned char>(data[28]), 24) << name;  // bits per pixel
    auto le32 = [&data](size_t at) {
      return static_cast<int>(static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8 |
                              static_cast<unsigned char>(data[at + 2]) << 16 |
                              static_cast<unsigned char>(data[at + 3]) << 24);
    };
    if (w > 0) {
      EXPECT_EQ(le32(18), w) << name;
    }
    if (h > 0) {
      EXPECT_EQ(std::abs(le32(22)), h) << name;
    }
  }
  // The three frames of a button differ: normal, under the pointer, pressed.
  QImage play(QString::fromStdString(folder + "button_play.bmp"));
  EXPECT_NE(play.copy(0, 0, 24, 24), play.copy(24, 0, 24, 24));
  EXPECT_NE(play.copy(24, 0, 24, 24), play.copy(48, 0, 24, 24));
}

TEST(AppSkin, FrameResizingWhileVideoPlays) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowVideoWindow=1\r\n");
  platform::MessageRecorder rec;
  Player p;
  p.form->SetPlayMode(2);
  ASSERT_EQ(p.form->height(), 501);
  auto drag = [](QWidget* w, QPoint from, QPoint to) {
    QTest::mouseMove(w, from);
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), w->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, {}, to);
  };
  // Bottom bar, lowest 8 pixels: the new height is height - bar + y.
  app::TSkinImage* bottom = p.form->SkinImage("ImageBGBottom");
  QTest::mouseMove(bottom, QPoint(100, 4));
  EXPECT_EQ(bottom->cursor().shape(), Qt::SizeVerCursor);
  drag(bottom, QPoint(100, 4), QPoint(100, 60));
  EXPECT_EQ(p.form->height(), 501 - 8 + 60);
  EXPECT_EQ(p.form->width(), 380);
  // Heights of 200 and below are not applied.
  drag(p.form->SkinImage("ImageBGBottom"), QPoint(100, 4), QPoint(100, -400));
  EXPECT_EQ(p.form->height(), 553);
  // Right bar: the new width is width + x, inside 380 < width < 1280.
  app::TSkinImage* right = p.form->SkinImage("ImageBGRight");
  QTest::mouseMove(right, QPoint(4, 100));
  EXPECT_EQ(right->cursor().shape(), Qt::SizeHorCursor);
  drag(right, QPoint(4, 100), QPoint(120, 100));
  EXPECT_EQ(p.form->width(), 500);
  drag(p.form->SkinImage("ImageBGRight"), QPoint(4, 100), QPoint(900, 100));
  EXPECT_EQ(p.form->width(), 500);
  // The layout follows: the close button stays at the right edge.
  EXPECT_EQ(p.form->Button("ImageClose")->x(), 500 - 21);
  EXPECT_FALSE(p.form->ButtonHeld());
}

TEST(AppStatusWindow, LinesAndTheShownTextStayTogether) {
  apptest::EnsureApplication();
  app::TFormStatus status;
  status.AppendToLast("first");  // no line yet: it starts one
  status.AddLine("Opened: song.mp3");
  status.AppendToLast(" (44100 Hz)");
  EXPECT_EQ(status.Lines(), (std::vector<std::string>{"first", "Opened: song.mp3 (44100 Hz)"}));
  EXPECT_EQ(status.Memo()->toPlainText().toStdString(), "first\nOpened: song.mp3 (44100 Hz)");
  status.Clear();
  EXPECT_TRUE(status.Lines().empty());
  EXPECT_TRUE(status.Memo()->toPlainText().isEmpty());
}

TEST(AppAddressPrompt, OpenConfirmsAndMakesAStreamAddress) {
  using app::TFormUrl;
  EXPECT_EQ(TFormUrl::MakeAddress("http://radio.example:8000/live"), "http://radio.example:8000/live");
  EXPECT_EQ(TFormUrl::MakeAddress("mms://media.example/a"), "mms://media.example/a");
  EXPECT_EQ(TFormUrl::MakeAddress("//host/stream"), "http://host/stream");
  EXPECT_EQ(TFormUrl::MakeAddress("/stream"), "http://stream");
  EXPECT_EQ(TFormUrl::MakeAddress("radio.example/x.mp3"), "http://radio.example/x.mp3");
  // Any text naming its scheme is an address as typed (the engine says what it cannot open).
  EXPECT_EQ(TFormUrl::MakeAddress("https://secure.example/a.ogg"), "https://secure.example/a.ogg");
  EXPECT_EQ(TFormUrl::MakeAddress("HTTP://upper.example"), "HTTP://upper.example");
  EXPECT_EQ(TFormUrl::MakeAddress("rtsp+tcp://cam.example/x"), "rtsp+tcp://cam.example/x");
  EXPECT_EQ(TFormUrl::MakeAddress("1x://host"), "http://1x://host");
  EXPECT_EQ(TFormUrl::MakeAddress("://host"), "http://://host");
  EXPECT_EQ(TFormUrl::MakeAddress("radio example/a://b"), "http://radio example/a://b");

  apptest::EnsureApplication();
  TFormUrl prompt;
  EXPECT_EQ(prompt.ComboBox1()->width(), 355);
  prompt.show();
  prompt.ComboBox1()->setEditText("  ");
  prompt.findChild<QPushButton*>("ButtonOpen")->click();  // empty text: closed, not confirmed
  EXPECT_FALSE(prompt.Confirmed());
  EXPECT_FALSE(prompt.isVisible());
  prompt.show();
  prompt.ComboBox1()->setEditText("radio.example:8000");
  prompt.findChild<QPushButton*>("ButtonOpen")->click();
  EXPECT_TRUE(prompt.Confirmed());
  EXPECT_EQ(prompt.Address(), "http://radio.example:8000");
  prompt.show();  // shown again: the confirmation starts cleared
  EXPECT_FALSE(prompt.Confirmed());
  prompt.close();
  EXPECT_FALSE(prompt.Confirmed());
  EXPECT_GE(prompt.ComboBox1()->findText("http://radio.example:8000"), 0);  // remembered for next time
}
