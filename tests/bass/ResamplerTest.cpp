// The mixer's resampler on its own: with a step that changes every output frame (across 1, where the
// kernel starts to stretch), its output is the input tone at the exact positions the steps add up to,
// including across a stretch played without resampling and across the end of the input.
#include "Core.h"
#include "Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

using orvbass::Resampler;
using orvbass::SampleFmt;

constexpr double kCycles = 0.03;  // input tone, cycles per input frame: in the pass band up to a step of 16
constexpr double kAmp = 0.5;

double Tone(double position) { return kAmp * std::sin(2 * M_PI * kCycles * position); }

// Input frames [from, to) of the tone, interleaved stereo, the right channel inverted.
std::vector<float> Input(size_t from, size_t to) {
  std::vector<float> v;
  for (size_t i = from; i < to; ++i) {
    v.push_back(float(Tone(double(i))));
    v.push_back(float(-Tone(double(i))));
  }
  return v;
}

// Drives a resampler the way the mixer does: pushes what a chunk reads, runs, counts whole frames
// passed. Records each output frame with the input position it stands for.
struct Driver {
  Resampler rs;
  size_t total;          // input frames there are
  size_t consumed = 0;   // input frames passed
  double position = 0;   // exact position of the next output frame
  std::vector<float> out;
  std::vector<double> positions;

  explicit Driver(size_t frames) : total(frames) { rs.Configure(2); }

  // Produces up to "frames" output frames with step(j) for the j-th frame overall; returns the count.
  size_t Produce(size_t frames, const std::function<double(size_t)>& step) {
    std::vector<float> chunk(Resampler::kChunk * 2);
    size_t made = 0;
    while (made < frames) {
      uint32_t want = uint32_t(std::min<size_t>(frames - made, Resampler::kChunk));
      double steps[Resampler::kChunk], sum = 0, most = 0;
      for (uint32_t j = 0; j < want; ++j) {
        steps[j] = step(positions.size() + j);
        sum += steps[j];
        most = std::max(most, steps[j]);
      }
      size_t inLine = consumed + rs.Ahead();
      size_t need = size_t(std::ceil(rs.Fraction() + sum)) + Resampler::Reach(most) + 1;
      if (rs.Ahead() < need && inLine < total) {
        auto in = Input(inLine, std::min(total, inLine + need - rs.Ahead()));
        rs.Push(SampleFmt::F32, in.data(), in.size() / 2);
      }
      bool ended = consumed + rs.Ahead() >= total;
      uint32_t n = rs.Run(chunk.data(), want, steps, ended);
      consumed += rs.TakeAdvance();
      for (uint32_t j = 0; j < n; ++j) {
        out.push_back(chunk[2 * j]);
        out.push_back(chunk[2 * j + 1]);
        positions.push_back(position);
        position += steps[j];
      }
      made += n;
      if (n == 0) break;
    }
    return made;
  }

  // Plays "frames" input frames without resampling, as the mixer does at equal rates.
  void Pass(size_t frames) {
    auto in = Input(consumed, consumed + frames);
    rs.Bypass(SampleFmt::F32, in.data(), frames);
    for (size_t i = 0; i < frames; ++i) {
      out.push_back(in[2 * i]);
      out.push_back(in[2 * i + 1]);
      positions.push_back(position);
      position += 1;
    }
    consumed += frames;
  }

  // Largest error of output frames [from, to) against the tone at their positions, in dB of the tone.
  double WorstErrorDb(size_t from, size_t to) const {
    double worst = 0;
    for (size_t j = from; j < to && j < positions.size(); ++j) {
      double want = Tone(positions[j]);
      worst = std::max({worst, std::fabs(out[2 * j] - want), std::fabs(out[2 * j + 1] + want)});
    }
    return 20 * std::log10(worst / kAmp + 1e-30);
  }
};

TEST(Resampler, AStepSlidingAcrossOneFollowsTheExactPositions) {
  Driver d(70000);
  // From 0.5 to 2.5 and back over 40000 output frames.
  auto step = [](size_t j) { return 1.5 - std::cos(2 * M_PI * double(j) / 40000.0); };
  ASSERT_EQ(d.Produce(40000, step), 40000u);
  // Past the kernel's start-up (silence before the first frame), every frame is the tone where it stands.
  EXPECT_LT(d.WorstErrorDb(400, 40000), -80.0);
  EXPECT_EQ(d.consumed, size_t(std::floor(d.position)));
}

