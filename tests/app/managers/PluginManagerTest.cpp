// The input plug-in manager over the real engine and plug-in host: listing,
// Load and Unload with every result, the plug-in in use, Config and About
// (a faulting Config included), and the engine's ShowPluginConfig.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <dlfcn.h>

#include "../AppTestUtil.h"
#include "EngineTestUtil.h"
#include "ManagerTestUtil.h"
#include "app/Main.h"
#include "app/managers/FormPluginConfig.h"
#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"
#include "plugins/PluginCtrl.h"

using apptest::Player;
using apptest::ProgramDir;
using mgrtest::Texts;

namespace {

int Find(const app::TDetectedList& list, const std::string& name) {
  const auto names = list.Names();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return int(i);
  return -1;
}

int GridRow(const app::TManagerGrid& grid, const std::string& name) {
  for (int r = 0; r < grid.RowCount(); ++r)
    if (grid.Cell(r, 0) == name) return r;
  return -1;
}

// A counter the test plug-in exports, read from the copy the host loaded.
int Counter(const std::string& plugin, const char* symbol) {
  const int slot = plugins::GetPluginIndex(plugin);
  if (slot < 0) return -1;
  auto* f = reinterpret_cast<int (*)()>(dlsym(plugins::GetPluginInfo(slot).DLLHandle, symbol));
  return f ? f() : -1;
}

struct PluginRig : mgrtest::ManagerRig<app::TPluginConfigForm> {
  PluginRig() : ManagerRig({{MGR_INPUT_PLUGIN, "plugins/in_mgr.so"}}) {
    Start(&app::TApplicationWindows::PluginConfigForm);
  }
  void LoadFromList(const std::string& name) {
    form->PluginList()->Select(Find(*form->PluginList(), name));
    form->Load();
  }
};

}  // namespace

TEST(PluginManager, WithoutInputPluginsBothListsAndLoadAreDisabled) {
  ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  app::TPluginConfigForm* f = p.windows->PluginConfigForm.get();
  f->show();
  QApplication::processEvents();
  EXPECT_EQ(f->windowTitle().toStdString(), "Winamp Input plug-in Configuration");
  EXPECT_EQ(f->PluginList()->count(), 0);
  EXPECT_FALSE(f->PluginList()->isEnabled());
  EXPECT_FALSE(f->PluginGrid()->isEnabled());
  EXPECT_FALSE(f->btnLoad()->isEnabled());
  EXPECT_EQ(f->PluginGrid()->RowCount(), 0);
  rec.Clear();
  f->Load();
  f->Unload();
  f->Configure();
  f->About();
  EXPECT_EQ(Texts(rec), (std::vector<std::string>{"Select plug-in to load first", "No plug-ins are loaded",
                                                  "No plug-ins to configure are loaded",
                                                  "No plug-ins to query are loaded"}));
  EXPECT_EQ(rec.Messages()[0].caption, "Confirm");
}

