// The 1.x DSP records keep their field order (32-bit integers int32_t, pointers
// pointer-sized, natural alignment), and the 1.x gain sample on known samples.
#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "StackerTestUtil.h"
#include "plugins/sdk/winamp_dsp1.h"

namespace {

struct Layout {
  size_t next = 0, align = 1;
  size_t Add(size_t size) {
    next = (next + size - 1) / size * size;
    size_t at = next;
    next += size;
    align = std::max(align, size);
    return at;
  }
  size_t Size() const { return (next + align - 1) / align * align; }
};

constexpr size_t I = 4, P = sizeof(void*);

}  // namespace

TEST(Sdk1Layout, HeaderAndModuleFieldsInOrder) {
  Layout h;
  EXPECT_EQ(offsetof(winampDSPHeader1, version), h.Add(I));
  EXPECT_EQ(offsetof(winampDSPHeader1, description), h.Add(P));
  EXPECT_EQ(offsetof(winampDSPHeader1, getModule), h.Add(P));
  EXPECT_EQ(sizeof(winampDSPHeader1), h.Size());
  Layout m;
  EXPECT_EQ(offsetof(winampDSPModule1, description), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, hwndParent), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, hDllInstance), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, sampleRate), m.Add(I));
  EXPECT_EQ(offsetof(winampDSPModule1, numChannels), m.Add(I));
  EXPECT_EQ(offsetof(winampDSPModule1, numSamples), m.Add(I));
  EXPECT_EQ(offsetof(winampDSPModule1, Config), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, Init), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, Activate), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, Process), m.Add(P));
  EXPECT_EQ(offsetof(winampDSPModule1, reserved), m.Add(P));
  m.Add(P);
  EXPECT_EQ(offsetof(winampDSPModule1, Quit), m.Add(P));
  EXPECT_EQ(sizeof(winampDSPModule1), m.Size());
  EXPECT_TRUE((std::is_same_v<decltype(winampDSPModule1::sampleRate), int32_t>));
  EXPECT_TRUE((std::is_same_v<decltype(winampDSPHeader1::version), int32_t>));
  EXPECT_EQ(DSP_HDRVER1, 0x10);
}

TEST(Sdk1Layout, TheGainSampleScalesTheSamplesItIsTold) {
  void* lib = dlopen(stackertest::Built("dsp_gain1x.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(dlsym(lib, "winampDSPGetHeader2"), nullptr);  // a 1.x library only
  auto get = reinterpret_cast<winampDSPGetHeaderType1>(dlsym(lib, "winampDSPGetHeader"));
  ASSERT_NE(get, nullptr);
  winampDSPHeader1* h = get();
  EXPECT_EQ(h->version, DSP_HDRVER1);
  winampDSPModule1* quieter = h->getModule(0);
  winampDSPModule1* louder = h->getModule(1);
  ASSERT_NE(quieter, nullptr);
  ASSERT_NE(louder, nullptr);
  EXPECT_EQ(h->getModule(2), nullptr);
  EXPECT_EQ(quieter->Init(quieter), 0);
  EXPECT_EQ(quieter->Activate(quieter), 0);
  short s[6] = {10000, -10000, 32767, -32768, 77, 77};
  quieter->sampleRate = 44100;
  quieter->numChannels = 2;
  quieter->numSamples = 2;  // the last frame is not the module's
  quieter->Process(quieter, s);
  EXPECT_EQ(s[0], 5012);
  EXPECT_EQ(s[1], -5012);
  EXPECT_EQ(s[2], 16422);
  EXPECT_EQ(s[3], -16423);
  EXPECT_EQ(s[4], 77);
  louder->numChannels = 1;
  louder->numSamples = 2;
  short t[2] = {1000, 30000};
  louder->Process(louder, t);
  EXPECT_EQ(t[0], 1995);
  EXPECT_EQ(t[1], 32767);  // clipped
  dlclose(lib);
}