TEST(Resampler, PlayingWithoutResamplingKeepsTheHistoryForWhatFollows) {
  Driver d(30000);
  ASSERT_EQ(d.Produce(5000, [](size_t) { return 0.75; }), 5000u);
  size_t switchAt = d.positions.size();
  // The mixer only passes samples through on a whole frame.
  d.Produce(20, [](size_t) { return 1.0; });
  while (d.rs.Fraction() != 0) ASSERT_EQ(d.Produce(1, [](size_t) { return 0.25; }), 1u);
  ASSERT_EQ(double(d.consumed), d.position);
  d.Pass(3000);
  size_t back = d.positions.size();
  ASSERT_EQ(d.Produce(5000, [](size_t) { return 1.37; }), 5000u);
  EXPECT_LT(d.WorstErrorDb(400, switchAt + 100), -80.0);
  // Right after the pass-through the filter reads real history, not silence.
  EXPECT_LT(d.WorstErrorDb(back, back + 5000), -80.0);
}

TEST(Resampler, AConstantStepAboveOneReadsTheSameKernelFromItsTable) {
  for (double step : {48000.0 / 44100, 1.37, 2.0, 4.4, 6.0}) {
    const size_t frames = size_t(12000 * step) + 4000;
    Driver tapByTap(frames), table(frames);
    table.rs.EnableStretchTable(step);
    ASSERT_EQ(tapByTap.Produce(12000, [&](size_t) { return step; }), 12000u);
    ASSERT_EQ(table.Produce(12000, [&](size_t) { return step; }), 12000u);
    EXPECT_LT(tapByTap.WorstErrorDb(600, 12000), -80.0) << step;
    EXPECT_LT(table.WorstErrorDb(600, 12000), -80.0) << step;
    // Both are the same filter: they differ by far less than either differs from the tone.
    double worst = 0;
    for (size_t i = 0; i < table.out.size(); ++i) worst = std::max(worst, double(std::fabs(table.out[i] - tapByTap.out[i])));
    EXPECT_LT(20 * std::log10(worst / kAmp), -85.0) << step;
  }
}

TEST(Resampler, OutputEndsAtTheLastInputFrameAndPassesEveryFrame) {
  for (double step : {0.3, 1.0 / 3.0, 0.999, 1.7, 7.0}) {
    const size_t frames = 10007;
    Driver d(frames);
    d.rs.EnableStretchTable(step);
    size_t made = d.Produce(1000000, [&](size_t) { return step; });
    // One output frame for every position before the end of the input.
    size_t expected = 0;
    for (double p = 0; p < double(frames); p += step) ++expected;
    EXPECT_EQ(made, expected) << step;
    EXPECT_EQ(d.consumed, frames) << step;
    EXPECT_EQ(d.rs.Ahead(), 0u) << step;
  }
}

TEST(Resampler, ResetStartsFromSilenceAtTheNextFrame) {
  Driver d(20000);
  d.Produce(3000, [](size_t) { return 0.9; });
  d.rs.Reset();
  EXPECT_EQ(d.rs.Ahead(), 0u);
  EXPECT_EQ(d.rs.Fraction(), 0.0);
  EXPECT_EQ(d.rs.TakeAdvance(), 0u);
  // Silence in, silence out: nothing of the earlier tone leaks past the reset.
  std::vector<float> zeros(2 * 4000, 0.0f), out(Resampler::kChunk * 2);
  ASSERT_EQ(d.rs.Push(SampleFmt::F32, zeros.data(), 4000), 4000u);
  double steps[Resampler::kChunk];
  std::fill(std::begin(steps), std::end(steps), 0.9);
  ASSERT_EQ(d.rs.Run(out.data(), Resampler::kChunk, steps, false), Resampler::kChunk);
  for (float v : out) ASSERT_EQ(v, 0.0f);
}

TEST(Resampler, AtAStepOfOneOnAWholeFrameTheTapsPassSamplesThrough) {
  // A half-sample shift needs the filter; a whole one is the identity (tap sums of 1, zero crossings).
  Driver d(3000);
  ASSERT_EQ(d.Produce(2000, [](size_t) { return 1.0; }), 2000u);
  auto in = Input(0, 2000);
  for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(d.out[i], in[i], 1e-6f) << i;
}

}  // namespace
