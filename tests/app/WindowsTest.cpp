// The player's own windows: the skinned equaliser, the main display's labels
// and title, the settings, about and soundfont windows and their links.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QToolButton>
#include <QTest>
#include <QUrl>

#include "AppTestUtil.h"
#include "app/Forms.h"
#include "app/Main.h"
#include "app/MainPlayback.h"
#include "app/SecondaryForms.h"
#include "app/SkinWidgets.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"

using apptest::Player;
using apptest::ProgramDir;

namespace {

void Drag(QWidget* w, QPoint from, QPoint to) {
  QTest::mousePress(w, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), w->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(w, &move);
  QTest::mouseRelease(w, Qt::LeftButton, {}, to);
}

// Captures what links would open; restores the desktop opener when done.
struct LinkCapture {
  std::vector<QUrl> opened;
  std::function<bool(const QUrl&)> saved = app::LinkOpener();
  LinkCapture() {
    app::LinkOpener() = [this](const QUrl& u) {
      opened.push_back(u);
      return true;
    };
  }
  ~LinkCapture() { app::LinkOpener() = saved; }
};

void Press(QWidget* w) { QTest::mousePress(w, Qt::LeftButton, {}, QPoint(2, 2)); }

}  // namespace

TEST(AppEqualiserWindow, SkinnedBorderlessRoundedWithItsBackgroundAndCloseButton) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=1\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TFormEq& eq = *p.windows->FormEq;
  ASSERT_TRUE(eq.isVisible());
  EXPECT_TRUE(eq.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(eq.size(), QSize(331, 252));
  const QRegion mask = eq.mask();
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));
  EXPECT_FALSE(mask.contains(QPoint(330, 251)));
  EXPECT_TRUE(mask.contains(QPoint(6, 6)));
  EXPECT_TRUE(mask.contains(QPoint(165, 0)));
  // The background is the skin's bitmap, the close button the skin's three-frame strip.
  const QImage bg = app::LoadSkinBitmap(dir.Path() + "skins/default/bg_eq.bmp");
  ASSERT_FALSE(bg.isNull());
  EXPECT_EQ(eq.Background()->Image(), bg);
  app::TImageButton* close = eq.CloseButton();
  ASSERT_EQ(close->Strip().width(), 45);
  EXPECT_EQ(close->geometry(), QRect(331 - 6 - 15, 8, 15, 15));
  QTest::mouseMove(close, QPoint(5, 5));
  EXPECT_EQ(close->Frame(), 1);
  EXPECT_EQ(close->Picture(), close->Strip().copy(15, 0, 15, 15));
  QTest::mousePress(close, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(close->Frame(), 2);
  QTest::mouseRelease(close, Qt::LeftButton, {}, QPoint(5, 5));
  // Closing hides it and clears the main window's flag.
  EXPECT_FALSE(eq.isVisible());
  EXPECT_FALSE(p.form->Settings().showEq);
  EXPECT_FALSE(p.form->SpeedButton("sbEQ")->isChecked());
}

