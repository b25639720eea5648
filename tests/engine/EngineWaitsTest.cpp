// What the engine does to a new output (balance, speed, mute), the waits that pump
// messages while the end of the stream opens the next one, and the bounded drain
// after the end of play.
#include <gtest/gtest.h>

#include <chrono>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"
#include "plugins/PluginCtrlState.h"

using namespace engine;
using namespace enginetest;

namespace {

float Attribute(TZOZUZivade& eng, DWORD attrib) {
  float v = -99;
  EXPECT_TRUE(eng.Bass().BASS_ChannelGetAttribute(eng.OutputChannel(), attrib, &v));
  return v;
}

std::string Wav48k(double seconds) {
  return Media("waits48k_" + std::to_string(int(seconds * 10)) + ".wav",
               "ffmpeg -nostdin -y -f lavfi -i sine=frequency=330:duration=" + std::to_string(seconds) +
                   " -ar 48000 -ac 2 -c:a pcm_s16le {out}");
}

// Clears the pump hook even when an assertion leaves the test early.
struct PumpHookGuard {
  ~PumpHookGuard() { platform::SetPumpHook(nullptr); }
};

}  // namespace

class EngineNewOutput : public ::testing::TestWithParam<bool> {};

TEST_P(EngineNewOutput, BalanceSpeedAndMuteReachEveryNewOutput) {
  ProgramDir dir;
  SilentOutput silent;
  std::string a = SineWav(3.0);
  std::string b = Wav48k(3.0);
  ASSERT_FALSE(b.empty());
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  if (GetParam()) eng.SetSingleChannel(true);
  // Set while nothing plays, as the main window does before the first track.
  eng.SetBalance(1.0f);
  eng.SetSpeed(22050);
  ASSERT_TRUE(eng.Open(a));
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  EXPECT_EQ(eng.SingleChannel(), GetParam());
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_PAN), 1.0f);
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_FREQ), 22050.0f);

  // The next track keeps them: the speed is the one chosen, not the track's own rate.
  eng.SetBalance(-0.5f);
  ASSERT_TRUE(eng.Open(b));
  eng.Play();
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_PAN), -0.5f);
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_FREQ), 22050.0f);

  // Speed off: each track at its own rate.
  eng.SetSpeed(0);
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_FREQ), 48000.0f);
  ASSERT_TRUE(eng.Open(a));
  eng.Play();
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_FREQ), 44100.0f);
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_VOL), 1.0f);

  // Muted stays muted on the next output, and is heard again once unmuted.
  eng.SetMuted(true, 0);
  ASSERT_TRUE(eng.Open(b));
  eng.Play();
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_VOL), 0.0f);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(BASS_CONFIG_GVOL_STREAM), 0u);
  eng.SetMuted(false, 0);
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_VOL), 1.0f);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(BASS_CONFIG_GVOL_STREAM), 9945u);
  eng.Close();
  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
}

INSTANTIATE_TEST_SUITE_P(DualAndSingle, EngineNewOutput, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Single" : "Dual"; });

// The operation runs its fade while the current track ends; the end handler opens and
// plays the next track, as the playback control does. The operation must leave it alone.
enum class Op { Seek, Stop, Pause };

class EngineWaitAcrossTheEnd : public ::testing::TestWithParam<Op> {};

TEST_P(EngineWaitAcrossTheEnd, TheNextTrackIsNeitherMovedNorStoppedNorSilenced) {
  ProgramDir dir;
  std::string a = SineWav(3.0, 440);
  std::string b = SineWav(8.0, 330);
  CaptureOutput capture(dir.File("waits.wav"), 2);
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  int ends = 0;
  eng.OnPlayEnd = [&](TZOZUZivade* e) {
    if (++ends == 1 && e->Open(b)) e->Play();
  };
  ASSERT_TRUE(eng.Open(a));
  eng.SetPosition(2850);  // 150 ms before the end: it comes well within a 500 ms fade
  eng.Play();
  ASSERT_EQ(eng.Mode(), plmPlaying);
  switch (GetParam()) {
    case Op::Seek: eng.SetPosition(2800); break;
    case Op::Stop: eng.Stop(); break;
    case Op::Pause: eng.Pause(true); break;
  }
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(eng.StreamName(), b);
  EXPECT_EQ(eng.Mode(), plmPlaying);
  EXPECT_LT(eng.GetPosition(), 1500u);  // from its start, not from where the first track was sent
  EXPECT_FALSE(eng.Muted());
  EXPECT_FALSE(eng.Fading());
  EXPECT_FLOAT_EQ(Attribute(eng, BASS_ATTRIB_VOL), 1.0f);
  EXPECT_EQ(eng.Bass().BASS_GetConfig(BASS_CONFIG_GVOL_STREAM), 9945u);
  eng.Close();
  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
}

INSTANTIATE_TEST_SUITE_P(Operations, EngineWaitAcrossTheEnd, ::testing::Values(Op::Seek, Op::Stop, Op::Pause),
                         [](const auto& info) {
                           return info.param == Op::Seek ? "Seek" : info.param == Op::Stop ? "Stop" : "Pause";
                         });

TEST(EngineDrain, AStalledPlayThreadEndsTheStreamInsteadOfHangingIt) {
  ProgramDir dir;
  SilentOutput silent;
  std::string wav = SineWav(10.0);
  TZOZUZivade eng;
  ASSERT_TRUE(eng.Ready());
  int ends = 0;
  eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_FALSE(eng.SingleChannel());
  ASSERT_TRUE(PumpUntil([&] { return eng.GetPosition() > 300; }, 10000));
  // The play thread goes away without ending its output: the output stalls for good.
  uint32_t tid = plugins::Host().playThreadId.load();
  ASSERT_NE(tid, 0u);
  platform::PostThreadMessage(tid, platform::WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([] { return !plugins::PlayThreadRunning(); }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return eng.Bass().BASS_ChannelIsActive(eng.OutputChannel()) == BASS_ACTIVE_STALLED; },
                        5000));
  // Then the decoder's end notice comes.
  bool rescued = false;
  auto start = std::chrono::steady_clock::now();
  PumpHookGuard guard;
  platform::SetPumpHook([&] {
    // Only a hung drain gets here: closing the stream lets it return.
    if (!rescued && std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
      rescued = true;
      eng.Close();
    }
  });
  platform::PostMessage(eng.HiddenWindow(), WM_BASS_PLAYEND, eng.DecodeChannel(), 0);
  EXPECT_TRUE(PumpUntil([&] { return ends > 0 || rescued; }, 30000));
  platform::SetPumpHook(nullptr);
  EXPECT_FALSE(rescued);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(eng.Mode(), plmStopped);
  EXPECT_EQ(eng.Bass().BASS_ChannelIsActive(eng.OutputChannel()), DWORD(BASS_ACTIVE_STOPPED));
}
