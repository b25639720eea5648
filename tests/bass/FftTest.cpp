// The spectrum transform against a direct DFT in double precision, built from its source.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "Fft.h"

namespace {

// |X_k| * 2 / n of the (windowed) mono or single-channel input, straight from the definition.
std::vector<double> Direct(const std::vector<float>& x, bool window) {
  const size_t n = x.size();
  std::vector<double> mags(n / 2);
  for (size_t k = 0; k < n / 2; ++k) {
    double re = 0, im = 0;
    for (size_t i = 0; i < n; ++i) {
      double v = x[i];
      if (window) v *= 0.5 * (1.0 - std::cos(2.0 * M_PI * double(i) / double(n - 1)));
      double a = -2.0 * M_PI * double(k) * double(i) / double(n);
      re += v * std::cos(a);
      im += v * std::sin(a);
    }
    mags[k] = std::sqrt(re * re + im * im) * 2.0 / double(n);
  }
  return mags;
}

TEST(Fft, EverySizeMatchesTheDirectTransform) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int n = 4; n <= 16384; n *= 2) {
    std::vector<float> x(static_cast<size_t>(n));
    for (auto& v : x) v = u(rng);
    for (bool window : {false, true}) {
      std::vector<float> got(size_t(n / 2), -1.0f);
      ASSERT_TRUE(orvbass::ComputeFft(x.data(), n, 1, n, false, window, got.data())) << n;
      auto want = Direct(x, window);
      // Float arithmetic over log2(n) stages against an exact reference: a few 1e-6 of full scale.
      for (int k = 0; k < n / 2; ++k)
        ASSERT_NEAR(got[size_t(k)], want[size_t(k)], 2e-5 + 1e-5 * std::log2(double(n))) << n << " bin " << k;
    }
  }
}

TEST(Fft, FullScaleSineOnABinReadsOneOrHalfWithTheWindow) {
  const int n = 2048, bin = 93;
  std::vector<float> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) x[size_t(i)] = float(std::sin(2.0 * M_PI * bin * i / n));
  std::vector<float> out(size_t(n / 2));
  ASSERT_TRUE(orvbass::ComputeFft(x.data(), n, 1, n, false, false, out.data()));
  EXPECT_NEAR(out[bin], 1.0f, 1e-4);
  EXPECT_NEAR(out[bin + 5], 0.0f, 1e-4);
  ASSERT_TRUE(orvbass::ComputeFft(x.data(), n, 1, n, false, true, out.data()));
  EXPECT_NEAR(out[bin], 0.5f, 1e-3);
}

TEST(Fft, ChannelsMixedOrKeptApartAndShortInputZeroPadded) {
  const int n = 512;
  // Left: DC; right: a sine on bin 20. Only 300 frames given: the rest reads as silence.
  const int frames = 300;
  std::vector<float> pcm(size_t(frames) * 2);
  std::vector<float> left(size_t(n), 0.0f), right(size_t(n), 0.0f), mono(size_t(n), 0.0f);
  for (int i = 0; i < frames; ++i) {
    pcm[size_t(i) * 2] = 0.5f;
    pcm[size_t(i) * 2 + 1] = float(std::sin(2.0 * M_PI * 20 * i / n));
    left[size_t(i)] = pcm[size_t(i) * 2];
    right[size_t(i)] = pcm[size_t(i) * 2 + 1];
    mono[size_t(i)] = (left[size_t(i)] + right[size_t(i)]) / 2;
  }
  std::vector<float> both(static_cast<size_t>(n));  // n/2 bins, two channels
  ASSERT_TRUE(orvbass::ComputeFft(pcm.data(), frames, 2, n, true, true, both.data()));
  auto wl = Direct(left, true), wr = Direct(right, true);
  for (int k = 0; k < n / 2; ++k) {
    ASSERT_NEAR(both[size_t(k) * 2], wl[size_t(k)], 1e-4) << k;
    ASSERT_NEAR(both[size_t(k) * 2 + 1], wr[size_t(k)], 1e-4) << k;
  }
  std::vector<float> mixed(size_t(n / 2));
  ASSERT_TRUE(orvbass::ComputeFft(pcm.data(), frames, 2, n, false, false, mixed.data()));
  auto wm = Direct(mono, false);
  for (int k = 0; k < n / 2; ++k) ASSERT_NEAR(mixed[size_t(k)], wm[size_t(k)], 1e-4) << k;
}

// Sizes no other test asks for, so their tables are built while several threads ask at once.
TEST(Fft, ThreadsAskingForANewSizeAtOnceGetTheSameResult) {
  constexpr int kThreads = 4;
  for (int n : {32768, 65536}) {
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[size_t(i)] = float(std::sin(2.0 * M_PI * 1000.0 * i / n));
    std::vector<std::vector<float>> outs(kThreads, std::vector<float>(size_t(n / 2)));
    std::vector<int> ok(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] { ok[size_t(t)] = orvbass::ComputeFft(x.data(), n, 1, n, false, false, outs[size_t(t)].data()); });
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
      ASSERT_TRUE(ok[size_t(t)]) << n;
      EXPECT_EQ(outs[size_t(t)], outs[0]) << n << " thread " << t;
    }
    EXPECT_NEAR(outs[0][1000], 1.0f, 1e-3) << n;
    EXPECT_NEAR(outs[0][1003], 0.0f, 1e-3) << n;
  }
}

TEST(Fft, SizesThatAreNotPowersOfTwoAreRefused) {
  std::vector<float> x(1000, 0.0f), out(1000);
  EXPECT_FALSE(orvbass::ComputeFft(x.data(), 1000, 1, 1000, false, false, out.data()));
  EXPECT_FALSE(orvbass::ComputeFft(x.data(), 2, 1, 2, false, false, out.data()));
}

}  // namespace
