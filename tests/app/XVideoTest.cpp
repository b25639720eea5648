// DVDs on a real X server (run by CTest under xvfb-run with QT_QPA_PLATFORM=xcb and
// ORVELLA_X_ARTIFACTS set to a folder): the disc plays in the video panel's native
// child window, its menu and the button's highlight are on the screen, and a click
// on the button, delivered by the X server as a real one would be, reaches the DVD
// navigator. The screen is saved into the folder before and after the click.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "../video/VideoTestUtil.h"
#include "AppTestUtil.h"
#include "app/Main.h"
#include "app/MainPlayback.h"
#include "app/MainVideo.h"
#include "app/PlaybackControl.h"
#include "app/VideoWidget.h"
#include "platform/MessageBox.h"
#include "playlist/Playlist.h"
#include "video/Snapshot.h"

#include "XTestUtil.h"

using apptest::Player;
using apptest::ProgramDir;

namespace {

using xtest::Screen;
using xtest::WaitFor;

// Pixels of `area` whose colour passes `test`.
int Count(const QImage& img, const QRect& area, const std::function<bool(QRgb)>& test) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (test(img.pixel(x, y))) ++n;
  return n;
}
bool Blue(QRgb c) { return qBlue(c) > 180 && qRed(c) < 70 && qGreen(c) < 70; }
bool White(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; }

// A press and release of the first button at the screen point `at`, sent through the
// server to the window under the pointer and on up to the first window that selected
// button presses: where a click of the user's would go. Returns a description of the
// window the pointer is in.
std::string ClickAt(const QPoint& at) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return "no connection";
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_warp_pointer(c, XCB_NONE, screen->root, 0, 0, 0, 0, static_cast<int16_t>(at.x()), static_cast<int16_t>(at.y()));
  // The deepest window under the pointer, and the pointer in its coordinates.
  xcb_window_t w = screen->root;
  int16_t wx = 0, wy = 0;
  for (int depth = 0; depth < 32; ++depth) {
    xcb_query_pointer_reply_t* r = xcb_query_pointer_reply(c, xcb_query_pointer(c, w), nullptr);
    if (!r) break;
    wx = r->win_x;
    wy = r->win_y;
    const xcb_window_t child = r->child;
    free(r);
    if (child == XCB_NONE) break;
    w = child;
  }
  for (uint8_t type : {uint8_t(XCB_BUTTON_PRESS), uint8_t(XCB_BUTTON_RELEASE)}) {
    xcb_button_press_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = type;
    ev.detail = 1;
    ev.root = screen->root;
    ev.event = w;
    ev.root_x = static_cast<int16_t>(at.x());
    ev.root_y = static_cast<int16_t>(at.y());
    ev.event_x = wx;
    ev.event_y = wy;
    ev.same_screen = 1;
    ev.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
    xcb_send_event(c, 1, XCB_SEND_EVENT_DEST_POINTER_WINDOW,
                   type == XCB_BUTTON_PRESS ? XCB_EVENT_MASK_BUTTON_PRESS : XCB_EVENT_MASK_BUTTON_RELEASE,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(c);
    QTest::qWait(100);
  }
  xcb_disconnect(c);
  return "window " + std::to_string(w) + " at " + std::to_string(wx) + "," + std::to_string(wy);
}

}  // namespace

