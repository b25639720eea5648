// The chain: loading entries, refusals, processing with stretching, disabled,
// 1.x and faulting modules, and the scratch room the host's buffer allows.
#include <gtest/gtest.h>

#include <memory>

#include "StackerTestUtil.h"
#include "stacker/Stacker.h"

using namespace pilvo;
using namespace stackertest;

namespace {

std::unique_ptr<TStacker> MakeStacker(const PluginFolder& dir) {
  TStacker::Options o;
  o.PluginFolder = dir.Path();
  o.SelfPath = dir.File("dsp_pilvo3.so");
  return std::make_unique<TStacker>(o);
}

double Db(double ratio) { return 20 * std::log10(ratio); }

}  // namespace

TEST(StackerChain, AnEmptyChainLeavesTheSamplesUntouched) {
  PluginFolder dir;
  auto s = MakeStacker(dir);
  auto in = Sine(576, 1152);
  auto buf = in;
  EXPECT_EQ(s->ModifySamples(buf.data(), 576, 16, 2, 44100), 576);
  EXPECT_EQ(buf, in);
}

TEST(StackerChain, TwoGainsOfMinus6dBMeasureMinus12dB) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Copy("dsp_orvella.so", "dsp_orvella_copy.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 0, 1));
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella_copy.so", 0, 1));
  auto buf = Sine(1152, 2304);
  double before = Rms(buf.data(), 2304);
  ASSERT_EQ(s->ModifySamples(buf.data(), 1152, 16, 2, 44100), 1152);
  EXPECT_NEAR(Db(Rms(buf.data(), 2304) / before), -12.0, 0.05);
}

TEST(StackerChain, HalfSpeedThenGainDoublesTheCountAndGainsEveryFrame) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 2, 1));
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 0, 1));
  auto in = Sine(576, 1152);
  auto buf = in;
  ASSERT_EQ(s->ModifySamples(buf.data(), 576, 16, 2, 44100), 1152);
  const double g = std::pow(10.0, -6.0 / 20.0);
  for (int i = 0; i < 1152; ++i) {
    short want = short(std::lround(in[size_t(i / 2) * 2] * g));
    ASSERT_EQ(buf[size_t(i) * 2], want) << "frame " << i;
    ASSERT_EQ(buf[size_t(i) * 2 + 1], want) << "frame " << i;
  }
}

TEST(StackerChain, ADisabledEntryIsSkippedAndActsFromTheNextBlockWhenEnabled) {
  PluginFolder dir;
  std::string kit = dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 7, 0));
  std::vector<short> buf(8, 5);
  s->ModifySamples(buf.data(), 2, 16, 2, 44100);
  EXPECT_EQ(buf[0], 5);
  EXPECT_EQ(Counter(kit, "stacktest_calls", 7), 0);
  s->SelectRow(0);
  s->ToggleEntry();
  s->ModifySamples(buf.data(), 2, 16, 2, 44100);
  EXPECT_EQ(buf[0], 105);
  EXPECT_EQ(buf[3], 105);
  EXPECT_EQ(buf[4], 5);  // beyond the block: untouched
}

TEST(StackerChain, AWinamp1xEntryGainsAndKeepsTheCount) {
  PluginFolder dir;
  dir.Copy("dsp_gain1x.so");
  dir.Copy("dsp_orvella.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_gain1x.so", 0, 1));
  ASSERT_EQ(s->Entry(0)->Kind, kKind1);
  auto buf = Sine(576, 1152);
  double before = Rms(buf.data(), 1152);
  EXPECT_EQ(s->ModifySamples(buf.data(), 576, 16, 2, 44100), 576);
  EXPECT_NEAR(Db(Rms(buf.data(), 1152) / before), -6.0, 0.05);
  // With a 2.x gain after it: -12 dB, still 576 frames.
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 0, 1));
  auto buf2 = Sine(576, 1152);
  EXPECT_EQ(s->ModifySamples(buf2.data(), 576, 16, 2, 44100), 576);
  EXPECT_NEAR(Db(Rms(buf2.data(), 1152) / before), -12.0, 0.05);
}

