// The DSP control window over the real engine and plug-in host: listing,
// descriptions and modules, Start and Stop in the running player (what is heard
// changes), the same module twice, switching modules and libraries, Config with
// a fault, and no library left loaded by the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <dlfcn.h>

#include "../AppTestUtil.h"
#include "EngineTestUtil.h"
#include "ManagerTestUtil.h"
#include "app/Main.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/ManagerWidgets.h"
#include "engine/ZOZUZivade.h"
#include "plugins/PluginCtrl.h"

using apptest::Player;
using apptest::ProgramDir;
using mgrtest::Texts;

namespace {

const std::string kTestKit = std::string(MGR_TEST_PLUGINS) + "/dsp_testkit.so";
const std::string kEmpty = std::string(MGR_TEST_PLUGINS) + "/dsp_testempty.so";
const std::string kOrvella = std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so";

int Find(const app::TDetectedList& list, const std::string& name) {
  const auto names = list.Names();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return int(i);
  return -1;
}

std::vector<std::string> Modules(const app::TDSPControlForm& f) {
  std::vector<std::string> out;
  for (int i = 0; i < f.DSPModules()->count(); ++i) out.push_back(f.DSPModules()->item(i)->text().toStdString());
  return out;
}

// Keeps a library mapped (and its counters alive) while the host loads and frees it.
struct Pin {
  explicit Pin(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~Pin() {
    if (handle) dlclose(handle);
  }
  int Call(const char* name) const {
    auto f = reinterpret_cast<int (*)()>(dlsym(handle, name));
    return f ? f() : -1;
  }
  void* handle;
};

struct DSPRig : mgrtest::ManagerRig<app::TDSPControlForm> {
  explicit DSPRig(int captureSpeed = -1)
      : ManagerRig({{kOrvella, "plugins/dsp_orvella.so"},
                    {kTestKit, "plugins/dsp_testkit.so"},
                    {kEmpty, "plugins/DSP_Empty.so"},
                    {MGR_DSP_PLUGIN, "plugins/dsp_mgrtest.so"}}) {
    mgrtest::WriteBytes(dir.File("plugins/dsp_text.so"), "not a library\n");
    if (captureSpeed >= 0) capture = std::make_unique<enginetest::CaptureOutput>(dir.File("out.wav"), captureSpeed);
    Start(&app::TApplicationWindows::DSPControlForm);
  }
  // The capture output outlives the player that writes into it.
  ~DSPRig() override { player.reset(); }
  void Choose(const std::string& library, int module) {
    form->PluginList()->Select(Find(*form->PluginList(), library));
    form->DSPModules()->setCurrentRow(module);
  }
  std::unique_ptr<enginetest::CaptureOutput> capture;
};

// Largest magnitude of the left channel between two times (seconds) of a stereo capture.
int Peak(const std::vector<int16_t>& s, size_t first, double from, double to) {
  int peak = 0;
  const size_t a = first + size_t(from * 44100) * 2, b = std::min(s.size(), first + size_t(to * 44100) * 2);
  for (size_t i = a; i < b; i += 2) peak = std::max(peak, std::abs(int(s[i])));
  return peak;
}

}  // namespace

TEST(DSPControl, ListsLibrariesWithTheirDescriptionAndModules) {
  DSPRig r;
  r.Show();
  EXPECT_EQ(r.form->windowTitle().toStdString(), "Winamp DSP plug-in control");
  EXPECT_EQ(r.form->PluginList()->Names(), (std::vector<std::string>{"DSP_Empty.so", "dsp_mgrtest.so",
                                                                     "dsp_orvella.so", "dsp_testkit.so", "dsp_text.so"}));
  // The first is selected and listed: a header without modules.
  EXPECT_EQ(r.form->PluginList()->SelectedIndex(), 0);
  EXPECT_EQ(r.form->Descript()->text().toStdString(), "Test kit");
  EXPECT_TRUE(Modules(*r.form).empty());
  r.form->Configure();
  r.form->Start();
  EXPECT_EQ(Texts(r.rec), (std::vector<std::string>{"Invalid plug-in.", "Invalid plug-in."}));
  EXPECT_EQ(r.rec.Messages()[0].caption, "Error");
  EXPECT_FALSE(plugins::IsDSPActive());

  r.form->PluginList()->Select(Find(*r.form->PluginList(), "dsp_orvella.so"));
  EXPECT_EQ(r.form->Descript()->text().toStdString(), "Orvella DSP modules");
  EXPECT_EQ(Modules(*r.form), (std::vector<std::string>{"Gain -6 dB", "Stereo widener",
                                                        "Half speed (twice the samples)", "Soft limiter"}));
  EXPECT_TRUE(r.form->ListingLoaded());
  // Not a library: nothing listed, nothing held.
  r.form->PluginList()->Select(Find(*r.form->PluginList(), "dsp_text.so"));
  EXPECT_TRUE(Modules(*r.form).empty());
  EXPECT_TRUE(r.form->Descript()->text().isEmpty());
  EXPECT_FALSE(r.form->ListingLoaded());
  // Closing frees the window's library.
  r.form->PluginList()->Select(Find(*r.form->PluginList(), "dsp_orvella.so"));
  EXPECT_TRUE(r.form->ListingLoaded());
  r.form->close();
  EXPECT_FALSE(r.form->ListingLoaded());
  EXPECT_EQ(r.rec.Messages().size(), 2u);
}

TEST(DSPControl, SameModuleTwiceChangesNothingAnotherModuleOrLibrarySwitches) {
  DSPRig r;
  Pin kit(r.dir.File("plugins/dsp_testkit.so"));
  ASSERT_NE(kit.handle, nullptr);
  r.Show();
  r.Choose("dsp_testkit.so", 0);
  r.form->Start();
  ASSERT_TRUE(plugins::IsDSPActive());
  EXPECT_EQ(r.form->StartedPath(), r.dir.File("plugins/dsp_testkit.so"));
  EXPECT_EQ(kit.Call("testkit_inits"), 1);
  // The host's records are listed now; the same module again is left alone.
  EXPECT_EQ(Modules(*r.form).size(), 7u);
  r.form->Start();
  EXPECT_EQ(kit.Call("testkit_inits"), 1);
  EXPECT_EQ(kit.Call("testkit_quits"), 0);
  // Another module of the running library: switched to (the first quits, the second starts).
  r.form->DSPModules()->setCurrentRow(3);
  r.form->Start();
  EXPECT_EQ(plugins::ActiveDSPModule(), 3);
  EXPECT_EQ(kit.Call("testkit_inits"), 2);
  EXPECT_EQ(kit.Call("testkit_quits"), 1);
  // Another library: the first is stopped once, the new one runs.
  r.Choose("dsp_orvella.so", 0);
  r.form->Start();
  EXPECT_EQ(kit.Call("testkit_quits"), 2);
  EXPECT_EQ(kit.Call("testkit_inits"), 2);
  EXPECT_TRUE(plugins::IsDSPActive());
  EXPECT_TRUE(app::SameName(plugins::GetDSPLibraryName(), r.dir.File("plugins/dsp_orvella.so")));
  // A module that refuses to start: the engine says so and nothing is remembered.
  r.Choose("dsp_testkit.so", 1);
  r.form->Start();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Specified DSP plug-in is not operative"});
  EXPECT_TRUE(r.form->StartedPath().empty());
  EXPECT_FALSE(plugins::IsDSPActive());
  // Stop without a started library does nothing; a started one is stopped and forgotten.
  r.form->Stop();
  r.Choose("dsp_testkit.so", 0);
  r.form->Start();
  ASSERT_TRUE(plugins::IsDSPActive());
  const int quits = kit.Call("testkit_quits");
  r.form->Stop();
  EXPECT_FALSE(plugins::IsDSPActive());
  EXPECT_EQ(kit.Call("testkit_quits"), quits + 1);
  EXPECT_TRUE(r.form->StartedPath().empty());
  // Closed with nothing running: neither the window nor the host keeps a library.
  r.form->close();
  EXPECT_FALSE(r.form->ListingLoaded());
  EXPECT_EQ(plugins::DSPModuleCount(), 0);
  EXPECT_TRUE(plugins::GetDSPLibraryName().empty());
}

TEST(DSPControl, AModuleStartedFromTheWindowKeepsRunningAfterItCloses) {
  DSPRig r;
  r.Show();
  r.Choose("dsp_orvella.so", 1);
  r.form->Start();
  r.form->close();
  EXPECT_TRUE(plugins::IsDSPActive());
  EXPECT_EQ(plugins::ActiveDSPModule(), 1);
  // Shown again, the running library is listed from the host's records.
  r.Show();
  r.form->PluginList()->Select(Find(*r.form->PluginList(), "dsp_orvella.so"));
  EXPECT_FALSE(r.form->ListingLoaded());
  EXPECT_EQ(Modules(*r.form).size(), 4u);
  r.form->Stop();
  EXPECT_FALSE(plugins::IsDSPActive());
}

TEST(DSPControl, ConfigGetsTheWindowAsParentAndAFaultLeavesTheWindowUp) {
  DSPRig r;
  r.Show();
  r.Choose("dsp_mgrtest.so", 0);
  r.form->Configure();
  Pin pin(r.dir.File("plugins/dsp_mgrtest.so"));
  EXPECT_EQ(pin.Call("mgrdsp_configs"), 1);
  auto parent = reinterpret_cast<platform::HWND (*)()>(dlsym(pin.handle, "mgrdsp_parent"));
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(parent(), r.form->Handle());
  r.form->DSPModules()->setCurrentRow(1);
  r.form->Configure();
  EXPECT_EQ(Texts(r.rec), std::vector<std::string>{"Unknown error in plug-in."});
  EXPECT_EQ(r.rec.Messages()[0].caption, "Error");
  EXPECT_TRUE(r.form->isVisible());
  r.form->DSPModules()->setCurrentRow(0);
  r.form->Configure();
  EXPECT_EQ(pin.Call("mgrdsp_configs"), 2);
}

TEST(DSPControl, WhatIsHeardHalvesWhileTheGainModuleRunsAndComesBackAfterStop) {
  const std::string sine = enginetest::SineWav(9.0);
  ASSERT_FALSE(sine.empty());
  std::vector<int16_t> heard;
  uint32_t started = 0, stopped = 0;
  {
    DSPRig r(2);
    ASSERT_TRUE(r.eng->Ready());
    const std::string file = r.dir.File("tone.wav");
    mgrtest::Copy(sine, file);
    ASSERT_TRUE(r.eng->Open(file));
    ASSERT_FALSE(r.eng->SingleChannel());  // the play thread runs the module
    r.eng->Play();
    ASSERT_TRUE(mgrtest::WaitFor([&] { return r.eng->GetPosition() >= 2000; }, 20000));
    r.Show();
    r.Choose("dsp_orvella.so", 0);
    r.form->Start();
    started = r.eng->GetPosition();
    ASSERT_TRUE(plugins::IsDSPActive());
    ASSERT_TRUE(mgrtest::WaitFor([&] { return r.eng->GetPosition() >= started + 3000; }, 20000));
    r.form->Stop();
    stopped = r.eng->GetPosition();
    ASSERT_FALSE(plugins::IsDSPActive());
    ASSERT_TRUE(mgrtest::WaitFor([&] { return r.eng->Mode() == engine::plmStopped; }, 20000));
    EXPECT_TRUE(r.rec.Messages().empty());
    r.player->Close();
    r.player.reset();  // the engine goes: the capture is complete
    heard = enginetest::ReadWav16(r.dir.File("out.wav"));
  }
  ASSERT_FALSE(heard.empty());
  size_t first = 0;
  while (first < heard.size() && heard[first] == 0) ++first;
  first -= first % 2;
  // Quarter seconds of what was heard: full level, then half while the module ran, then full again.
  // Where the change falls depends on the output's latency, its length on the time the module ran.
  std::vector<int> peaks;
  for (double t = 0; t + 0.25 <= double(heard.size() - first) / 2 / 44100; t += 0.25)
    peaks.push_back(Peak(heard, first, t, t + 0.25));
  ASSERT_GT(peaks.size(), 30u);
  const int full = peaks[1];
  ASSERT_GT(full, 1000);
  std::string profile;
  for (int p : peaks) profile += p > full * 97 / 100 ? 'F' : std::abs(p - full / 2) <= full / 50 ? 'h' : '.';
  const size_t halfFrom = profile.find('h'), halfTo = profile.rfind('h');
  ASSERT_NE(halfFrom, std::string::npos) << profile;
  EXPECT_EQ(profile.find_first_not_of('h', halfFrom), halfTo + 1) << profile;
  EXPECT_EQ(profile.substr(0, halfFrom - 1).find_first_not_of('F'), std::string::npos) << profile;
  EXPECT_GE(halfFrom, 7u) << profile;  // two seconds played before the module started
  const size_t back = profile.find('F', halfTo);
  ASSERT_NE(back, std::string::npos) << profile;
  EXPECT_LE(back, halfTo + 2) << profile;
  EXPECT_NEAR((halfTo - halfFrom + 1) * 0.25, (stopped - started) / 1000.0, 0.6) << profile;
}