TEST(AppEqualiserWindow, TenVisibleSlidersStandOverTheirBandsAndTheBackgroundDrags) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=1\r\nFormEq.Left=200\r\nFormEq.Top=150\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TFormEq& eq = *p.windows->FormEq;
  ASSERT_TRUE(eq.isVisible());
  QLabel* bands = eq.LabelBands();
  EXPECT_EQ(bands->text().toStdString(), " 80     170   310    600    1K      3K      6K    10K    12K  14K");
  EXPECT_TRUE(bands->isVisible());
  EXPECT_LE(bands->geometry().right(), eq.width());
  const QString text = bands->text();
  const QFontMetrics fm(bands->font());
  const QStringList names = text.split(' ', Qt::SkipEmptyParts);
  ASSERT_EQ(names.size(), 10);
  int from = 0;
  for (int i = 0; i < 10; ++i) {
    QSlider* s = eq.BandSlider(i);
    EXPECT_TRUE(s->isVisible()) << i;
    EXPECT_EQ(s->orientation(), Qt::Vertical);
    EXPECT_GE(s->height(), 80) << i;  // a real slider, not a box
    EXPECT_GE(s->width(), 12) << i;
    EXPECT_LE(s->geometry().bottom(), bands->y()) << i;  // above its label
    // Its middle is over its frequency's text.
    const int at = text.indexOf(names[i], from);
    from = at + names[i].size();
    const int left = bands->x() + fm.horizontalAdvance(text.left(at));
    const int right = left + fm.horizontalAdvance(names[i]);
    const int middle = s->geometry().center().x();
    EXPECT_GE(middle, left - 2) << i;
    EXPECT_LE(middle, right + 2) << i;
    if (i) {
      EXPECT_GE(s->x(), eq.BandSlider(i - 1)->geometry().right()) << i;  // no overlap
    }
  }
  // Top is -15 (up is louder).
  EXPECT_TRUE(eq.BandSlider(0)->invertedAppearance());
  // Dragging the background moves the window by the pointer's travel; so does the title.
  const QPoint start = eq.pos();
  Drag(eq.Background(), QPoint(60, 15), QPoint(100, 45));
  EXPECT_EQ(eq.pos(), start + QPoint(40, 30));
  Drag(eq.LabelTitle(), QPoint(5, 5), QPoint(0, 15));
  EXPECT_EQ(eq.pos(), start + QPoint(35, 40));
  // A move without the button held after the release does not drag.
  QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), eq.Background()->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(eq.Background(), &hover);
  EXPECT_EQ(eq.pos(), start + QPoint(35, 40));
}

// Where the slider draws its handle, in its own coordinates.
QRect HandleRect(QSlider* s) {
  QStyleOptionSlider opt;
  opt.initFrom(s);
  opt.subControls = QStyle::SC_All;
  opt.orientation = s->orientation();
  opt.minimum = s->minimum();
  opt.maximum = s->maximum();
  opt.sliderPosition = s->sliderPosition();
  opt.sliderValue = s->value();
  opt.singleStep = s->singleStep();
  opt.pageStep = s->pageStep();
  opt.upsideDown = !s->invertedAppearance();  // a vertical slider's minimum is at its bottom unless inverted
  return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
}

