// The stacker window on the offscreen platform: shade sizes, the selected row's
// colour following the keys, the scroll thumb, docking, the Add dialog, and the
// plug-in started by a host that has a QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include "StackerTestUtil.h"
#include "plugins/sdk/winamp_dsp.h"
#include "stacker/Texts.h"
#include "stacker/ui/StackerDialogs.h"
#include "stacker/ui/StackerWindow.h"

using namespace pilvo;
using namespace stackertest;

namespace {

void EnsureApp() {
  if (!QApplication::instance()) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "stacker_window_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
}

struct Fixture {
  PluginFolder dir;
  std::unique_ptr<TStacker> stacker;
  TDescriptionCache cache;
  Fixture() {
    EnsureApp();
    dir.Copy("dsp_stacktest.so");
    dir.Copy("dsp_orvella.so");
    dir.Copy("dsp_gain1x.so");
    dir.Copy("dsp_pilvo3.so");
    TStacker::Options o;
    o.PluginFolder = dir.Path();
    o.SelfPath = dir.File("dsp_pilvo3.so");
    stacker = std::make_unique<TStacker>(o);
    cache.Read(dir.File("dsp_plv2.pic"));
  }
};

QColor RowColour(TStackerWindow& w, int row) {
  QImage img = w.grab().toImage();
  return img.pixelColor(200, 22 + row * 13 + 6);
}

void Key(QWidget& w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods);
  QApplication::sendEvent(&w, &press);
}

}  // namespace

TEST(StackerWindow, ShadeSwitchesBetween275x116And275x14) {
  Fixture f;
  TStackerWindow w(f.stacker.get(), &f.cache);
  EXPECT_EQ(w.size(), QSize(275, 116));
  w.Perform(TStackerWindow::kShade);
  EXPECT_EQ(w.size(), QSize(275, 14));
  QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 5));
  EXPECT_EQ(w.size(), QSize(275, 116));
  // Docked above the host, the bottom edge stays on the host's top edge.
  TWindowSettings s{true, 100, 300, 0, 1};
  w.ApplySettings(s);
  int bottom = w.y() + w.height();
  w.SetShade(true);
  EXPECT_EQ(w.y() + w.height(), bottom);
  w.SetShade(false);
  EXPECT_EQ(w.y() + w.height(), bottom);
}

TEST(StackerWindow, TheSelectedRowColourMovesWithTheKeys) {
  Fixture f;
  for (int m : {0, 3, 4, 5, 7}) ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_stacktest.so", m, 1));
  TStackerWindow w(f.stacker.get(), &f.cache);
  w.show();
  const QImage& skin = Skin();
  const QColor row = skin.pixelColor(13, 21), selected = skin.pixelColor(270, 156);
  ASSERT_NE(row, selected);
  Key(w, Qt::Key_Home);
  EXPECT_EQ(RowColour(w, 0), selected);
  EXPECT_EQ(RowColour(w, 1), row);
  Key(w, Qt::Key_Down);
  EXPECT_EQ(RowColour(w, 0), row);
  EXPECT_EQ(RowColour(w, 1), selected);
  Key(w, Qt::Key_End);  // five entries: rows 1..4 show, the last is the bottom row
  EXPECT_EQ(f.stacker->FirstVisible(), 1);
  EXPECT_EQ(RowColour(w, 3), selected);
  Key(w, Qt::Key_Up, Qt::AltModifier);  // move the entry up
  EXPECT_EQ(f.stacker->Selected(), 3);
  EXPECT_STREQ(f.stacker->Entry(3)->Description(), "Adds 100");
  Key(w, Qt::Key_Space);
  EXPECT_EQ(f.stacker->Entry(3)->Enabled.load(), 0);
  Key(w, Qt::Key_Delete);
  EXPECT_EQ(f.stacker->Count(), 4);
  // The thumb: four entries or fewer sit at the top.
  EXPECT_EQ(f.stacker->ThumbOffset(), 0);
}

