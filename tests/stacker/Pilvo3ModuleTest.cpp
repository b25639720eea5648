// dsp_pilvo3.so as a host without a GUI sees it: its records, and headless
// runs that load the chain from plugin.ini at Init and save it at Quit.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "StackerTestUtil.h"
#include "plugins/sdk/winamp_dsp.h"

using namespace stackertest;

namespace {

winampDSPHeader* HeaderOf(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return nullptr;
  auto get = reinterpret_cast<winampDSPGetHeaderType>(dlsym(h, "winampDSPGetHeader2"));
  return get ? get() : nullptr;  // nodelete: the records stay valid
}

}  // namespace

TEST(Pilvo3Module, HeaderAndModuleRecords) {
  PluginFolder dir;
  winampDSPHeader* h = HeaderOf(dir.Copy("dsp_pilvo3.so"));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->version, 0x20);
  EXPECT_STREQ(h->description, "Pilvo2 1.1.1k");
  winampDSPModule* m = h->getModule(0);
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->description, "Pilvo2Multi DSP Module");
  EXPECT_EQ(m->userData, nullptr);
  EXPECT_EQ(h->getModule(1), nullptr);
  EXPECT_EQ(h->getModule(-1), nullptr);
  // Nothing else is exported: the stacker's own code cannot clash with a host's.
  void* lib = dlopen(dir.File("dsp_pilvo3.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(dlsym(lib, "_ZN8platform7IniFileC1ENSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"), nullptr);
  dlclose(lib);
}

TEST(Pilvo3Module, HeadlessRunLoadsTheChainProcessesAndSavesAtQuit) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Copy("dsp_gain1x.so");
  dir.Write("plugin.ini",
            "[in_midi]\nx=1\n[Pilvo]\nWindow=5,6\nWindowShade=0\nPlugins=dsp_orvella.so,0,1 dsp_missing.so,0,1 "
            "dsp_gain1x.so,0,1 dsp_orvella.so,1,0\n");
  winampDSPHeader* h = HeaderOf(dir.Copy("dsp_pilvo3.so"));
  ASSERT_NE(h, nullptr);
  winampDSPModule* m = h->getModule(0);
  auto buf = Sine(576, 1152);
  auto in = buf;
  EXPECT_EQ(m->ModifySamples(m, buf.data(), 576, 16, 2, 44100), 576);  // not started: untouched
  EXPECT_EQ(buf, in);
  ASSERT_EQ(m->Init(m), 0);
  EXPECT_EQ(m->Init(m), 0);  // running already: nothing happens
  double before = Rms(buf.data(), 1152);
  EXPECT_EQ(m->ModifySamples(m, buf.data(), 576, 16, 2, 44100), 576);
  EXPECT_NEAR(20 * std::log10(Rms(buf.data(), 1152) / before), -12.0, 0.05);
  m->Quit(m);
  // The missing library was dropped; the order and the disabled flag are kept.
  EXPECT_EQ(dir.Read("plugin.ini"),
            "[in_midi]\nx=1\n[Pilvo]\nWindow=5,6\nWindowShade=0\nPlugins=dsp_orvella.so,0,1 dsp_gain1x.so,0,1 "
            "dsp_orvella.so,1,0\nWindowDocked=0\n");
  auto again = in;
  EXPECT_EQ(m->ModifySamples(m, again.data(), 576, 16, 2, 44100), 576);  // stopped: untouched
  EXPECT_EQ(again, in);
  m->Quit(m);  // a second Quit does nothing
}

TEST(Pilvo3Module, AChainNamingTheStackerItselfIsRefused) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  winampDSPHeader* h = HeaderOf(dir.Copy("dsp_pilvo3.so"));
  dir.Copy("dsp_pilvo3.so", "dsp_pilvo3_copy.so");
  dir.Link("dsp_pilvo3.so", "dsp_pilvo3_link.so");
  dir.Write("plugin.ini", "[Pilvo]\nPlugins=dsp_pilvo3.so,0,1 dsp_pilvo3_link.so,0,1 dsp_pilvo3_copy.so,0,1 "
                          "dsp_orvella.so,0,1\n");
  ASSERT_NE(h, nullptr);
  winampDSPModule* m = h->getModule(0);
  ASSERT_EQ(m->Init(m), 0);
  m->Quit(m);
  EXPECT_EQ(dir.Read("plugin.ini"), "[Pilvo]\nPlugins=dsp_orvella.so,0,1\n");
}

// A QCoreApplication is no GUI: the stacker stays headless and loads at Init.
TEST(Pilvo3Module, AHostWithOnlyACoreApplicationRunsItHeadless) {
  static int argc = 1;
  static char name[] = "stacker_module_tests";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Write("plugin.ini", "[Pilvo]\nPlugins=dsp_orvella.so,0,1\n");
  winampDSPHeader* h = HeaderOf(dir.Copy("dsp_pilvo3.so"));
  ASSERT_NE(h, nullptr);
  winampDSPModule* m = h->getModule(0);
  ASSERT_EQ(m->Init(m), 0);
  short buf[8] = {1000, 1000, 1000, 1000};
  EXPECT_EQ(m->ModifySamples(m, buf, 2, 16, 2, 44100), 2);
  EXPECT_EQ(buf[0], 501);  // loaded at once, no event loop needed
  m->Quit(m);
  EXPECT_EQ(dir.Read("plugin.ini"), "[Pilvo]\nPlugins=dsp_orvella.so,0,1\n");
}