TEST(AppEqualiserWindow, BandSlidersFollowTheMouseTheWheelAndTheKeysAndThePlayingSoundFollows) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=1\r\nenableEq=1\r\n");
  const std::string wav = dir.File("tone.wav");
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=f=440 -t 20 -ar 44100 -ac 2 '" + wav + "'").c_str()), 0);
  platform::MessageRecorder rec;
  Player p({wav});
  engine::TZOZUZivade* eng = p.form->Engine();
  ASSERT_NE(eng, nullptr);
  for (int i = 0; i < 250 && eng->Mode() != engine::plmPlaying; ++i) QTest::qWait(20);
  ASSERT_EQ(eng->Mode(), engine::plmPlaying);
  app::TFormEq& eq = *p.windows->FormEq;
  ASSERT_TRUE(eq.isVisible());
  // The gain the playing channel's band effect applies.
  auto heard = [&](int band) {
    BASS_DX8_PARAMEQ fx{};
    EXPECT_NE(eng->EQHandle(band), 0u) << band;
    EXPECT_TRUE(eng->Bass().BASS_FXGetParameters(eng->EQHandle(band), &fx)) << band;
    return fx.fGain;
  };
  EXPECT_EQ(heard(2), 0.0f);

  // Dragging the handle of the third band to the top: +15 dB.
  QSlider* s = eq.BandSlider(2);
  ASSERT_TRUE(s->isEnabled());
  const QPoint grab = HandleRect(s).center();
  QTest::mousePress(s, Qt::LeftButton, {}, grab);
  for (int y = grab.y(); y >= 0; y -= 8) {
    QMouseEvent move(QEvent::MouseMove, QPointF(grab.x(), y), s->mapToGlobal(QPointF(grab.x(), y)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s, &move);
  }
  QMouseEvent top(QEvent::MouseMove, QPointF(grab.x(), -20), s->mapToGlobal(QPointF(grab.x(), -20)), Qt::NoButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(s, &top);
  QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(grab.x(), 0));
  EXPECT_EQ(s->value(), -15);
  EXPECT_EQ(eng->EQGain(2), 15.0f);
  EXPECT_EQ(heard(2), 15.0f);
  EXPECT_EQ(p.form->Settings().eqBand[2], -15);
  // The handle went up with it.
  EXPECT_LT(HandleRect(s).center().y(), grab.y());

  // The wheel turned towards the user lowers the fifth band; away from the user raises it again.
  QSlider* w = eq.BandSlider(4);
  auto wheel = [w](int delta) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(w, &e);
  };
  wheel(-120);
  EXPECT_GT(w->value(), 0);
  EXPECT_LT(heard(4), 0.0f);
  EXPECT_EQ(heard(4), -float(w->value()));
  wheel(120);
  wheel(120);
  EXPECT_LT(w->value(), 0);
  EXPECT_GT(heard(4), 0.0f);

  // Keys: up is louder, one step a press; Page Down a page quieter; End the bottom.
  QSlider* k = eq.BandSlider(9);
  k->setFocus();
  QTest::keyClick(k, Qt::Key_Up);
  EXPECT_EQ(heard(9), 1.0f);
  QTest::keyClick(k, Qt::Key_Up);
  EXPECT_EQ(heard(9), 2.0f);
  QTest::keyClick(k, Qt::Key_PageDown);
  EXPECT_EQ(heard(9), 2.0f - float(k->pageStep()));
  QTest::keyClick(k, Qt::Key_Down);
  EXPECT_EQ(heard(9), 1.0f - float(k->pageStep()));
  for (int b : {0, 1, 3, 5, 6, 7, 8}) EXPECT_EQ(heard(b), 0.0f) << b;
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(AppEqualiserWindow, WithoutItsBitmapsTheWindowStillWorks) {
  apptest::ProgramOptions o;
  o.withSkin = false;
  ProgramDir dir(o);
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=1\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TFormEq& eq = *p.windows->FormEq;
  EXPECT_TRUE(eq.Background()->Image().isNull());
  EXPECT_TRUE(eq.CloseButton()->Strip().isNull());
  QTest::mouseClick(eq.CloseButton(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(eq.isVisible());
}

TEST(AppMainDisplay, LabelsThatChangeKeepTheirWholeText) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TMainPlayback* view = p.form->Playback();
  ASSERT_NE(view, nullptr);
  view->SetBitrateLabel("192 kbps");
  view->SetTypeLabel("W_MP3");
  view->SetPosLabel("123:45");
  for (const char* name : {"LabelBitrate", "LabelType", "LabelPos"}) {
    QLabel* l = p.form->Label(name);
    EXPECT_GE(l->width(), QFontMetrics(l->font()).horizontalAdvance(l->text())) << name;
  }
  // And they do not run into their neighbours.
  EXPECT_LT(p.form->Label("LabelBitrate")->geometry().right(), p.form->Label("LabelMono")->x());
  EXPECT_LT(p.form->Label("LabelStereo")->geometry().right(), p.form->Label("LabelType")->x());
  EXPECT_LT(p.form->Label("LabelType")->geometry().right(), p.form->Label("LabelPos")->x());
}

TEST(AppMainDisplay, WindowTitleCarriesTheApplicationTitleAndTheAudioLayoutIs380By200) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TMainPlayback* view = p.form->Playback();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(p.form->windowTitle().toStdString(), "Orvella Player 1.4");
  view->SetApplicationTitle("3. Song title");
  EXPECT_EQ(p.form->windowTitle().toStdString(), "3. Song title");
  EXPECT_EQ(QApplication::applicationName().toStdString(), "3. Song title");
  view->RestoreApplicationTitle();
  EXPECT_EQ(p.form->windowTitle().toStdString(), "Orvella Player 1.4");
  EXPECT_EQ(QApplication::applicationName().toStdString(), "Orvella Player 1.4");
  p.form->ShowVideoPanel(true);
  view->UseAudioLayout();
  EXPECT_EQ(p.form->size(), QSize(380, 200));
}

