// The manager windows on a real X server (CTest runs this under xvfb-run with
// QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS set): every control lies inside
// its window and gets the room its text asks for. Each window's picture is
// saved into the folder.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include "../AppTestUtil.h"
#include "ManagerTestUtil.h"
#include "app/AppWindows.h"
#include "app/Main.h"
#include "app/managers/FormAddonConfig.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/FormPluginConfig.h"
#include "app/managers/FormVisControl.h"
#include "app/managers/ManagerWidgets.h"

using apptest::Player;
using apptest::ProgramDir;

namespace {

const char* Artifacts() {
  const char* a = std::getenv("ORVELLA_X_ARTIFACTS");
  return a && QString(qgetenv("QT_QPA_PLATFORM")) == "xcb" ? a : nullptr;
}

// Every visible control of `w` inside the window, and every button or label wide enough for its text.
void ExpectWhole(QWidget* w) {
  const QRect inside = w->rect();
  for (QWidget* c : w->findChildren<QWidget*>()) {
    if (!c->isVisibleTo(w) || c->isWindow()) continue;
    const QRect r(c->mapTo(w, QPoint(0, 0)), c->size());
    EXPECT_TRUE(inside.contains(r)) << w->objectName().toStdString() << ": " << c->objectName().toStdString() << " at "
                                    << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    if (auto* b = qobject_cast<QAbstractButton*>(c)) {
      EXPECT_GE(b->width(), b->minimumSizeHint().width()) << b->text().toStdString();
    } else if (auto* l = qobject_cast<QLabel*>(c)) {
      EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text())) << l->text().toStdString();
    }
  }
}

void Shoot(QWidget* w, const std::string& name) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 5000));
  QTest::qWait(300);
  ExpectWhole(w);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  const QRect frame = w->frameGeometry();
  EXPECT_TRUE(shot.copy(frame).save(QString(Artifacts()) + "/" + QString::fromStdString(name) + ".png"));
}

}  // namespace

TEST(ManagersUnderX, AddonManager) {
  if (!Artifacts()) GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>";
  QDir().mkpath(Artifacts());
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\n");
  mgrtest::Copy(MGR_TEST_ADDON, dir.File("plugins/bass/bass_test.so"));
  platform::MessageRecorder rec;
  Player p;
  app::TAddonConfigForm* f = p.windows->AddonConfigForm.get();
  f->show();
  f->SetAddOnInUse("bass_flac.so");
  Shoot(f, "addon-manager");
  EXPECT_TRUE(rec.Messages().empty());
}

TEST(ManagersUnderX, InputPluginManager) {
  if (!Artifacts()) GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>";
  QDir().mkpath(Artifacts());
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\n");
  mgrtest::Copy(MGR_INPUT_PLUGIN, dir.File("plugins/in_mgr.so"));
  mgrtest::Copy(MGR_PCM_PLUGIN, dir.File("plugins/in_testpcm.so"));
  mgrtest::Copy(std::string(ORVELLA_STAGE_DIR) + "/plugins/in_midi.so", dir.File("plugins/in_midi.so"));
  platform::MessageRecorder rec;
  Player p;
  app::TPluginConfigForm* f = p.windows->PluginConfigForm.get();
  f->show();
  f->PluginList()->Select(2);  // in_testpcm.so (in_midi.so is loaded at start)
  f->Load();
  f->SetPluginInUse("in_midi.so");
  Shoot(f, "input-plugin-manager");
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(ManagersUnderX, DSPControl) {
  if (!Artifacts()) GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>";
  QDir().mkpath(Artifacts());
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\n");
  mgrtest::Copy(std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so", dir.File("plugins/dsp_orvella.so"));
  mgrtest::Copy(std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_gain1x.so", dir.File("plugins/dsp_gain1x.so"));
  mgrtest::Copy(MGR_DSP_PLUGIN, dir.File("plugins/dsp_mgrtest.so"));
  platform::MessageRecorder rec;
  Player p;
  app::TDSPControlForm* f = p.windows->DSPControlForm.get();
  f->show();
  f->PluginList()->Select(2);  // dsp_orvella.so
  Shoot(f, "dsp-control");
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(ManagersUnderX, VisControl) {
  if (!Artifacts()) GTEST_SKIP() << "run under Xvfb with QT_QPA_PLATFORM=xcb and ORVELLA_X_ARTIFACTS=<folder>";
  QDir().mkpath(Artifacts());
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\n");
  mgrtest::Copy(MGR_VIS_PLUGIN, dir.File("plugins/vis_mgrtest.so"));
  platform::MessageRecorder rec;
  Player p;
  app::TVisControlForm* f = p.windows->VisControlForm.get();
  f->show();
  f->VisModules()->Select(1);
  f->Start();
  EXPECT_TRUE(mgrtest::WaitFor([&] { return !f->RunningPath().empty(); }, 10000));
  f->raise();
  Shoot(f, "vis-control");
  f->Stop();
  EXPECT_TRUE(mgrtest::WaitFor([&] { return f->RunningPath().empty(); }, 10000));
  for (const auto& m : rec.Messages()) ADD_FAILURE() << m.text;
}