TEST(PluginManager, EachLoadAndUnloadResultShowsItsText) {
  PluginRig r;
  mgrtest::Copy(std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so", r.dir.File("plugins/in_nomodule.so"));
  mgrtest::WriteBytes(r.dir.File("plugins/in_text.so"), "plain text\n");
  mgrtest::WriteBytes(r.dir.File("plugins/in_x86.so"), mgrtest::Elf32Header());
  r.Show();
  EXPECT_EQ(r.form->PluginList()->Names(),
            (std::vector<std::string>{"in_mgr.so", "in_nomodule.so", "in_text.so", "in_x86.so"}));
  EXPECT_EQ(r.form->PluginGrid()->RowCount(), 0);

  r.LoadFromList("in_mgr.so");
  EXPECT_TRUE(r.rec.Messages().empty());
  app::TManagerGrid* grid = r.form->PluginGrid();
  ASSERT_EQ(grid->RowCount(), 1);
  EXPECT_EQ(grid->Cell(0, 0), "in_mgr.so");
  EXPECT_EQ(grid->Cell(0, 1), "Manager test plug-in");
  EXPECT_EQ(grid->Cell(0, 2), "MGRT");
  EXPECT_EQ(grid->SelectedRow(), 0);
  // Loaded: grey, and Load is disabled while it is selected; asked all the same, refused.
  EXPECT_TRUE(r.form->PluginList()->IsGrey(0));
  EXPECT_FALSE(r.form->btnLoad()->isEnabled());
  r.form->Load();
  r.LoadFromList("in_nomodule.so");
  r.LoadFromList("in_text.so");
  r.LoadFromList("in_x86.so");
  EXPECT_EQ(Texts(r.rec), (std::vector<std::string>{"Load denied : Already loaded before",
                                                    "Load denied : Not a valid Winamp input plug-in",
                                                    "Load denied : Unknown Error", "Load denied : Unknown Error"}));
  EXPECT_EQ(grid->RowCount(), 1);

  // Unloaded behind the window's back, then from the window.
  ASSERT_EQ(plugins::UnloadInputPlugin("in_mgr.so"), 0);
  r.rec.Clear();
  grid->Select(0);
  r.form->Unload();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Cannot unload : Plug-in is not loaded"});
}

TEST(PluginManager, NoMoreThanEightPlugins) {
  PluginRig r;
  for (int i = 1; i <= 8; ++i) mgrtest::Copy(MGR_INPUT_PLUGIN, r.dir.File("plugins/in_mgr" + std::to_string(i) + ".so"));
  r.Show();
  int loaded = 0;
  for (int i = 0; i <= 8 && r.rec.Messages().empty(); ++i) {
    r.LoadFromList(i == 0 ? std::string("in_mgr.so") : "in_mgr" + std::to_string(i) + ".so");
    if (r.rec.Messages().empty()) ++loaded;
  }
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Load denied : Max. number of plug-ins loaded"});
  EXPECT_EQ(r.form->PluginGrid()->RowCount(), plugins::kMaxInputPlugins);
  EXPECT_EQ(loaded, plugins::kMaxInputPlugins);
  // Unloading every row from the window empties the grid.
  r.rec.Clear();
  while (r.form->PluginGrid()->RowCount() > 0) {
    const int before = r.form->PluginGrid()->RowCount();
    r.form->PluginGrid()->Select(0);
    r.form->Unload();
    ASSERT_EQ(r.form->PluginGrid()->RowCount(), before - 1) << (r.rec.Messages().empty() ? "" : Texts(r.rec)[0]);
  }
  EXPECT_TRUE(r.rec.Messages().empty());
  for (int i = 0; i < plugins::kMaxInputPlugins; ++i) EXPECT_EQ(plugins::GetInputModule(i), nullptr);
}

TEST(PluginManager, ThePluginInUseIsRedAndCannotBeUnloaded) {
  PluginRig r;
  mgrtest::Copy(MGR_PCM_PLUGIN, r.dir.File("plugins/in_testpcm.so"));
  const std::string file = r.dir.File("tone.tpcm");
  mgrtest::Copy(enginetest::SineWav(10.0), file);
  r.Show();
  r.LoadFromList("in_testpcm.so");
  ASSERT_TRUE(r.rec.Messages().empty());
  app::TManagerGrid* grid = r.form->PluginGrid();
  const int row = GridRow(*grid, "in_testpcm.so");
  ASSERT_GE(row, 0);
  ASSERT_TRUE(r.eng->Open(file));
  r.eng->Play();
  // Until the plug-in's output is open the engine's Stop does not reach the plug-in.
  ASSERT_TRUE(mgrtest::WaitFor([&] { return r.eng->Mode() == engine::plmPlaying && r.eng->PluginOutputOpen(); }, 10000));
  EXPECT_EQ(r.form->PluginInUse(), "in_testpcm.so");
  EXPECT_EQ(grid->TextColour(row, false), QColor(Qt::red));
  EXPECT_EQ(grid->TextColour(row, true), QColor(Qt::yellow));
  grid->Select(row);
  EXPECT_FALSE(r.form->btnUnload()->isEnabled());
  r.form->Unload();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Cannot unload : Plug-in is in use"});
  EXPECT_NE(plugins::GetPluginIndex("in_testpcm.so"), -1);
  r.eng->Stop();
  r.eng->Close();
  EXPECT_EQ(r.form->PluginInUse(), "");
  EXPECT_TRUE(r.form->btnUnload()->isEnabled());
  r.rec.Clear();
  r.form->Unload();
  EXPECT_TRUE(r.rec.Messages().empty());
  EXPECT_EQ(plugins::GetPluginIndex("in_testpcm.so"), -1);
  EXPECT_EQ(GridRow(*grid, "in_testpcm.so"), -1);
}

TEST(PluginManager, ConfigAndAboutGetTheWindowAsParentAndAFaultLeavesTheWindowUp) {
  PluginRig r;
  mgrtest::Copy(MGR_FAULT_PLUGIN, r.dir.File("plugins/in_mgrfault.so"));
  r.Show();
  r.LoadFromList("in_mgr.so");
  r.LoadFromList("in_mgrfault.so");
  ASSERT_TRUE(r.rec.Messages().empty());
  app::TManagerGrid* grid = r.form->PluginGrid();
  r.form->PluginGrid()->clearSelection();
  r.form->Configure();
  r.form->About();
  EXPECT_EQ(Texts(r.rec), (std::vector<std::string>{"Select plug-in to configure first", "Select plug-in to query first"}));
  r.rec.Clear();
  grid->Select(GridRow(*grid, "in_mgr.so"));
  r.form->Configure();
  r.form->About();
  r.form->About();
  EXPECT_TRUE(r.rec.Messages().empty());
  EXPECT_EQ(Counter("in_mgr.so", "mgrtest_configs"), 1);
  EXPECT_EQ(Counter("in_mgr.so", "mgrtest_abouts"), 2);
  auto parent = reinterpret_cast<platform::HWND (*)()>(
      dlsym(plugins::GetPluginInfo(plugins::GetPluginIndex("in_mgr.so")).DLLHandle, "mgrtest_parent"));
  ASSERT_NE(parent, nullptr);
  EXPECT_NE(r.form->Handle(), nullptr);
  EXPECT_EQ(parent(), r.form->Handle());
  EXPECT_TRUE(platform::IsWindow(r.form->Handle()));

  grid->Select(GridRow(*grid, "in_mgrfault.so"));
  r.form->Configure();
  ASSERT_EQ(r.rec.Messages().size(), 1u);
  EXPECT_EQ(r.rec.Messages()[0].text, "Unknown error in plug-in.");
  EXPECT_EQ(r.rec.Messages()[0].caption, "Error");
  EXPECT_TRUE(r.form->isVisible());
  EXPECT_EQ(Counter("in_mgrfault.so", "mgrtest_configs"), 1);
  // The guard is ready for the next call, and the window goes on working.
  r.form->Configure();
  EXPECT_EQ(r.rec.Messages().size(), 2u);
  r.rec.Clear();
  r.form->About();
  EXPECT_TRUE(r.rec.Messages().empty());
  EXPECT_EQ(Counter("in_mgrfault.so", "mgrtest_abouts"), 1);
}

TEST(PluginManager, InputPluginSetupShowsTheWindowThroughTheEngineWithPluginFirst) {
  PluginRig r;
  r.eng->SetPluginFirst(true);
  r.player->form->Action("PMPluginSetup")->trigger();
  EXPECT_EQ(r.player->modalShown, std::vector<std::string>{"PluginConfigForm"});
  EXPECT_TRUE(r.form->cbPluginFirst()->isChecked());
  EXPECT_TRUE(r.eng->PluginFirst());
  // The box posts its state to the engine window.
  r.form->cbPluginFirst()->setChecked(false);
  EXPECT_TRUE(r.eng->PluginFirst());  // posted, not yet handled
  ASSERT_TRUE(mgrtest::WaitFor([&] { return !r.eng->PluginFirst(); }, 3000));
  r.form->cbPluginFirst()->setChecked(true);
  ASSERT_TRUE(mgrtest::WaitFor([&] { return r.eng->PluginFirst(); }, 3000));
  r.eng->SetPluginFirst(false);
  r.eng->ShowPluginConfig();
  EXPECT_EQ(r.player->modalShown.size(), 2u);
  EXPECT_FALSE(r.form->cbPluginFirst()->isChecked());
  QApplication::processEvents();
  EXPECT_FALSE(r.eng->PluginFirst());  // setting the box from the engine posts nothing
  EXPECT_TRUE(r.rec.Messages().empty());
}

TEST(PluginManager, InputPluginSetupWithoutTheLibrarySaysThePlayerIsNotReady) {
  ProgramDir dir({.withLibrary = false});
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\n");
  platform::MessageRecorder rec;
  Player p;
  rec.Clear();
  p.form->Action("PMPluginSetup")->trigger();
  EXPECT_EQ(Texts(rec), std::vector<std::string>{"Player is not ready !"});
  EXPECT_TRUE(p.modalShown.empty());
}

TEST(PluginManagerTexts, EveryResultCodeHasItsText) {
  using app::TPluginConfigForm;
  EXPECT_EQ(TPluginConfigForm::ResultText(0), "");
  EXPECT_EQ(TPluginConfigForm::ResultText(1), "Load denied : Output plug-in is not ready");
  EXPECT_EQ(TPluginConfigForm::ResultText(2), "Load denied : Already loaded before");
  EXPECT_EQ(TPluginConfigForm::ResultText(3), "Load denied : Max. number of plug-ins loaded");
  EXPECT_EQ(TPluginConfigForm::ResultText(4), "Load denied : Unknown Error");
  EXPECT_EQ(TPluginConfigForm::ResultText(5), "Load denied : Not a valid Winamp input plug-in");
  EXPECT_EQ(TPluginConfigForm::ResultText(6), "Cannot unload : Unknown Error");
  EXPECT_EQ(TPluginConfigForm::ResultText(7), "Cannot unload : Plug-in is not loaded");
  EXPECT_EQ(TPluginConfigForm::ResultText(8), "Cannot unload : Plug-in is in use");
  EXPECT_EQ(TPluginConfigForm::ResultText(9), "");
}
