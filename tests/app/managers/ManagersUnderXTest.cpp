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
#include "../XTestUtil.h"
#include "ManagerTestUtil.h"
#include "app/AppWindows.h"
#include "app/Main.h"
#include "app/managers/FormAddonConfig.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/FormPluginConfig.h"
#include "app/managers/FormVisControl.h"
#include "app/managers/ManagerWidgets.h"

using apptest::ProgramDir;

namespace {

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

void Shoot(QWidget* w, const char* folder, const std::string& name) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 5000));
  QTest::qWait(300);
  ExpectWhole(w);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  const QRect frame = w->frameGeometry();
  EXPECT_TRUE(shot.copy(frame).save(QString(folder) + "/" + QString::fromStdString(name) + ".png"));
}

// Only the main window besides the manager window, so the picture is the manager's own.
void OnlyMainWindow(ProgramDir& dir) {
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\n");
}

}  // namespace

TEST(ManagersUnderX, AddonManager) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  mgrtest::ManagerRig<app::TAddonConfigForm> r({{MGR_TEST_ADDON, "plugins/bass/bass_test.so"}});
  OnlyMainWindow(r.dir);
  r.Start(&app::TApplicationWindows::AddonConfigForm);
  r.form->show();
  r.form->SetAddOnInUse("bass_flac.so");
  Shoot(r.form, artifacts, "addon-manager");
  for (const auto& m : r.rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(ManagersUnderX, InputPluginManager) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  mgrtest::ManagerRig<app::TPluginConfigForm> r({{MGR_INPUT_PLUGIN, "plugins/in_mgr.so"},
                                                 {MGR_PCM_PLUGIN, "plugins/in_testpcm.so"},
                                                 {std::string(ORVELLA_STAGE_DIR) + "/plugins/in_midi.so", "plugins/in_midi.so"}});
  OnlyMainWindow(r.dir);
  r.Start(&app::TApplicationWindows::PluginConfigForm);
  app::TPluginConfigForm* f = r.form;
  f->show();
  f->PluginList()->Select(2);  // in_testpcm.so (in_midi.so is loaded at start)
  f->Load();
  f->SetPluginInUse("in_midi.so");
  Shoot(f, artifacts, "input-plugin-manager");
  for (const auto& m : r.rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(ManagersUnderX, DSPControl) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  const std::string stage = std::string(ORVELLA_STAGE_DIR) + "/plugins/";
  mgrtest::ManagerRig<app::TDSPControlForm> r({{stage + "dsp_orvella.so", "plugins/dsp_orvella.so"},
                                               {stage + "dsp_gain1x.so", "plugins/dsp_gain1x.so"},
                                               {MGR_DSP_PLUGIN, "plugins/dsp_mgrtest.so"}});
  OnlyMainWindow(r.dir);
  r.Start(&app::TApplicationWindows::DSPControlForm);
  r.form->show();
  r.form->PluginList()->Select(2);  // dsp_orvella.so
  Shoot(r.form, artifacts, "dsp-control");
  for (const auto& m : r.rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(ManagersUnderX, VisControl) {
  XTEST_ARTIFACTS_OR_SKIP(artifacts);
  mgrtest::ManagerRig<app::TVisControlForm> r({{MGR_VIS_PLUGIN, "plugins/vis_mgrtest.so"}});
  OnlyMainWindow(r.dir);
  r.Start(&app::TApplicationWindows::VisControlForm);
  app::TVisControlForm* f = r.form;
  f->show();
  f->VisModules()->Select(1);
  f->Start();
  EXPECT_TRUE(mgrtest::WaitFor([&] { return !f->RunningPath().empty(); }, 10000));
  f->raise();
  Shoot(f, artifacts, "vis-control");
  f->Stop();
  EXPECT_TRUE(mgrtest::WaitFor([&] { return f->RunningPath().empty(); }, 10000));
  for (const auto& m : r.rec.Messages()) ADD_FAILURE() << m.text;
}
