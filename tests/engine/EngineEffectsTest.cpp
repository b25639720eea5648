// Equaliser and effects on the output channel, through the real library.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"

using namespace engine;
using namespace enginetest;

namespace {

double Rms(const std::vector<int16_t>& s, size_t from, size_t to, int channel) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from * 2 + channel; i < to * 2 && i < s.size(); i += 2, ++n) sum += double(s[i]) * s[i];
  return n ? std::sqrt(sum / n) : 0;
}

// Captures `seconds` of a 1 kHz tone played with the given effect bits and band gains.
std::vector<int16_t> CaptureTone(uint32_t bits, float band5Gain, double seconds = 1.0) {
  ProgramDir dir;
  std::string wav = SineWav(seconds, 1000);
  std::string out = dir.File("fx.wav");
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    int ends = 0;
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    eng.SetEQGain(4, band5Gain);
    eng.SetSoundEffects(bits);
    EXPECT_TRUE(eng.Open(wav));
    eng.Play();
    EXPECT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
  }
  return ReadWav16(out);
}

}  // namespace

class EngineEffects : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(eng.Ready());
    ASSERT_TRUE(eng.DX8EffectReady());
  }
  ProgramDir dir;
  SilentOutput silent;
  TZOZUZivade eng;
};

TEST_F(EngineEffects, GainsAreClampedStoredAndAppliedWhenTheEqualiserComesOn) {
  EXPECT_FALSE(eng.SetEQGain(3, 20.0f));  // stored, but the equaliser is off
  EXPECT_EQ(eng.EQGain(3), 15.0f);
  EXPECT_FALSE(eng.SetEQGain(10, 1.0f));
  EXPECT_FALSE(eng.SetEQGain(-1, 1.0f));
  eng.SetSoundEffects(TZOZUZivade::fxEqualiser | TZOZUZivade::fxEcho);  // nothing open: only stored
  EXPECT_EQ(eng.SoundEffects(), uint32_t(TZOZUZivade::fxEqualiser | TZOZUZivade::fxEcho));
  EXPECT_EQ(eng.EQHandle(0), 0u);

  ASSERT_TRUE(eng.Open(SineWav(5.0, 1000)));
  eng.Play();
  for (int b = 0; b < 10; ++b) ASSERT_NE(eng.EQHandle(b), 0u) << b;
  BASS_DX8_PARAMEQ p{};
  ASSERT_TRUE(eng.Bass().BASS_FXGetParameters(eng.EQHandle(3), &p));
  EXPECT_FLOAT_EQ(p.fGain, 15.0f);
  EXPECT_FLOAT_EQ(p.fCenter, 600.0f);
  EXPECT_FLOAT_EQ(p.fBandwidth, 4.0f);
  EXPECT_TRUE(eng.SetEQGain(3, -6.0f));
  EXPECT_TRUE(eng.SetEQGain(3, -6.0f));  // the same gain again: nothing to change
  ASSERT_TRUE(eng.Bass().BASS_FXGetParameters(eng.EQHandle(3), &p));
  EXPECT_FLOAT_EQ(p.fGain, -6.0f);

  eng.SetSoundEffects(TZOZUZivade::fxEcho);  // equaliser off: its effects leave the channel
  for (int b = 0; b < 10; ++b) EXPECT_EQ(eng.EQHandle(b), 0u);
  EXPECT_NE(eng.EchoHandle(), 0u);
  EXPECT_FALSE(eng.SetEQGain(3, 2.0f));
  EXPECT_EQ(eng.EQGain(3), 2.0f);
}

TEST_F(EngineEffects, LevelsBecomeTheEffectsParameters) {
  ASSERT_TRUE(eng.Open(SineWav(5.0, 1000)));
  eng.Play();
  eng.SetSoundEffects(TZOZUZivade::fxEcho | TZOZUZivade::fxReverb | TZOZUZivade::fxFlanger);
  ASSERT_NE(eng.EchoHandle(), 0u);
  ASSERT_NE(eng.ReverbHandle(), 0u);
  ASSERT_NE(eng.FlangerHandle(), 0u);
  eng.SetEchoLevel(32);
  BASS_DX8_ECHO echo{};
  ASSERT_TRUE(eng.Bass().BASS_FXGetParameters(eng.EchoHandle(), &echo));
  EXPECT_NEAR(echo.fWetDryMix, 38.4f, 1e-4);
  EXPECT_FLOAT_EQ(echo.fFeedback, 30.0f);
  eng.SetReverbLevel(0);
  BASS_DX8_REVERB reverb{};
  ASSERT_TRUE(eng.Bass().BASS_FXGetParameters(eng.ReverbHandle(), &reverb));
  EXPECT_FLOAT_EQ(reverb.fReverbMix, -16.0f);
  eng.SetReverbLevel(32);
  ASSERT_TRUE(eng.Bass().BASS_FXGetParameters(eng.ReverbHandle(), &reverb));
  EXPECT_FLOAT_EQ(reverb.fReverbMix, 0.0f);
  EXPECT_FLOAT_EQ(reverb.fReverbTime, 1000.0f);
  BASS_DX8_FLANGER flanger{};
  ASSERT_TRUE(eng.Bass().BASS_FXGetParameters(eng.FlangerHandle(), &flanger));
  EXPECT_FLOAT_EQ(flanger.fWetDryMix, 24.0f);  // the starting level 16
  EXPECT_FLOAT_EQ(flanger.fDepth, 75.0f);
  eng.SetFlangerLevel(33);  // above 32: ignored
  EXPECT_EQ(eng.FlangerLevel(), 16);
  // Settings outlive the stream; handles do not.
  eng.Close();
  EXPECT_EQ(eng.EchoHandle(), 0u);
  EXPECT_EQ(eng.EchoLevel(), 32);
}

TEST(EngineEffectsHeard, TheEqualiserRaisesItsBandAndRotateStartsCentred) {
  std::vector<int16_t> flat = CaptureTone(0, 0.0f);
  std::vector<int16_t> boosted = CaptureTone(TZOZUZivade::fxEqualiser, 12.0f);
  // Well inside the tone, away from its start.
  double gainDb = 20 * std::log10(Rms(boosted, 22050, 33075, 0) / Rms(flat, 22050, 33075, 0));
  EXPECT_NEAR(gainDb, 12.0, 0.6);

  std::vector<int16_t> rotated = CaptureTone(TZOZUZivade::fxRotate, 0.0f);
  // The first 10 ms: the angle has barely moved from pi/4, so both sides are about 0.707.
  double left = Rms(rotated, 0, 441, 0), right = Rms(rotated, 0, 441, 1);
  EXPECT_NEAR(left / Rms(flat, 0, 441, 0), std::sin(0.7853981), 0.02);
  EXPECT_NEAR(right / left, 1.0, 0.03);
  // Later the balance has moved: the sides differ.
  double l2 = Rms(rotated, 22050, 23000, 0), r2 = Rms(rotated, 22050, 23000, 1);
  EXPECT_GT(std::fabs(l2 - r2) / (l2 + r2), 0.2);
}
