// The modules of dsp_orvella.so on buffers of known samples.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <vector>

#include "plugins/sdk/winamp_dsp.h"

namespace {

struct Library {
  void* handle = dlopen((std::string(ORVELLA_STAGE_DIR) + "/plugins/dsp_orvella.so").c_str(), RTLD_NOW);
  ~Library() {
    if (handle) dlclose(handle);
  }
  winampDSPModule* Module(int i) const {
    auto get = reinterpret_cast<winampDSPGetHeaderType>(dlsym(handle, "winampDSPGetHeader2"));
    return get ? get()->getModule(i) : nullptr;
  }
};

}  // namespace

TEST(SampleDSP, ListsFourModules) {
  Library lib;
  ASSERT_NE(lib.handle, nullptr);
  EXPECT_STREQ(lib.Module(0)->description, "Gain -6 dB");
  EXPECT_STREQ(lib.Module(1)->description, "Stereo widener");
  EXPECT_STREQ(lib.Module(2)->description, "Half speed (twice the samples)");
  EXPECT_STREQ(lib.Module(3)->description, "Soft limiter");
  EXPECT_EQ(lib.Module(4), nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lib.Module(i)->Init(lib.Module(i)), 0);
}

TEST(SampleDSP, GainWidenerAndLimiterOnKnownSamples) {
  Library lib;
  ASSERT_NE(lib.handle, nullptr);
  std::vector<short> s = {10000, -10000, 32767, -32768};
  EXPECT_EQ(lib.Module(0)->ModifySamples(lib.Module(0), s.data(), 2, 16, 2, 44100), 2);
  EXPECT_EQ(s, (std::vector<short>{5012, -5012, 16422, -16423}));

  // 8-bit samples are unsigned around 128.
  std::vector<uint8_t> u8 = {228, 28, 128, 0};
  lib.Module(0)->ModifySamples(lib.Module(0), reinterpret_cast<short*>(u8.data()), 4, 8, 1, 11025);
  EXPECT_EQ(u8, (std::vector<uint8_t>{178, 78, 128, 64}));

  // Left 1000, right 0: mid 500, side 500 raised to 750.
  std::vector<short> st = {1000, 0, 3000, 3000};
  lib.Module(1)->ModifySamples(lib.Module(1), st.data(), 2, 16, 2, 44100);
  EXPECT_EQ(st, (std::vector<short>{1250, -250, 3000, 3000}));  // a centred sound stays put

  std::vector<short> peaks = {1000, 23000, 32767, -32768};
  lib.Module(3)->ModifySamples(lib.Module(3), peaks.data(), 4, 16, 1, 44100);
  EXPECT_EQ(peaks[0], 1000);  // below -3 dBFS: untouched
  EXPECT_EQ(peaks[1], 23000);
  EXPECT_LT(peaks[2], 32767);  // full scale bent down
  EXPECT_GT(peaks[2], 23196);
  EXPECT_NEAR(peaks[3], -peaks[2], 1);  // -32768 is one step beyond 32767
}

TEST(SampleDSP, HalfSpeedRepeatsEveryFrameInPlace) {
  Library lib;
  ASSERT_NE(lib.handle, nullptr);
  std::vector<short> s = {1, -1, 2, -2, 3, -3, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(lib.Module(2)->ModifySamples(lib.Module(2), s.data(), 3, 16, 2, 44100), 6);
  EXPECT_EQ(s, (std::vector<short>{1, -1, 1, -1, 2, -2, 2, -2, 3, -3, 3, -3}));
}
