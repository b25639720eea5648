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
#include <QAbstractButton>
#include <QCheckBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QLineEdit>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QTest>
#include <functional>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/SecondaryForms.h"
#include "app/FormInfo.h"
#include "app/FormInfoVideo.h"
#include "app/MainPlayback.h"
#include "app/MainVideo.h"
#include "app/SkinWidgets.h"
#include "app/XDirectPut.h"
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

// Every control `top` shows lies inside it and inside its parent, and a label, box or
// button is wide enough for its whole text; tab texts are not cut either.
void ExpectWhole(QWidget* top, const std::string& what) {
  for (QWidget* c : top->findChildren<QWidget*>()) {
    if (c->isWindow() || !c->isVisibleTo(top)) continue;
    const std::string name = what + " " + c->metaObject()->className() + " " + c->objectName().toStdString();
    const QRect onTop(c->mapTo(top, QPoint(0, 0)), c->size());
    EXPECT_TRUE(top->rect().contains(onTop)) << name;
    EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry())) << name;
    if (auto* l = qobject_cast<QLabel*>(c); l && !l->wordWrap() && !l->text().isEmpty()) {
      EXPECT_GE(l->width(), l->sizeHint().width()) << name << ": " << l->text().toStdString();
    }
    if (auto* b = qobject_cast<QCheckBox*>(c)) {
      EXPECT_GE(b->width(), b->sizeHint().width()) << name << ": " << b->text().toStdString();
    }
    if (auto* b = qobject_cast<QPushButton*>(c); b && !b->text().isEmpty()) {
      EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(QString(b->text()).remove('&')) + 6)
          << name << ": " << b->text().toStdString();
    }
    // No control hides another one of the same parent.
    auto control = [](QWidget* w) {
      return qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QAbstractScrollArea*>(w) ||
             qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSlider*>(w);
    };
    if (control(c))
      for (QObject* o : c->parentWidget()->children()) {
        auto* other = qobject_cast<QWidget*>(o);
        if (!other || other == c || other->isWindow() || !other->isVisibleTo(top) || !control(other)) continue;
        EXPECT_FALSE(c->geometry().intersects(other->geometry()))
            << name << " overlaps " << other->metaObject()->className() << " " << other->objectName().toStdString();
      }
    if (auto* t = qobject_cast<QTabBar*>(c))
      for (int i = 0; i < t->count(); ++i) {
        EXPECT_LE(t->tabRect(i).right(), t->width()) << name << " tab " << i;
        EXPECT_GE(t->tabRect(i).width(), t->fontMetrics().horizontalAdvance(t->tabText(i))) << name << " tab " << i;
      }
  }
}

// Shows `w` alone at the screen's corner, saves what the screen shows of it as
// `file` and checks that nothing in it is cut.
void Photograph(QWidget* w, const QString& folder, const QString& file, const std::string& what) {
  w->move(20, 20);
  w->show();
  w->raise();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 5000)) << what;
  QTest::qWait(300);
  const QImage shot = Screen().copy(w->frameGeometry());
  shot.save(folder + "/" + file);
  // Something is drawn: the window is not one flat colour.
  int changes = 0;
  for (int y = 0; y < shot.height(); y += 4)
    for (int x = 1; x < shot.width(); x += 4)
      if (shot.pixel(x, y) != shot.pixel(x - 1, y)) ++changes;
  EXPECT_GT(changes, 20) << what;
  ExpectWhole(w, what);
}

}  // namespace

TEST(AppUnderX, EqualiserSkinSlidersDragAndWholeDisplayLabels) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
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
  ExpectWhole(&eq, "equaliser");

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

namespace {
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};
}  // namespace