TEST(StackerWindow, MouseOnRowsCheckboxesScrollBarAndButtons) {
  Fixture f;
  for (int m : {0, 3, 4, 5, 7}) ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_stacktest.so", m, 1));
  ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_orvella.so", 0, 1));
  TStackerWindow w(f.stacker.get(), &f.cache);
  w.show();
  EXPECT_EQ(f.stacker->FirstVisible(), 2);
  EXPECT_EQ(f.stacker->ThumbOffset(), 40);
  QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(264, 20));  // scroll bar top
  QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(264, 20));
  EXPECT_EQ(f.stacker->FirstVisible(), 0);
  EXPECT_EQ(f.stacker->Selected(), 3);  // pulled into the visible rows
  QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 22 + 13 + 5));
  EXPECT_EQ(f.stacker->Selected(), 1);
  QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(20, 22 + 5));  // checkbox of row 0
  EXPECT_EQ(f.stacker->Selected(), 0);
  EXPECT_EQ(f.stacker->Entry(0)->Enabled.load(), 0);
  // A button acts on release over it, not when the mouse left it first.
  QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(40, 90));  // remove
  QMouseEvent away(QEvent::MouseMove, QPointF(150, 50), w.mapToGlobal(QPointF(150, 50)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &away);
  QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(150, 50));
  EXPECT_EQ(f.stacker->Count(), 6);
  QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(40, 90));
  EXPECT_EQ(f.stacker->Count(), 5);
  QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(264, 88));  // the small down arrow
  EXPECT_EQ(f.stacker->FirstVisible(), 1);
}

TEST(StackerWindow, DockingSides) {
  QRect host(100, 100, 275, 116);
  QPoint at;
  EXPECT_EQ(TStackerWindow::DockSide(QRect(110, 222, 275, 116), host, &at), 3);
  EXPECT_EQ(at, QPoint(100, 216));
  EXPECT_EQ(TStackerWindow::DockSide(QRect(90, -10, 275, 116), host, &at), 1);
  EXPECT_EQ(at, QPoint(100, -16));
  EXPECT_EQ(TStackerWindow::DockSide(QRect(-170, 120, 275, 116), host, &at), 4);
  EXPECT_EQ(at, QPoint(-175, 100));
  EXPECT_EQ(TStackerWindow::DockSide(QRect(380, 130, 275, 116), host, &at), 2);
  EXPECT_EQ(at, QPoint(375, 100));
  EXPECT_EQ(TStackerWindow::DockSide(QRect(600, 600, 275, 116), host, &at), 0);
  EXPECT_EQ(at, QPoint(600, 600));
}

TEST(StackerWindow, TheAddDialogListsModulesButNotTheStackerAndReportsDuplicates) {
  Fixture f;
  f.dir.Copy("dsp_pilvo3.so", "dsp_pilvo3_copy.so");
  f.dir.Write("dsp_plv2.pic", "DSP_ORVELLA.SO\tCached description\n");
  f.cache.Read(f.dir.File("dsp_plv2.pic"));
  std::vector<QString> messages;
  SetMessageSink([&](QMessageBox::Icon, const QString& caption, const QString& text) {
    EXPECT_EQ(caption, QStringLiteral("Pilvo2 1.1.1k"));
    messages.push_back(text);
  });
  {
    TAddDialog d(f.stacker.get(), &f.cache, nullptr);
    QStringList texts, names;
    for (int i = 0; i < d.Libraries()->count(); ++i) {
      texts << d.Libraries()->item(i)->text();
      names << d.Libraries()->item(i)->data(Qt::UserRole).toString();
    }
    EXPECT_EQ(texts, (QStringList{"Cached description (dsp_orvella.so)", "Orvella gain (Winamp 1.x) (dsp_gain1x.so)",
                                  "Stack test (dsp_stacktest.so)"}));
    EXPECT_EQ(names, (QStringList{"dsp_orvella.so", "dsp_gain1x.so", "dsp_stacktest.so"}));
    d.Libraries()->setCurrentRow(0);
    ASSERT_EQ(d.Modules()->count(), 4);
    EXPECT_EQ(d.Modules()->item(2)->text(), QStringLiteral("Half speed (twice the samples)"));
    EXPECT_EQ(d.Modules()->currentRow(), 0);
    d.Modules()->setCurrentRow(1);
    EXPECT_EQ(d.AddSelected(), kAdded);
    EXPECT_EQ(d.AddSelected(), kDuplicate);
    d.Libraries()->setCurrentRow(2);
    d.Modules()->setCurrentRow(1);
    EXPECT_EQ(d.AddSelected(), kNotStarted);
  }
  SetMessageSink(nullptr);
  EXPECT_EQ(messages, (std::vector<QString>{QString::fromUtf8(kTextDuplicate), QString::fromUtf8(kTextCannotStart)}));
  EXPECT_EQ(f.stacker->Count(), 1);
  EXPECT_STREQ(f.stacker->Entry(0)->Description(), "Stereo widener");
  // Both newly read libraries joined the cache; the cached one was not read again.
  std::string cache = f.dir.Read("dsp_plv2.pic");
  EXPECT_NE(cache.find("dsp_gain1x.so\tOrvella gain (Winamp 1.x)\n"), std::string::npos);
  EXPECT_EQ(cache.find("dsp_orvella.so\t"), std::string::npos);
  EXPECT_EQ(cache.find("pilvo"), std::string::npos);
}

