// The visualisation control window over the real engine and driver: listing,
// the scale bar, Start and Stop with the running module drawn red, Config with
// a fault, and closing refused while a configuration is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <dlfcn.h>

#include "../AppTestUtil.h"
#include "ManagerTestUtil.h"
#include "app/Main.h"
#include "app/managers/FormVisControl.h"
#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"

using apptest::Player;
using apptest::ProgramDir;
using mgrtest::Texts;

namespace {

app::TVisControlForm* g_closing = nullptr;
bool g_closedWhileOpen = true;
std::vector<std::string> g_textsWhileOpen;
platform::MessageRecorder* g_recorder = nullptr;

}  // namespace

// Called by the test plug-in's long configuration while it is "open": the user tries to close the window.
extern "C" __attribute__((visibility("default"))) void mgrtest_vis_config_open() {
  if (!g_closing) return;
  const bool accepted = g_closing->close();
  g_closedWhileOpen = accepted || !g_closing->isVisible();
  if (g_recorder) g_textsWhileOpen = Texts(*g_recorder);
}

namespace {

struct VisRig : mgrtest::ManagerRig<app::TVisControlForm> {
  VisRig() : ManagerRig({{MGR_VIS_PLUGIN, "plugins/vis_mgrtest.so"}}) {
    mgrtest::WriteBytes(dir.File("plugins/vis_zzz.so.txt"), "not listed\n");
    Start(&app::TApplicationWindows::VisControlForm);
  }
};

}  // namespace

TEST(VisControl, ListsModulesAndShowingLeavesTheScaleAlone) {
  VisRig r;
  ASSERT_EQ(r.eng->VisScale(), 512);
  r.Show();
  EXPECT_EQ(r.form->windowTitle().toStdString(), "Winamp Visualization plug-in control");
  EXPECT_EQ(r.form->PluginList()->Names(), std::vector<std::string>{"vis_mgrtest.so"});
  EXPECT_EQ(r.form->Descript()->text().toStdString(), "Manager test visuals");
  ASSERT_EQ(r.form->VisModules()->RowCount(), 3);
  EXPECT_EQ(r.form->VisModules()->Cell(1, 0), "Long configuration");
  // (512 - 256) / 24 is 10; showing does not write 496 back.
  EXPECT_EQ(r.form->VisScaleBar()->value(), 10);
  EXPECT_EQ(r.eng->VisScale(), 512);
  EXPECT_EQ(r.form->VisScaleBar()->maximum(), 32);
  EXPECT_EQ(r.form->VisScaleBar()->tickInterval(), 4);
  r.form->VisScaleBar()->setValue(32);
  EXPECT_EQ(r.eng->VisScale(), 1024);
  r.form->VisScaleBar()->setValue(0);
  EXPECT_EQ(r.eng->VisScale(), 256);
  r.form->VisScaleBar()->setValue(11);
  EXPECT_EQ(r.eng->VisScale(), 11 * 24 + 256);
  EXPECT_TRUE(r.rec.Messages().empty());
}

TEST(VisControl, StartMarksTheRunningModuleAndStopEndsIt) {
  VisRig r;
  r.Show();
  r.form->VisModules()->Select(0);
  r.form->Start();
  ASSERT_TRUE(mgrtest::WaitFor([&] { return !r.form->RunningPath().empty(); }, 10000));
  EXPECT_EQ(r.form->RunningPath(), r.dir.File("plugins/vis_mgrtest.so"));
  EXPECT_EQ(r.form->RunningModule(), 0);
  EXPECT_TRUE(r.form->PluginList()->RowInUse(0));
  EXPECT_EQ(r.form->PluginList()->TextColour(0, true), QColor(Qt::yellow));
  // Red in the grid as it stands, and when listed again.
  EXPECT_TRUE(r.form->VisModules()->RowInUse(0));
  EXPECT_EQ(r.form->VisModules()->TextColour(0, false), QColor(Qt::red));
  r.form->Select(0);
  EXPECT_TRUE(r.form->VisModules()->RowInUse(0));
  EXPECT_FALSE(r.form->VisModules()->RowInUse(1));
  // The same library and module again: nothing.
  void* pin = dlopen(r.dir.File("plugins/vis_mgrtest.so").c_str(), RTLD_NOW);
  ASSERT_NE(pin, nullptr);
  auto inits = reinterpret_cast<int (*)()>(dlsym(pin, "mgrvis_inits"));
  auto quits = reinterpret_cast<int (*)()>(dlsym(pin, "mgrvis_quits"));
  EXPECT_EQ(inits(), 1);
  r.form->VisModules()->Select(0);
  r.form->Start();
  QTest::qWait(200);
  EXPECT_EQ(inits(), 1);
  EXPECT_EQ(quits(), 0);
  r.form->Stop();
  ASSERT_TRUE(mgrtest::WaitFor([&] { return r.form->RunningPath().empty(); }, 10000));
  EXPECT_EQ(quits(), 1);
  EXPECT_FALSE(r.form->PluginList()->RowInUse(0));
  EXPECT_FALSE(r.form->VisModules()->RowInUse(0));
  dlclose(pin);
  for (const auto& m : r.rec.Messages()) ADD_FAILURE() << m.text;
}

TEST(VisControl, AFaultInConfigShowsTheMessageAndClosingIsRefusedWhileAConfigurationIsOpen) {
  VisRig r;
  r.Show();
  r.form->VisModules()->Select(2);
  r.form->Configure();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Unknown error in plug-in."});
  EXPECT_EQ(r.rec.Messages()[0].caption, "Error");
  EXPECT_TRUE(r.form->isVisible());
  EXPECT_FALSE(r.form->Configuring());
  EXPECT_TRUE(r.form->PluginList()->isEnabled());
  r.rec.Clear();

  g_closing = r.form;
  g_recorder = &r.rec;
  r.form->VisModules()->Select(1);
  r.form->Configure();
  g_closing = nullptr;
  g_recorder = nullptr;
  EXPECT_FALSE(g_closedWhileOpen);
  EXPECT_EQ(g_textsWhileOpen, std::vector<std::string>{"Close plug-in's Configuration window first."});
  EXPECT_EQ(r.rec.Messages()[0].caption, "Confirm");
  // Once the configuration is over the window closes.
  EXPECT_TRUE(r.form->close());
  EXPECT_FALSE(r.form->isVisible());
}