// The level display and the title strip go to the window while playing without paint events, and
// what the screen shows is exactly what they drew.
TEST(AppUnderX, TheLevelDisplayAndTitleReachTheScreenAsDrawn) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\nLeft=60\r\nTop=60\r\n");
  const std::string mp3 = dir.File("noise.mp3");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i anoisesrc=color=pink:amplitude=0.9 -t 20 -ar 44100 -ac 2 "
                         "-b:a 192k '" + mp3 + "'")
                            .c_str()),
            0);
  platform::MessageRecorder rec;
  Player p({mp3});
  ASSERT_TRUE(WaitFor([&] { return p.form->Engine()->Mode() == engine::plmPlaying; }, 10000));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(p.form, 5000));
  app::TSkinImage* peaks = p.form->SkinImage("ImagePeaks");
  app::TSkinImage* title = p.form->SkinImage("TitleImage");
  QTest::qWait(300);
  PaintCounter peaksPaints, titlePaints;
  peaks->installEventFilter(&peaksPaints);
  title->installEventFilter(&titlePaints);
  engine::TZOZUZivade* eng = p.form->Engine();
  auto shown = eng->OnNewFFTData;
  int frames = 0, changed = 0;
  eng->OnNewFFTData = [&](engine::TZOZUZivade* e, const engine::TBandOut& b) {
    const QImage before = peaks->Image();
    shown(e, b);
    ++frames;
    if (peaks->Image() != before) ++changed;
  };
  const int scrolled = p.form->TitleStrip().Offset();
  ASSERT_TRUE(WaitFor([&] { return changed >= 10; }, 5000)) << frames << " frames, " << changed << " changed";
  EXPECT_NE(p.form->TitleStrip().Offset(), scrolled);
  EXPECT_EQ(peaksPaints.paints, 0);
  EXPECT_EQ(titlePaints.paints, 0);

  // Both stopped: the screen shows the last frames to the pixel.
  eng->SetSpectrumWanted(false);
  platform::KillTimer(p.form->Handle(), app::TForm1::kTimerRunString);
  QTest::qWait(200);
  const QImage shot = Screen();
  shot.save(QString(artifacts) + "/level-display-playing.png");
  for (app::TSkinImage* w : {peaks, title}) {
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    const QImage& img = w->Image();
    int differ = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if ((shot.pixel(at + QPoint(x, y)) & 0xFFFFFF) != (img.pixel(x, y) & 0xFFFFFF)) ++differ;
    EXPECT_EQ(differ, 0) << w->objectName().toStdString();
  }
  eng->OnNewFFTData = shown;
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppUnderX, SmallWindowsOnTheScreen) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
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

TEST(AppUnderX, EachOwnWindowPhotographedWhole) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  const QString folder = QString(artifacts) + "/own-windows";
  QDir().mkpath(folder);
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\nLeft=600\r\nTop=500\r\n");
  const std::string mp3 = dir.File("tagged.mp3"), mkv = dir.File("clip.mkv");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=f=440 -t 3 -ar 44100 -ac 2 -b:a 128k -write_id3v1 1 "
                         "-metadata title='A Title Of Some Length' -metadata artist='Some Band' -metadata album='The "
                         "Album' -metadata date=2024 -metadata track=7 -metadata genre=Rock -metadata "
                         "comment='A comment' '" + mp3 + "'")
                            .c_str()),
            0);
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=f=440 -t 2 "
                         "-c:v mpeg4 -c:a mp2 '" + mkv + "'")
                            .c_str()),
            0);
  platform::MessageRecorder rec;
  Player p;

  app::TFormSettings& settings = *p.windows->FormSettings;
  for (int page = 0; page < settings.PageControl()->count(); ++page) {
    p.form->Settings().activeTab = page;
    Photograph(&settings, folder, QString("settings-%1.png").arg(page), "settings page " + std::to_string(page));
    EXPECT_EQ(settings.PageControl()->currentIndex(), page);
    settings.hide();
  }
  Photograph(p.windows->FormAbout.get(), folder, "about.png", "about");
  p.windows->FormAbout->hide();
  Photograph(p.windows->FormMissing.get(), folder, "need-soundfont.png", "need soundfont");
  p.windows->FormMissing->hide();
  p.windows->FormStatus->AddLine("MIDI sound ready !");
  Photograph(p.windows->FormStatus.get(), folder, "status.png", "status");
  p.windows->FormStatus->hide();
  Photograph(p.windows->FormUrl.get(), folder, "input-url.png", "input url");
  p.windows->FormUrl->hide();

  p.windows->Playlist->AddFile(mp3);
  p.windows->Playlist->AddFile(mkv);
  p.windows->Playlist->SelectedIndex = 0;
  p.windows->FormPL->FileInfoClick();
  app::TFormInfo& info = *p.windows->FormInfo;
  ASSERT_TRUE(info.isVisible());
  EXPECT_EQ(info.InfoValue("Title")->text().toStdString(), "A Title Of Some Length");
  const char* pages[] = {"file-info-mp3-info.png", "file-info-mp3-id3v1.png", "file-info-mp3-id3v2.png"};
  for (int page = 0; page < 3; ++page) {
    info.hide();
    info.show();
    info.PageControl()->setCurrentIndex(page);
    Photograph(&info, folder, pages[page], "file info page " + std::to_string(page));
  }
  EXPECT_EQ(info.Edit("EditTitle2")->text().toStdString(), "A Title Of Some Length");
  info.hide();

  p.windows->Playlist->SelectedIndex = 1;
  p.windows->FormPL->FileInfoClick();
  app::TFormInfoVideo* video = p.form->Playback()->Video().InfoWindow();
  ASSERT_NE(video, nullptr);
  ASSERT_FALSE(p.modalShown.empty());
  EXPECT_EQ(p.modalShown.back(), "FormInfoVideo");
  Photograph(video, folder, "file-info-video.png", "video properties");
  const std::vector<std::string> lines = video->Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "MediaVideoWidth=320"), lines.end());
  video->hide();
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}

