// The 25 spectrum bands the main window's level display gets while playing.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"

using namespace engine;
using namespace enginetest;

TEST(EngineSpectrum, BandsTakeTheirPeakScaledAndFallByTwo) {
  std::vector<float> mag(512, 0.0f);
  TBandOut kept{};
  TZOZUZivade::UpdateBands(mag.data(), kept);
  for (uint16_t v : kept) EXPECT_EQ(v, 0);  // silence gives zero bands

  std::fill(mag.begin(), mag.end(), 1.0f);
  TZOZUZivade::UpdateBands(mag.data(), kept);
  EXPECT_EQ(kept[0], 80);
  EXPECT_EQ(kept[24], 368);
  EXPECT_EQ(kept[10], 200);  // (10 x 0.15 + 1) x 80

  // Bin 0 and bins above 180 belong to no band.
  std::fill(mag.begin(), mag.end(), 0.0f);
  mag[0] = 1.0f;
  mag[300] = 1.0f;
  TBandOut fresh{};
  TZOZUZivade::UpdateBands(mag.data(), fresh);
  for (uint16_t v : fresh) EXPECT_EQ(v, 0);

  // After a loud passage each band falls by 2 per tick towards the new level.
  TZOZUZivade::UpdateBands(mag.data(), kept);
  EXPECT_EQ(kept[0], 78);
  EXPECT_EQ(kept[24], 366);
  TBandOut low{};
  low[3] = 1;
  std::fill(mag.begin(), mag.end(), 0.0f);
  mag[5] = 0.5f;  // band 3 (bins 4-6): new value (3 x 0.15 + 1) x 0.5 x 80 = 58
  low[3] = 59;
  TZOZUZivade::UpdateBands(mag.data(), low);
  EXPECT_EQ(low[3], 58);  // falls by 2 but not below the new value
  low[4] = 1;
  TZOZUZivade::UpdateBands(mag.data(), low);
  EXPECT_EQ(low[4], 0);  // below 2 falls to 0
}

TEST(EngineSpectrum, APlayingToneLightsItsBandAndPauseStopsTheTicks) {
  ProgramDir dir;
  std::string wav = SineWav(10.0, 1000);
  SilentOutput silent;
  TZOZUZivade eng;
  int ticks = 0;
  TBandOut last{};
  eng.OnNewFFTData = [&](TZOZUZivade*, const TBandOut& bands) {
    ++ticks;
    last = bands;
  };
  ASSERT_TRUE(eng.Open(wav));
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 8; }, 10000));
  // 1 kHz is FFT bin 23 of 1024 points at 44.1 kHz: band 6 covers bins 19 to 24.
  auto loudest = std::max_element(last.begin(), last.end()) - last.begin();
  EXPECT_EQ(loudest, 6);
  EXPECT_GT(last[6], 2 * std::max(last[4], last[9]));  // the tone stands well above the rest
  eng.Pause(true);
  PumpUntil([] { return false; }, 60);  // a tick already queued may still arrive
  int atPause = ticks;
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(ticks, atPause);

  // Nobody listening: the timer does not run, so the bands stay as play started them (zero).
  eng.OnNewFFTData = nullptr;
  eng.Pause(false);
  ASSERT_EQ(eng.Mode(), plmPlaying);
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(eng.Bands()[6], 0);
}