TEST(AppVideoUnderX, AClickOnADvdMenuButtonReachesTheNavigator) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  const std::string disc = videotest::TestDvd();
  ASSERT_FALSE(disc.empty()) << "dvdauthor could not make the test disc";
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\nLeft=40\r\nTop=40\r\n");
  platform::MessageRecorder rec;
  Player p;
  rec.Clear();
  playlist::TPlaylist& list = *p.windows->Playlist;
  list.Clear();
  list.AddFiles({disc + "/VIDEO_TS/VIDEO_TS.IFO"});
  list.PlayingIndex = 0;
  app::TPlaybackControl& control = p.form->Playback()->Control();
  app::TMainVideo& video = p.form->Playback()->Video();
  control.StartPlayback();
  ASSERT_EQ(control.PlayMode, 3);
  video::TVideoController* c = video.Controller();
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->Embedded()) << "the disc does not play in the native window";
  app::TVideoWidget* w = video.Widget();
  ASSERT_NE(w->NativeChildId(), 0u);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(p.form, 5000));

  // The title menu (blue) with its button's highlight (white) in the panel.
  const QRect panel(w->mapToGlobal(QPoint(0, 0)), w->size());
  QImage shot;
  const int area = panel.width() * panel.height();
  ASSERT_TRUE(WaitFor([&] {
    shot = Screen();
    return Count(shot, panel, Blue) > area / 3;
  }, 30000)) << "no blue menu in the panel " << panel.width() << "x" << panel.height() << "; title " << c->Title();
  // The button is 200 x 80 of 720 x 576 in the middle of the picture.
  const QRect middle(panel.center() - QPoint(panel.width() / 10, panel.height() / 20),
                     QSize(panel.width() / 5, panel.height() / 10));
  const bool highlighted = WaitFor([&] {
    shot = Screen();
    return Count(shot, middle, White) > middle.width() * middle.height() / 2;
  }, 10000);
  shot.save(QString(artifacts) + "/dvd-menu.png");
  EXPECT_TRUE(highlighted) << "the button's highlight is not drawn";
  EXPECT_EQ(c->Title(), 0);
  EXPECT_TRUE(rec.Messages().empty()) << rec.Messages().front().text;

  // A click on the button plays title 1.
  const std::string where = ClickAt(panel.center());
  ASSERT_TRUE(WaitFor([&] { return c->Title() == 1; }, 10000))
      << "the click did not reach the navigator (" << where << "), title " << c->Title();
  ASSERT_TRUE(WaitFor([&] { return c->TimeMs() > 1000; }, 10000)) << c->TimeMs();
  shot = Screen();
  shot.save(QString(artifacts) + "/dvd-title.png");
  // The title's test pattern has a blue bar of its own, nothing like the all-blue menu.
  EXPECT_LT(Count(shot, panel, Blue), area / 4) << "still the menu on the screen";

  // Full screen: the disc's window moves into a full-screen window and fills it; back in
  // the panel afterwards.
  video.ToggleFullScreen();
  ASSERT_TRUE(video.FullScreen());
  const QRect screenRect = QGuiApplication::primaryScreen()->geometry();
  const QRect bottom(0, screenRect.height() * 3 / 4, screenRect.width(), screenRect.height() / 4);
  auto lit = [](QRgb c) { return qRed(c) + qGreen(c) + qBlue(c) > 150; };
  ASSERT_TRUE(WaitFor([&] {
    shot = Screen();
    return Count(shot, bottom, lit) > bottom.width() * bottom.height() / 3;
  }, 10000)) << "the disc does not fill the screen" << [&] {
    shot.save(QString(artifacts) + "/dvd-fullscreen.png");
    return "";
  }();
  shot.save(QString(artifacts) + "/dvd-fullscreen.png");
  video.LeaveFullScreen();
  ASSERT_FALSE(video.FullScreen());
  EXPECT_NE(w->NativeChildId(), 0u);
  ASSERT_TRUE(WaitFor([&] {
    shot = Screen();
    // The whole picture again: the test pattern's yellow bar, right of the middle, is in it.
    return Count(shot, bottom, lit) < bottom.width() * bottom.height() / 20 &&
           Count(shot, panel, [](QRgb c) { return qRed(c) > 180 && qGreen(c) > 180 && qBlue(c) < 60; }) > area / 20;
  }, 10000)) << "the disc is not back in the panel, whole";
  shot.save(QString(artifacts) + "/dvd-panel-again.png");

  // Snapshots come from libVLC's own output here: the picture at its size.
  video.TakeSnapshot();
  ASSERT_FALSE(video.LastSnapshot().empty()) << (rec.Messages().empty() ? "" : rec.Messages().front().text);
  video::TVideoFrame saved;
  ASSERT_TRUE(video::LoadBitmap24(video.LastSnapshot(), saved));
  EXPECT_GE(saved.Width, 720);
  EXPECT_EQ(saved.Height, 576);

  control.Stop();
  EXPECT_EQ(w->NativeChildId(), 0u);
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}