TEST(AppMainDisplay, AnyMoveSnapsToTheWorkAreaEdges) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nLeft=100\r\nTop=100\r\n");
  platform::MessageRecorder rec;
  Player p;
  QScreen* screen = p.form->screen();
  ASSERT_NE(screen, nullptr);
  const QRect area = screen->availableGeometry();
  p.form->move(area.left() + 6, area.top() + 120);
  EXPECT_EQ(p.form->pos(), QPoint(area.left(), area.top() + 120));
  p.form->move(area.left() + 50, area.top() + 120);
  EXPECT_EQ(p.form->pos(), QPoint(area.left() + 50, area.top() + 120));
}

TEST(AppSettingsWindow, PageStoredAndRestoredOutOfRangeGivesTheFirst) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nactiveTab=2\r\nExtsAss=.mp3 .ogg \r\n");
  platform::MessageRecorder rec;
  {
    Player p;
    app::TFormSettings& s = *p.windows->FormSettings;
    ASSERT_EQ(s.PageControl()->count(), 4);
    EXPECT_EQ(s.PageControl()->tabText(3).toStdString(), "Associations");  // from the language file
    s.show();
    EXPECT_EQ(s.PageControl()->currentIndex(), 2);
    EXPECT_FALSE(s.PictureControls()->isEnabled());
    // The association list: the playable extensions, ticked from "ExtsAss".
    QListWidget* files = s.ListViewFiles();
    ASSERT_GT(files->count(), 2);
    EXPECT_EQ(s.TickedExtensions(), ".mp3 .ogg ");
    s.PageControl()->setCurrentIndex(1);
    EXPECT_EQ(p.form->Settings().activeTab, 1);
    s.close();
    p.Close();
  }
  EXPECT_NE(dir.Read("OrvellaPlayer.ini").find("activeTab=1\r\n"), std::string::npos);
  for (const char* bad : {"9", "-1"}) {
    dir.Write("OrvellaPlayer.ini", std::string("[Options]\r\nfirstRun=0\r\nactiveTab=") + bad + "\r\n");
    Player p;
    app::TFormSettings& s = *p.windows->FormSettings;
    EXPECT_EQ(p.form->Settings().activeTab, std::stoi(bad));
    // The window was last on another page: the stored value that names no page shows the first.
    p.form->Settings().activeTab = 3;
    s.show();
    ASSERT_EQ(s.PageControl()->currentIndex(), 3);
    s.close();
    p.form->Settings().activeTab = std::stoi(bad);
    s.show();
    EXPECT_EQ(s.PageControl()->currentIndex(), 0) << bad;
    s.close();
  }
}