TEST(StackerChain, DuplicatesAreRefusedARealCopyIsAcceptedASymlinkIsRefused) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Copy("dsp_orvella.so", "dsp_copy.so");
  dir.Link("dsp_orvella.so", "dsp_link.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 0, 1));
  TOpenedModule m;
  ASSERT_TRUE(s->OpenModule("dsp_orvella.so", 0, &m));
  EXPECT_EQ(s->AddChainEntry(m, 1), kDuplicate);
  m.Close();
  ASSERT_TRUE(s->OpenModule("dsp_link.so", 0, &m));
  EXPECT_EQ(s->AddChainEntry(m, 1), kDuplicate);
  m.Close();
  ASSERT_TRUE(s->OpenModule("dsp_copy.so", 0, &m));
  EXPECT_EQ(s->AddChainEntry(m, 1), kAdded);
  // Another module of the same library is no duplicate.
  EXPECT_TRUE(s->LoadChainEntry("dsp_orvella.so", 1, 1));
  EXPECT_EQ(s->Count(), 3);
}

TEST(StackerChain, AModuleWhoseInitFailsGivesCode2AndItsLibraryIsUnloaded) {
  PluginFolder dir;
  std::string kit = dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  TOpenedModule m;
  ASSERT_TRUE(s->OpenModule("dsp_stacktest.so", 1, &m));
  EXPECT_EQ(s->AddChainEntry(m, 1), kNotStarted);
  m.Close();
  EXPECT_FALSE(Loaded(kit));
  EXPECT_FALSE(s->LoadChainEntry("dsp_stacktest.so", 1, 1));
  EXPECT_FALSE(Loaded(kit));
  EXPECT_EQ(s->Count(), 0);
}

TEST(StackerChain, LibrariesThatAreNoDSPPluginsOrLackTheModuleAreNeverAdded) {
  PluginFolder dir;
  dir.Copy("dsp_stacktest_badversion.so");
  dir.Copy("dsp_stacktest_noexport.so");
  dir.Copy("dsp_orvella.so");
  auto s = MakeStacker(dir);
  EXPECT_FALSE(s->LoadChainEntry("dsp_stacktest_badversion.so", 0, 1));
  EXPECT_FALSE(s->LoadChainEntry("dsp_stacktest_noexport.so", 0, 1));
  EXPECT_FALSE(s->LoadChainEntry("dsp_orvella.so", 4, 1));  // four modules
  EXPECT_FALSE(s->LoadChainEntry("dsp_missing.so", 0, 1));
  EXPECT_EQ(s->Count(), 0);
}

TEST(StackerChain, AFaultingModuleIsBypassedWhileTheRestApplies) {
  PluginFolder dir;
  std::string kit = dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 2, 1));
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 7, 1));
  for (int block = 0; block < 3; ++block) {
    std::vector<short> buf(8, 1);
    EXPECT_EQ(s->ModifySamples(buf.data(), 2, 16, 2, 44100), 2);
    EXPECT_EQ(buf[0], 101) << "block " << block;
  }
  EXPECT_EQ(s->Faults(), 1);
  EXPECT_EQ(Counter(kit, "stacktest_calls", 2), 1);  // not called again after its fault
  EXPECT_EQ(Counter(kit, "stacktest_calls", 7), 3);
  // The chain's lock was not left held: edits still go through.
  s->SelectRow(0);
  s->RemoveChainEntry();
  EXPECT_EQ(s->Count(), 1);
}

TEST(StackerChain, TwoDoublingModulesNeverReturnMoreThanTwiceTheInput) {
  PluginFolder dir;
  dir.Copy("dsp_stacktest.so");
  dir.Copy("dsp_orvella.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 3, 1));
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 2, 1));
  // The host's buffer holds exactly twice the frames; under AddressSanitizer any
  // write past it fails the test.
  const int frames = 1152;
  auto host = std::make_unique<short[]>(size_t(frames) * 2 * 2);
  for (int i = 0; i < frames * 2; ++i) host[size_t(i)] = short(i);
  int got = s->ModifySamples(host.get(), frames, 16, 2, 48000);
  EXPECT_EQ(got, 2 * frames);
  // The first doubling's first half reached the host: frame i is input frame i/4.
  EXPECT_EQ(host[0], 0);
  EXPECT_EQ(host[2 * 4], 2);
}