TEST(StackerWindow, ChainFilesSaveAndLoadThroughTheKeys) {
  Fixture f;
  ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_orvella.so", 0, 1));
  ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_gain1x.so", 0, 0));
  TStackerWindow w(f.stacker.get(), &f.cache);
  QString answer = QString::fromStdString(f.dir.File("mine"));
  w.chooseChainFile = [&](bool) { return answer; };
  Key(w, Qt::Key_S);
  EXPECT_EQ(f.dir.Read("mine.plv"), "[Pilvo]\r\nPlugins=dsp_orvella.so,0,1 dsp_gain1x.so,0,0\r\n");
  f.stacker->UnloadAll();
  answer = QString::fromStdString(f.dir.File("mine.plv"));
  Key(w, Qt::Key_L);
  ASSERT_EQ(f.stacker->Count(), 2);
  EXPECT_EQ(f.stacker->Entry(1)->Enabled.load(), 0);
  answer.clear();  // cancelled: nothing changes
  Key(w, Qt::Key_L);
  EXPECT_EQ(f.stacker->Count(), 2);
}

// A host with a QApplication: Init returns at once, the window and the chain
// come from the event loop, Quit saves and closes.
TEST(StackerWindow, PluginStartsItsWindowFromTheHostsEventLoop) {
  EnsureApp();
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Write("plugin.ini", "[Pilvo]\nWindow=-10,50\nWindowDocked=3\nWindowShade=1\nPlugins=dsp_orvella.so,0,1\n");
  std::string self = dir.Copy("dsp_pilvo3.so");
  void* lib = dlopen(self.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto* h = reinterpret_cast<winampDSPGetHeaderType>(dlsym(lib, "winampDSPGetHeader2"))();
  winampDSPModule* m = h->getModule(0);
  auto windows = [] {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->windowTitle() == QStringLiteral("Pilvo2 1.1.1k") && w->isVisible()) ++n;
    return n;
  };
  ASSERT_EQ(m->Init(m), 0);
  EXPECT_EQ(windows(), 0);  // queued, not built inside Init
  short buf[8] = {1000, 1000, 1000, 1000, 0, 0, 0, 0};
  EXPECT_EQ(m->ModifySamples(m, buf, 2, 16, 2, 44100), 2);
  EXPECT_EQ(buf[0], 1000);  // the chain is not loaded yet either
  QApplication::processEvents();
  EXPECT_EQ(windows(), 1);
  QWidget* win = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == QStringLiteral("Pilvo2 1.1.1k") && w->isVisible()) win = w;
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(win->size(), QSize(275, 14));  // shaded
  EXPECT_EQ(win->pos().x(), 0);            // clamped onto the desktop
  m->ModifySamples(m, buf, 2, 16, 2, 44100);
  EXPECT_EQ(buf[0], 501);
  m->Quit(m);
  QApplication::processEvents();
  EXPECT_EQ(windows(), 0);
  std::string ini = dir.Read("plugin.ini");
  EXPECT_NE(ini.find("Window=0,50\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("WindowDocked=0\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("WindowShade=1\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Plugins=dsp_orvella.so,0,1\n"), std::string::npos) << ini;
  // Init then Quit before the event loop ran: nothing is loaded, nothing written.
  dir.Write("plugin.ini", "[Pilvo]\nPlugins=dsp_orvella.so,0,1\n");
  ASSERT_EQ(m->Init(m), 0);
  m->Quit(m);
  QApplication::processEvents();
  EXPECT_EQ(windows(), 0);
  EXPECT_EQ(dir.Read("plugin.ini"), "[Pilvo]\nPlugins=dsp_orvella.so,0,1\n");
}