namespace {
// A picture whose every pixel differs from its neighbours.
QImage Pattern(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 6, y * 8, (x * 3 + y * 5) & 0xFF));
  return img;
}
}  // namespace

// A part of an image put straight into a window shows exactly, at the place asked for, and nothing
// around it changes; a second window gets its own checks.
TEST(AppUnderX, ADirectPutShowsExactlyThePartAskedFor) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  app::TXDirectPut put;
  EXPECT_FALSE(put.Put(nullptr, Pattern(4, 4), QRect(0, 0, 4, 4), QPoint(0, 0)));
  const QImage img = Pattern(40, 30);
  QWidget first, second;
  for (QWidget* w : {&first, &second}) {
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(90, 90, 90));
    w->setPalette(pal);
    w->resize(60, 50);
  }
  first.move(100, 100);
  second.move(300, 100);
  for (QWidget* w : {&first, &second}) {
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 5000));
  }
  QTest::qWait(200);
  const QRect part(5, 4, 20, 10);
  ASSERT_TRUE(put.Put(first.windowHandle(), img, part, QPoint(7, 9)));
  ASSERT_TRUE(put.Put(second.windowHandle(), img, part, QPoint(45, 35)));  // reaches past the right edge
  QTest::qWait(200);
  const QImage shot = Screen();
  shot.save(QString(artifacts) + "/direct-put.png");
  struct Case { QWidget* w; QPoint at; };
  for (const Case& c : {Case{&first, {7, 9}}, Case{&second, {45, 35}}}) {
    const QPoint origin = c.w->mapToGlobal(c.at);
    int differ = 0, shown = 0;
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x) {
        if (c.at.x() + x >= c.w->width() || c.at.y() + y >= c.w->height()) continue;
        ++shown;
        if ((shot.pixel(origin + QPoint(x, y)) & 0xFFFFFF) != (img.pixel(part.topLeft() + QPoint(x, y)) & 0xFFFFFF))
          ++differ;
      }
    EXPECT_GT(shown, 0);
    EXPECT_EQ(differ, 0);
    // Around the part: the window's own background.
    for (QPoint around : {QPoint(-1, 0), QPoint(0, -1), QPoint(-1, part.height() - 1)})
      EXPECT_EQ(shot.pixel(origin + around) & 0xFFFFFF, 0x5A5A5Au);
  }
  // Just past the part inside the first window: still the background.
  EXPECT_EQ(shot.pixel(first.mapToGlobal(QPoint(7 + part.width(), 9))) & 0xFFFFFF, 0x5A5A5Au);
  EXPECT_EQ(shot.pixel(first.mapToGlobal(QPoint(7, 9 + part.height()))) & 0xFFFFFF, 0x5A5A5Au);
}