TEST(StackerChain, AnswersOfZeroOrLessKeepTheCountAndHugeAnswersAreClamped) {
  PluginFolder dir;
  dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 4, 1));
  std::vector<short> buf(4 * 576, 0);
  EXPECT_EQ(s->ModifySamples(buf.data(), 576, 16, 2, 44100), 576);
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 5, 1));
  EXPECT_EQ(s->ModifySamples(buf.data(), 576, 16, 2, 44100), 1152);
  // Blocks larger than the chain takes pass untouched.
  std::vector<short> big(size_t(kMaxBlockFrames + 1) * 2 * 2, 7);
  EXPECT_EQ(s->ModifySamples(big.data(), kMaxBlockFrames + 1, 16, 2, 44100), kMaxBlockFrames + 1);
}

TEST(StackerChain, HostileChainTextsLoadNothingUnsafe) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Copy("dsp_pilvo3.so");
  std::filesystem::create_directory(dir.File("sub"));
  dir.Copy("dsp_orvella.so", "sub/dsp_orvella.so");
  auto s = MakeStacker(dir);
  s->LoadChainText("../dsp_orvella.so,0 sub/dsp_orvella.so,0 " + dir.File("dsp_orvella.so") +
                   ",0 dsp_orvella.so,-1 dsp_orvella.so,99999999999 dsp_orvella.so,8 dsp_orvella.so,2147483647 "
                   "dsp_pilvo3.so,0 dsp_orv\x01" "ella.so,0 dsp_orvella.so\t,0 .,0 ,0 dsp_orvella.so");
  EXPECT_EQ(s->Count(), 0);
  std::string longText(5000, 'x');
  s->LoadChainText(longText);
  s->LoadChainText("dsp_orvella.so,1,1 " + std::string(4990, 'y') + ",0,1");
  ASSERT_EQ(s->Count(), 1);
  EXPECT_EQ(s->Entry(0)->ModuleIndex, 1);
  s->LoadChainText("dsp_orvella.so,3,0,junk");
  ASSERT_EQ(s->Count(), 2);
  EXPECT_EQ(s->Entry(1)->Enabled.load(), 0);
}

TEST(StackerChain, AConfigThatIgnoresTheQuitRequestDoesNotHangTheRemoval) {
  PluginFolder dir;
  std::string kit = dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  s->configWaitMs = 200;
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 6, 1));
  s->SelectRow(0);
  s->ConfigureEntry();
  ASSERT_TRUE(WaitFor([&] { return Counter(kit, "stacktest_config_running", 0) == 1; }, 5000));
  auto t0 = std::chrono::steady_clock::now();
  s->RemoveChainEntry();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));  // bounded, not a timing check
  EXPECT_EQ(s->Count(), 0);
  // Still open: the library stays loaded and the module is not quit under it.
  EXPECT_TRUE(Loaded(kit));
  EXPECT_EQ(Counter(kit, "stacktest_quits", 6), 0);
  void* h = dlopen(kit.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(h, nullptr);
  reinterpret_cast<void (*)()>(dlsym(h, "stacktest_release_config"))();
  // When Config returns, its thread quits the module.
  EXPECT_TRUE(WaitFor([&] { return reinterpret_cast<int (*)(int)>(dlsym(h, "stacktest_quits"))(6) == 1; }, 10000));
  dlclose(h);
}

