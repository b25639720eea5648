// The output module input plug-ins write to: its ring sizes, pre-buffering,
// refusals, pause answers, flush and times, over the real audio library.
#include <gtest/gtest.h>

#include <vector>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "plugins/PluginCtrl.h"

using namespace enginetest;

TEST(OutputEmulator, OpenBeforeTheHostIsSetUpFails) {
  Out_Module* out = plugins::OutputModule();
  EXPECT_EQ(out->version, 16);
  EXPECT_STREQ(out->description, "BASS Winamp output plug-in emulator");
  EXPECT_EQ(out->id, 65537);
  EXPECT_FALSE(plugins::PluginCtrlReady());
  EXPECT_EQ(out->Open(44100, 2, 16, -1, -1), -1);
}

TEST(OutputEmulator, SixteenBitStereoKeepsTheRingAndStartsAt400ms) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  ASSERT_TRUE(eng.PluginBuffersReady());
  Out_Module* out = plugins::OutputModule();
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  EXPECT_EQ(plugins::RingSize(), 88200u);  // between 2U = 70560 and 4U = 141120
  EXPECT_EQ(out->CanWrite(), 88199);       // an empty ring of S bytes takes S - 1
  std::vector<char> block(4096, 0);
  int writes = 0;
  while (!out->IsPlaying() && writes < 30) {
    ASSERT_EQ(out->Write(block.data(), 4096), 0);
    ++writes;
  }
  // 18 blocks make 73728 bytes, the first count at or above 70560.
  EXPECT_EQ(writes, 18);
  out->Close();
}

TEST(OutputEmulator, EightBitMonoAt8000HzGetsARingOf4800AndStartsAtOnce) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  Out_Module* out = plugins::OutputModule();
  ASSERT_EQ(out->Open(8000, 1, 8, -1, -1), 0);
  EXPECT_EQ(plugins::RingSize(), 4800u);
  std::vector<char> block(100, char(128));
  EXPECT_EQ(out->Write(block.data(), 100), 0);
  EXPECT_EQ(out->IsPlaying(), 1);  // free is below 8192 from the first write
  out->Close();
  // Back to 16-bit stereo: 4800 is below 2U, so the ring grows to 3U.
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  EXPECT_EQ(plugins::RingSize(), 105840u);
  out->Close();
}

TEST(OutputEmulator, AWriteOfExactlyTheFreeCountIsRefused) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  Out_Module* out = plugins::OutputModule();
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  std::vector<char> all(88200, 0);
  EXPECT_EQ(out->Write(all.data(), 88200), 1);
  EXPECT_EQ(plugins::RingUsed(), 0u);
  EXPECT_EQ(out->GetWrittenTime(), 0);
  EXPECT_EQ(out->Write(all.data(), 88199), 0);
  EXPECT_EQ(out->GetWrittenTime(), 500);  // 88199 bytes of 176400 per second
  out->Close();
}

TEST(OutputEmulator, PauseAnswersWhetherItWasPaused) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  Out_Module* out = plugins::OutputModule();
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  std::vector<char> block(80000, 0);
  ASSERT_EQ(out->Write(block.data(), 80000), 0);
  ASSERT_EQ(out->IsPlaying(), 1);
  EXPECT_EQ(out->Pause(1), 0);
  EXPECT_EQ(out->Pause(1), 1);
  EXPECT_EQ(out->IsPlaying(), 0);
  EXPECT_EQ(out->Pause(0), 1);
  EXPECT_EQ(out->IsPlaying(), 1);
  EXPECT_EQ(out->Pause(0), 0);  // not paused: restarted
  EXPECT_EQ(out->IsPlaying(), 1);
  out->Close();
}

TEST(OutputEmulator, FlushThenOutputTimeStartsFromTheFlushTime) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  Out_Module* out = plugins::OutputModule();
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  std::vector<char> block(80000, 0);
  ASSERT_EQ(out->Write(block.data(), 80000), 0);
  ASSERT_EQ(out->IsPlaying(), 1);
  PumpUntil([] { return false; }, 100);
  out->Flush(5000);
  EXPECT_EQ(out->IsPlaying(), 0);  // stopped until pre-buffering is over again
  EXPECT_EQ(out->GetOutputTime(), 5000);
  EXPECT_EQ(out->GetWrittenTime(), 5000);
  ASSERT_EQ(out->Write(block.data(), 80000), 0);
  ASSERT_EQ(out->IsPlaying(), 1);
  int t = out->GetOutputTime();
  EXPECT_GE(t, 5000);
  EXPECT_LT(t, 5200);
  // A flush while paused is ignored unless a seek is pending.
  out->Pause(1);
  out->Flush(9000);
  EXPECT_GE(out->GetWrittenTime(), 5000 + 400);
  plugins::SetSeekPending();
  out->Flush(9000);
  EXPECT_EQ(out->GetWrittenTime(), 9000);
  out->Close();
}

TEST(OutputEmulator, VolumeIsClampedOntoTheGlobalStreamVolume) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  Out_Module* out = plugins::OutputModule();
  out->SetVolume(300);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 9945u);
  out->SetVolume(100);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 3900u);
  out->SetVolume(-4);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(5), 0u);
}

TEST(OutputEmulator, TheStreamEndsWhenInputEndsOrTheWriterFallsSilent) {
  ProgramDir dir;
  SilentOutput silent;
  engine::TZOZUZivade eng;
  Out_Module* out = plugins::OutputModule();
  std::vector<char> block(80000, 0);
  // The end of input: the stream plays out what it has, then stops.
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  ASSERT_EQ(out->Write(block.data(), 80000), 0);
  ASSERT_EQ(out->IsPlaying(), 1);
  plugins::SetEndOfInput();
  EXPECT_TRUE(PumpUntil([&] { return out->IsPlaying() == 0; }, 5000));
  EXPECT_EQ(plugins::RingUsed(), 0u);
  // No end notice and no more data: after 3 s of nothing the stream gives up.
  ASSERT_EQ(out->Open(44100, 2, 16, -1, -1), 0);
  ASSERT_EQ(out->Write(block.data(), 80000), 0);
  ASSERT_EQ(out->IsPlaying(), 1);
  ASSERT_TRUE(PumpUntil([&] { return plugins::RingUsed() == 0; }, 5000));
  PumpUntil([] { return false; }, 1000);
  EXPECT_EQ(out->IsPlaying(), 1);  // stalled, still waiting for the writer
  EXPECT_TRUE(PumpUntil([&] { return out->IsPlaying() == 0; }, 6000));
  out->Close();
}
