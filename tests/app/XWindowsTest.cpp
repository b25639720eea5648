// On a real X server (run by CTest under xvfb-run with QT_QPA_PLATFORM=xcb and
// ORVELLA_X_ARTIFACTS set to a folder): the equaliser shows its skin and ten
// sliders and follows a drag of its background; the playing main window shows
// its bit rate and stream type whole. The screen is saved into the folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <functional>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/FormInfo.h"
#include "app/SkinWidgets.h"
#include "playlist/Playlist.h"
#include "playlist/ui/FormPL.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

#include "XTestUtil.h"

using apptest::Player;
using apptest::ProgramDir;

namespace {

using xtest::Screen;
using xtest::WaitFor;

int Brightness(QRgb c) { return (qRed(c) + qGreen(c) + qBlue(c)) / 3; }

// The rightmost column of `area` holding a pixel brighter than `level`; -1 when none.
int RightmostBright(const QImage& img, const QRect& area, int level) {
  for (int x = area.right(); x >= area.left(); --x)
    for (int y = area.top(); y <= area.bottom(); ++y)
      if (Brightness(img.pixel(x, y)) > level) return x;
  return -1;
}

}  // namespace

TEST(AppUnderX, EqualiserSkinSlidersDragAndWholeDisplayLabels) {
  const char* artifacts = std::getenv("ORVELLA_X_ARTIFACTS");
  if (!artifacts || QString(qgetenv("QT_QPA_PLATFORM")) != "xcb")
    GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>";
  QDir().mkpath(artifacts);
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini",
            "[Options]\r\nfirstRun=0\r\nshowEq=1\r\nshowPlaylist=0\r\nLeft=40\r\nTop=40\r\nFormEq.Left=440\r\n"
            "FormEq.Top=40\r\n");
  const std::string mp3 = dir.File("tone.mp3");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=f=440 -t 20 -ar 44100 -ac 2 -b:a 192k '" + mp3 + "'")
                            .c_str()),
            0);
  platform::MessageRecorder rec;
  Player p({mp3});
  app::TFormEq& eq = *p.windows->FormEq;
  ASSERT_TRUE(WaitFor([&] { return p.form->Engine()->Mode() == engine::plmPlaying; }, 10000));
  ASSERT_TRUE(WaitFor([&] { return p.form->Label("LabelBitrate")->text() == "192 kbps"; }, 5000));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&eq, 5000));
  QTest::qWait(600);
  QImage shot = Screen();
  shot.save(QString(artifacts) + "/windows-playing.png");

  // The equaliser's background is the skin's bitmap (where no control lies).
  const QImage bg = app::LoadSkinBitmap(dir.Path() + "skins/default/bg_eq.bmp").convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(bg.isNull());
  const QPoint origin = eq.mapToGlobal(QPoint(0, 0));
  for (QPoint at : {QPoint(20, 15), QPoint(300, 242), QPoint(12, 120), QPoint(117, 46)})
    EXPECT_EQ(shot.pixel(origin + at) & 0xFFFFFF, bg.pixel(at) & 0xFFFFFF) << at.x() << "," << at.y();
  // The rounded corner shows the desktop, not the window.
  EXPECT_NE(shot.pixel(origin) & 0xFFFFFF, bg.pixel(0, 0) & 0xFFFFFF);
  // Ten sliders, each drawn with its light handle.
  for (int i = 0; i < 10; ++i) {
    QSlider* s = eq.BandSlider(i);
    const QRect r(s->mapToGlobal(QPoint(0, 0)), s->size());
    int light = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (Brightness(shot.pixel(x, y)) > 190) ++light;
    EXPECT_GE(light, 30) << "slider " << i;
    EXPECT_GE(r.height(), 80) << "slider " << i;
  }

  // The display's labels: the text reaches as far as the whole text needs.
  for (const char* name : {"LabelBitrate", "LabelType"}) {
    QLabel* l = p.form->Label(name);
    const QPoint left = l->mapToGlobal(QPoint(0, 0));
    const int need = QFontMetrics(l->font()).horizontalAdvance(l->text());
    const QRect area(left.x(), left.y(), need + 12, l->height());
    const int right = RightmostBright(shot, area, 110);
    ASSERT_GE(right, 0) << name;
    EXPECT_GE(right - left.x(), need - 4) << name << ": " << l->text().toStdString();
  }
  EXPECT_EQ(p.form->windowTitle().toStdString(), "1. tone.mp3");

  // Dragging the background moves the window on the server.
  const QPoint before = eq.frameGeometry().topLeft();
  app::TSkinImage* back = eq.Background();
  QTest::mousePress(back, Qt::LeftButton, {}, QPoint(30, 15));
  QMouseEvent move(QEvent::MouseMove, QPointF(90, 115), back->mapToGlobal(QPointF(90, 115)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(back, &move);
  QTest::mouseRelease(back, Qt::LeftButton, {}, QPoint(90, 115));
  ASSERT_TRUE(WaitFor([&] { return eq.frameGeometry().topLeft() == before + QPoint(60, 100); }, 3000))
      << eq.frameGeometry().x() << "," << eq.frameGeometry().y();
  QTest::qWait(400);
  shot = Screen();
  shot.save(QString(artifacts) + "/windows-dragged.png");
  const QPoint moved = eq.mapToGlobal(QPoint(0, 0));
  EXPECT_EQ(moved, origin + QPoint(60, 100));
  EXPECT_EQ(shot.pixel(moved + QPoint(20, 15)) & 0xFFFFFF, bg.pixel(20, 15) & 0xFFFFFF);
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppUnderX, SmallWindowsOnTheScreen) {
  const char* artifacts = std::getenv("ORVELLA_X_ARTIFACTS");
  if (!artifacts || QString(qgetenv("QT_QPA_PLATFORM")) != "xcb")
    GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>";
  QDir().mkpath(artifacts);
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\nLeft=600\r\nTop=500\r\n");
  const std::string mp3 = dir.File("info.mp3");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=f=440 -t 3 -ar 44100 -ac 2 -b:a 128k -metadata "
                         "title=Tune -metadata artist=Band '" + mp3 + "'")
                            .c_str()),
            0);
  platform::MessageRecorder rec;
  Player p;
  p.windows->Playlist->AddFile(mp3);
  p.windows->Playlist->SelectedIndex = 0;
  p.windows->FormPL->FileInfoClick();
  QWidget* windows[] = {p.windows->FormSettings.get(), p.windows->FormAbout.get(), p.windows->FormMissing.get(),
                        p.windows->FormInfo.get()};
  const QPoint places[] = {{10, 10}, {420, 10}, {420, 200}, {10, 380}};
  for (int i = 0; i < 4; ++i) {
    windows[i]->move(places[i]);
    windows[i]->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windows[i], 5000)) << i;
  }
  QTest::qWait(600);
  const QImage shot = Screen();
  shot.save(QString(artifacts) + "/small-windows.png");
  // Each window shows something other than the desktop where it stands.
  for (QWidget* w : windows) {
    const QRect r = w->geometry();
    EXPECT_NE(shot.pixel(r.center()) & 0xFFFFFF, 0u) << w->objectName().toStdString();
  }
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}
