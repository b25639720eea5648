// The audio thread runs blocks while the user-interface thread edits the chain.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "StackerTestUtil.h"
#include "stacker/Stacker.h"

using namespace pilvo;
using namespace stackertest;

TEST(StackerThreads, BlocksRunWhileEntriesAreAddedRemovedAndReloaded) {
  PluginFolder dir;
  dir.Copy("dsp_orvella.so");
  dir.Copy("dsp_gain1x.so");
  dir.Copy("dsp_stacktest.so");
  TStacker::Options o;
  o.PluginFolder = dir.Path();
  TStacker s(o);
  ASSERT_TRUE(s.LoadChainEntry("dsp_orvella.so", 2, 1));  // half speed: blocks change length
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::atomic<bool> bad{false};
  std::thread audio([&] {
    auto buf = Sine(1152, 2304);
    while (!stop.load()) {
      int n = s.ModifySamples(buf.data(), 1152, 16, 2, 44100);
      if (n < 1152 || n > 2304) bad = true;
      blocks.fetch_add(1);
    }
  });
  ASSERT_TRUE(WaitFor([&] { return blocks.load() > 0; }, 20000));
  long before = blocks.load();
  for (int i = 0; i < 1000; ++i) {
    switch (i % 4) {
      case 0: s.LoadChainEntry("dsp_orvella.so", 0, 1); break;
      case 1: s.LoadChainEntry("dsp_gain1x.so", 0, 1); break;
      case 2:
        s.SelectRow(s.Count() - 1);
        s.ReloadEntry();
        s.ToggleEntry();
        break;
      case 3:
        s.SelectRow(1);
        s.RemoveChainEntry();
        s.SelectRow(1);
        s.RemoveChainEntry();
        break;
    }
  }
  long during = blocks.load() - before;
  ASSERT_TRUE(WaitFor([&] { return blocks.load() > before + 100; }, 20000));
  stop = true;
  audio.join();
  EXPECT_FALSE(bad.load());
  EXPECT_EQ(s.Count(), 1);
  double waitUs = double(s.LongestAudioWaitNs()) / 1000.0;
  std::printf("longest audio-thread wait: %.1f us; %ld blocks ran during the 1000 edits\n", waitUs, during);
  RecordProperty("longest_audio_wait_us", std::to_string(waitUs));
}