TEST(AppSettingsWindow, TrayBoxActsAtOnceStayOnTopIsKeptAsRead) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\ntrayIcon=1\r\nstayOnTop=1\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TFormSettings& s = *p.windows->FormSettings;
  s.show();
  EXPECT_TRUE(s.cbTrayIcon()->isChecked());
  EXPECT_TRUE(s.cbStayOnTop()->isChecked());
  ASSERT_NE(p.form->TrayIcon(), nullptr);
  EXPECT_TRUE(p.form->TrayIcon()->isVisible());
  s.cbTrayIcon()->click();
  EXPECT_FALSE(p.form->Settings().trayIcon);
  EXPECT_FALSE(p.form->TrayIcon()->isVisible());
  s.cbTrayIcon()->click();
  EXPECT_TRUE(p.form->TrayIcon()->isVisible());
  s.cbStayOnTop()->click();
  EXPECT_TRUE(p.form->Settings().stayOnTop);
  // Check all, then Associate: every extension stored and handed on with its tick.
  std::vector<std::pair<std::string, bool>> calls;
  s.onAssociate = [&](const std::vector<std::pair<std::string, bool>>& items) { calls = items; };
  s.findChild<QPushButton*>("ButtonUncheck")->click();
  s.ListViewFiles()->item(1)->setCheckState(Qt::Checked);
  s.findChild<QPushButton*>("ButtonAssociate")->click();
  const std::string second = s.ListViewFiles()->item(1)->text().toStdString();
  EXPECT_EQ(p.form->Settings().ExtsAss, second + " ");
  ASSERT_EQ(int(calls.size()), s.ListViewFiles()->count());
  EXPECT_EQ(calls[1], std::make_pair(second, true));
  EXPECT_FALSE(calls[0].second);
  s.close();
}

TEST(AppLinks, OnlyWebAndMailAddressesOpen) {
  EXPECT_EQ(app::LinkTarget("https://orvella-player.org/x").toString().toStdString(), "https://orvella-player.org/x");
  EXPECT_FALSE(app::LinkTarget("http://example.org").isEmpty());
  EXPECT_FALSE(app::LinkTarget("HTTP://example.org").isEmpty());
  EXPECT_FALSE(app::LinkTarget("mailto:team@orvella-player.org").isEmpty());
  for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "/usr/bin/xterm", "ftp://example.org",
                          "", "  ", "http://", "mailto:", "data:text/html,hi", "smb://host/share"})
    EXPECT_TRUE(app::LinkTarget(bad).isEmpty()) << bad;
  LinkCapture cap;
  EXPECT_FALSE(app::OpenLink("file:///etc/passwd"));
  EXPECT_TRUE(cap.opened.empty());
  EXPECT_TRUE(app::OpenLink("https://orvella-player.org"));
  ASSERT_EQ(cap.opened.size(), 1u);
}

TEST(AppLinks, AboutAndSoundfontLinksReachTheHandlerAndALanguageFileCannotRedirectThem) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  LinkCapture cap;
  {
    Player p;
    app::TFormAbout& about = *p.windows->FormAbout;
    EXPECT_EQ(about.windowTitle().toStdString(), "About Program");
    EXPECT_FALSE(about.ImageIcon()->pixmap().isNull());
    EXPECT_EQ(about.LabelSite()->cursor().shape(), Qt::PointingHandCursor);
    Press(about.LabelSite());
    Press(about.LabelMail());
    app::TFormMissing& missing = *p.windows->FormMissing;
    EXPECT_EQ(missing.windowTitle().toStdString(), "Need soundfont");
    EXPECT_EQ(missing.Text("LabelInfo2.Caption"), "Download and put it into \"plugins\" directory and restart program.");
    Press(missing.LabelLink());
    ASSERT_EQ(cap.opened.size(), 3u);
    EXPECT_EQ(cap.opened[0].toString().toStdString(), "https://orvella-player.org");
    EXPECT_EQ(cap.opened[1].toString().toStdString(), std::string("mailto:") + app::TFormAbout::kMail);
    EXPECT_EQ(cap.opened[2].toString().toStdString(), app::kSoundfontAddress);
    // OK closes About.
    about.show();
    about.findChild<QPushButton*>("ButtonOK")->click();
    EXPECT_FALSE(about.isVisible());
  }
  cap.opened.clear();
  for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)"}) {
    dir.Write("language/Evil.ini", std::string("[Interface]\r\nFormAbout.LabelSite.Caption=") + bad + "\r\n");
    dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nLanguage=Evil\r\n");
    Player p;
    app::TFormAbout& about = *p.windows->FormAbout;
    ASSERT_EQ(about.LabelSite()->text().toStdString(), bad);
    Press(about.LabelSite());
    EXPECT_TRUE(cap.opened.empty()) << bad;
  }
}