// Run by hand under Xvfb with QT_QPA_PLATFORM=xcb and STACKER_SCREENSHOT=<file.png>:
// shows the window on a real X server and saves a grab of the screen.
TEST(StackerWindow, ScreenshotUnderX) {
  const char* out = std::getenv("STACKER_SCREENSHOT");
  if (!out) GTEST_SKIP() << "set STACKER_SCREENSHOT to a PNG path (under Xvfb, QT_QPA_PLATFORM=xcb)";
  Fixture f;
  ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_orvella.so", 0, 1));
  ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_gain1x.so", 0, 0));
  ASSERT_TRUE(f.stacker->LoadChainEntry("dsp_orvella.so", 2, 1));
  TStackerWindow w(f.stacker.get(), &f.cache);
  w.move(20, 20);
  w.show();
  w.activateWindow();
  for (int i = 0; i < 50; ++i) {
    QApplication::processEvents();
    QTest::qWait(10);
  }
  QPixmap shot = QApplication::primaryScreen()->grabWindow(0, 0, 0, 320, 160);
  ASSERT_TRUE(shot.save(QString::fromLocal8Bit(out)));
  // What the X server shows at the window's place is the window as drawn.
  QImage screen = shot.toImage().convertToFormat(QImage::Format_RGB32);
  QImage drawn = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QPoint at = w.geometry().topLeft();
  int same = 0;
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x)
      if (screen.pixel(at.x() + x, at.y() + y) == drawn.pixel(x, y)) ++same;
  EXPECT_GT(same, drawn.width() * drawn.height() * 9 / 10);
  // And that is the skin: the list's row colour and the checkbox images are there.
  EXPECT_EQ(screen.pixelColor(at.x() + 200, at.y() + 22 + 13 * 3 + 6), Skin().pixelColor(13, 21));
  EXPECT_EQ(screen.pixelColor(at.x() + 16 + 5, at.y() + 22 + 1 + 5), Skin().pixelColor(255 + 5, 156 + 5));
  // The Add dialog beside it, with its Korean button texts (drawn with the system's fonts).
  TAddDialog add(f.stacker.get(), &f.cache, &w);
  add.Libraries()->setCurrentRow(0);
  add.show();
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QTest::qWait(10);
  }
  ASSERT_TRUE(add.grab().save(QString::fromLocal8Bit(out).replace(".png", "-add.png")));
}

TEST(StackerWindow, ADockedWindowFollowsTheHostWindow) {
  Fixture f;
  QWidget host;
  host.setGeometry(100, 100, 275, 116);
  host.show();
  TStackerWindow w(f.stacker.get(), &f.cache, &host);
  EXPECT_EQ(w.Host(), &host);
  TWindowSettings s{true, 100, 100 + host.frameGeometry().height(), 0, 3};
  w.ApplySettings(s);
  w.show();
  ASSERT_EQ(w.Docked(), 3);
  QPoint before = w.pos();
  host.move(host.pos() + QPoint(30, 20));
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), before + QPoint(30, 20));
  host.resize(275, 200);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), QPoint(host.frameGeometry().left(), host.frameGeometry().top() + host.frameGeometry().height()));
  // Undocked, it stays where it is.
  TWindowSettings free{true, 500, 400, 0, 0};
  w.ApplySettings(free);
  QPoint at = w.pos();
  host.move(host.pos() + QPoint(5, 5));
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), at);
}
