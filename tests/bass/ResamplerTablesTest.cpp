// The resampler's shared kernel tables cost start-up time: a channel at the output rate never builds
// them, the first one that may resample does. (Its own process: the tables are built once.)
#include "Resampler.h"

#include "Core.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(ResamplerTables, BuiltOnlyWhenAStepOtherThanOneMayCome) {
  orvbass::Resampler rs;
  rs.Configure(2);
  rs.EnableStretchTable(1.0);
  // Equal rates pass frames unchanged and keep the history without the tables.
  std::vector<int16_t> in(2 * 4096, 1000);
  rs.Bypass(orvbass::SampleFmt::S16, in.data(), 4096);
  EXPECT_FALSE(orvbass::Resampler::TablesBuilt());

  orvbass::Resampler other;
  other.Configure(1);
  other.EnableStretchTable(48000.0 / 44100.0);
  EXPECT_TRUE(orvbass::Resampler::TablesBuilt());
  // And the first channel resamples with them: a constant input stays constant.
  std::vector<float> ones(8192, 0.5f);
  rs.Push(orvbass::SampleFmt::F32, ones.data(), 4096);
  std::vector<double> steps(orvbass::Resampler::kChunk, 0.75);
  std::vector<float> out(2 * orvbass::Resampler::kChunk);
  uint32_t n = rs.Run(out.data(), orvbass::Resampler::kChunk, steps.data(), false);
  ASSERT_GT(n, 0u);
  EXPECT_NEAR(out[2 * (n - 1)], 0.5f, 1e-4);
}
