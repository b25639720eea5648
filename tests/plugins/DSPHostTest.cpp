// DSP libraries and modules: loading, activation, the engine's messages, the
// input modules' DSP hook, and a module that faults on the play thread.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"

using namespace engine;
using namespace enginetest;

namespace {

const std::string kKit = std::string(ORV_TEST_PLUGINS) + "/dsp_testkit.so";
const std::string kEmpty = std::string(ORV_TEST_PLUGINS) + "/dsp_testempty.so";

int KitCounter(const char* name) {
  void* h = dlopen(kKit.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) return -1;
  auto f = reinterpret_cast<int (*)()>(dlsym(h, name));
  int v = f ? f() : -1;
  dlclose(h);
  return v;
}

std::vector<std::string> Texts(const platform::MessageRecorder& r) {
  std::vector<std::string> t;
  for (const auto& m : r.Messages()) t.push_back(m.text);
  return t;
}

}  // namespace

TEST(DSPHost, StartingModulesAndTheMessagesOfFailures) {
  ProgramDir dir;
  SilentOutput silent;
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(plugins::IsDSPBufferReady());
  // Held open here so the kit's counters survive the host unloading it.
  void* keep = dlopen(kKit.c_str(), RTLD_NOW);
  ASSERT_NE(keep, nullptr);

  EXPECT_FALSE(eng.StartDSPPlugin(kEmpty, 0));
  EXPECT_FALSE(eng.StartDSPPlugin(kKit, 7));  // seven modules: index 7 is one too far
  EXPECT_FALSE(eng.StartDSPPlugin(std::string(ORV_TEST_PLUGINS) + "/in_testpcm.so", 0));  // not a DSP plug-in
  EXPECT_EQ(Texts(msgs), (std::vector<std::string>{"Specified DSP plug-in is invalid", "Invalid module number",
                                                    "Specified DSP plug-in is invalid"}));
  msgs.Clear();

  ASSERT_TRUE(eng.StartDSPPlugin(kKit, 0));
  EXPECT_TRUE(plugins::IsDSPActive());
  EXPECT_EQ(plugins::DSPModuleCount(), 7);
  int inits = KitCounter("testkit_inits");
  EXPECT_TRUE(eng.StartDSPPlugin(kKit, 0));  // already active: Init is not called again
  EXPECT_EQ(KitCounter("testkit_inits"), inits);

  int quits = KitCounter("testkit_quits");
  EXPECT_FALSE(eng.StartDSPPlugin(kKit, 1));  // Init answers 1: the library is unloaded
  EXPECT_EQ(KitCounter("testkit_quits"), quits + 1);  // the running module was quit first
  EXPECT_EQ(Texts(msgs), std::vector<std::string>{"Specified DSP plug-in is not operative"});
  EXPECT_EQ(plugins::DSPModuleCount(), 0);
  EXPECT_FALSE(plugins::IsDSPActive());
  EXPECT_EQ(plugins::ActivateDSPModule(0), -1);  // nothing listed any more

  ASSERT_TRUE(eng.StartDSPPlugin(kKit, 0));
  eng.StopDSPPlugin();
  EXPECT_FALSE(plugins::IsDSPActive());
  EXPECT_EQ(plugins::DSPModuleCount(), 7);  // the library stays loaded
  dlclose(keep);
}

TEST(DSPHost, TheInputModulesHookKeepsTheCountWhenAModuleAnswersZeroOrLess) {
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
  short samples[64] = {};
  EXPECT_EQ(plugins::DSPDoSamples(samples, 16, 16, 2, 44100), 16);  // nothing active
  ASSERT_TRUE(eng.StartDSPPlugin(kKit, 3));
  EXPECT_EQ(plugins::DSPDoSamples(samples, 16, 16, 2, 44100), 16);
  ASSERT_TRUE(eng.StartDSPPlugin(kKit, 4));
  EXPECT_EQ(plugins::DSPDoSamples(samples, 16, 16, 2, 44100), 16);
  ASSERT_TRUE(eng.StartDSPPlugin(std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so", 2));
  EXPECT_EQ(plugins::DSPDoSamples(samples, 16, 16, 2, 44100), 32);
}

TEST(DSPHost, BlockSizes) {
  EXPECT_EQ(plugins::PlayBlockBytes(8, 1, 11025), 576u);
  EXPECT_EQ(plugins::PlayBlockBytes(16, 2, 44100), 4608u);
  EXPECT_EQ(plugins::PlayBlockBytes(16, 8, 48000), 18432u);
  EXPECT_LE(2 * plugins::PlayBlockBytes(16, 8, 48000), plugins::kDSPBufferSize);
}

// Switching modules while the play thread runs them: activation waits for the
// block in progress, so no module is quit or started during its own call.
TEST(DSPHost, ModulesChangeWhileThePlayThreadRunsThem) {
  ProgramDir dir;
  std::string wav = SineWav(3.0);
  CaptureOutput capture(dir.File("switch.wav"), 4);
  TZOZUZivade eng;
  platform::MessageRecorder msgs;
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  std::string orvella = std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so";
  for (int i = 0; i < 40 && eng.Mode() == plmPlaying; ++i) {
    ASSERT_TRUE(eng.StartDSPPlugin(orvella, i % 4));
    PumpUntil([] { return false; }, 10);
    if (i % 5 == 4) eng.StopDSPPlugin();
  }
  eng.Close();
  EXPECT_TRUE(msgs.Messages().empty());
}

TEST(DSPHost, AModuleThatFaultsOnThePlayThreadIsContained) {
  ProgramDir dir;
  std::string wav = SineWav(1.0);
  CaptureOutput capture(dir.File("fault.wav"), 1);
  platform::MessageRecorder msgs;
  int ends = 0;
  {
    TZOZUZivade eng;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.StartDSPPlugin(kKit, 2));
    int before = plugins::DSPFaultCount();
    ASSERT_TRUE(eng.Open(wav));
    eng.Play();
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
    EXPECT_EQ(plugins::DSPFaultCount(), before + 1);  // bypassed after its first fault
    EXPECT_EQ(eng.Mode(), plmStopped);
  }
  EXPECT_EQ(Texts(msgs), std::vector<std::string>{"DSP error"});
  // The faulting block contributed nothing; the rest of the file played.
  auto got = ReadWav16(dir.File("fault.wav"));
  auto src = ReadWav16(wav);
  EXPECT_NEAR(double(got.size()), double(src.size() - plugins::PlayBlockBytes(16, 2, 44100) / 2), 4);
}