TEST(StackerChain, ReloadRestartsTheModuleAndClearsABypass) {
  PluginFolder dir;
  std::string kit = dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  void* keep = dlopen(kit.c_str(), RTLD_NOW);  // keeps the counters across the reload
  ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", 0, 1));
  s->SelectRow(0);
  s->ReloadEntry();
  EXPECT_EQ(Counter(kit, "stacktest_inits", 0), 2);
  EXPECT_EQ(Counter(kit, "stacktest_quits", 0), 1);
  EXPECT_EQ(s->Count(), 1);
  short buf[8] = {};
  s->ModifySamples(buf, 2, 16, 2, 44100);
  EXPECT_EQ(Counter(kit, "stacktest_calls", 0), 1);
  s->UnloadAll();
  EXPECT_EQ(Counter(kit, "stacktest_quits", 0), 2);
  dlclose(keep);
}

TEST(StackerChain, SelectionAndScrollingFollowTheRowRules) {
  PluginFolder dir;
  dir.Copy("dsp_stacktest.so");
  auto s = MakeStacker(dir);
  for (int m : {0, 3, 4, 5, 7}) ASSERT_TRUE(s->LoadChainEntry("dsp_stacktest.so", m, 1));
  dir.Copy("dsp_orvella.so");
  ASSERT_TRUE(s->LoadChainEntry("dsp_orvella.so", 0, 1));
  ASSERT_EQ(s->Count(), 6);
  EXPECT_EQ(s->Selected(), 5);
  EXPECT_EQ(s->FirstVisible(), 2);
  EXPECT_EQ(s->ThumbOffset(), 40);  // 40 * 2 / 2
  s->SelectNext();                  // on the last entry: nothing
  EXPECT_EQ(s->Selected(), 5);
  s->SelectFirst();
  EXPECT_EQ(s->FirstVisible(), 0);
  EXPECT_EQ(s->ThumbOffset(), 0);
  s->SelectPrevious();  // on the first: nothing
  EXPECT_EQ(s->Selected(), 0);
  s->PageDown();
  EXPECT_EQ(s->Selected(), 3);
  s->PageDown();
  EXPECT_EQ(s->FirstVisible(), 2);
  EXPECT_EQ(s->Selected(), 5);
  s->ScrollUp();
  EXPECT_EQ(s->FirstVisible(), 1);
  EXPECT_EQ(s->Selected(), 4);  // kept inside the visible rows
  EXPECT_EQ(s->ThumbOffset(), 20);
  s->ScrollToThumb(20);
  EXPECT_EQ(s->FirstVisible(), 0);
  EXPECT_EQ(s->Selected(), 3);
  s->ScrollToThumb(200);
  EXPECT_EQ(s->FirstVisible(), 2);
  s->MoveEntryUp();
  EXPECT_EQ(s->Selected(), 2);
  EXPECT_STREQ(s->Entry(2)->Description(), "Answers a huge count");
  EXPECT_STREQ(s->Entry(3)->Description(), "Answers 0");
  s->SelectLast();
  s->RemoveChainEntry();
  EXPECT_EQ(s->Selected(), 4);
  EXPECT_EQ(s->Pieces().size(), 5u);
}

TEST(StackerChain, A1xModuleOnEightBitBlocksStaysInsideTheBuffers) {
  PluginFolder dir;
  dir.Copy("dsp_gain1x.so");
  auto s = MakeStacker(dir);
  ASSERT_TRUE(s->LoadChainEntry("dsp_gain1x.so", 0, 1));
  // A 1.x module takes every block for 16-bit samples: on 8-bit data it reads and
  // writes twice the bytes, which must land in the stacker's room, not the host's.
  const int frames = 576;
  auto host = std::make_unique<uint8_t[]>(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i) host[size_t(i)] = uint8_t(i);
  EXPECT_EQ(s->ModifySamples(reinterpret_cast<short*>(host.get()), frames, 8, 1, 11025), frames);
  auto wide = std::make_unique<uint8_t[]>(size_t(frames) * 6 * 2);  // 24-bit stereo, twice the block
  EXPECT_EQ(s->ModifySamples(reinterpret_cast<short*>(wide.get()), frames, 24, 2, 48000), frames);
}
