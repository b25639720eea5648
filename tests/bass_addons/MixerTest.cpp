// bassmix.so: sources of other rates and channel counts summed into a mixer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "AddonTestUtil.h"
#include "bass/addons/bassmix.h"

namespace {

struct Mix {
#define ORV_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASSMIX_FUNCTIONS(ORV_PTR)
#undef ORV_PTR
  void* lib = nullptr;
  bool Load() {
    lib = dlopen(at::AddonPath("bassmix").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
#define ORV_RESOLVE(name) name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name));
    ORVELLA_BASSMIX_FUNCTIONS(ORV_RESOLVE)
#undef ORV_RESOLVE
    return BASS_Mixer_StreamCreate != nullptr;
  }
  ~Mix() {
    if (lib) dlclose(lib);
  }
};

// A decoding source of constant 16-bit samples that ends after "frames" frames.
struct Constant {
  int16_t value;
  DWORD chans;
  size_t frames, done = 0;
};

DWORD CALLBACK ConstantProc(HSTREAM, void* buffer, DWORD length, void* user) {
  auto* c = static_cast<Constant*>(user);
  size_t n = std::min<size_t>(length / (2 * c->chans), c->frames - c->done);
  auto* s = static_cast<int16_t*>(buffer);
  for (size_t i = 0; i < n * c->chans; ++i) s[i] = c->value;
  c->done += n;
  return DWORD(n * 2 * c->chans) | (c->done == c->frames ? BASS_STREAMPROC_END : 0);
}

TEST(Mixer, SumsSourcesOfOtherRatesAndLayouts) {
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  Mix mix;
  ASSERT_TRUE(mix.Load()) << dlerror();
  EXPECT_EQ(mix.BASS_Mixer_GetVersion() >> 16, 0x0204u);
  HSTREAM m = mix.BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE | BASS_MIXER_END);
  ASSERT_NE(m, 0u) << BASS_ErrorGetCode();
  BASS_CHANNELINFO info{};
  ASSERT_TRUE(BASS_ChannelGetInfo(m, &info));
  EXPECT_EQ(info.ctype, DWORD(BASS_CTYPE_STREAM_MIXER));

  Constant a{8192, 2, 44100}, b{4096, 1, 11025};  // 1 s stereo at 44.1 kHz, 0.5 s mono at 22.05 kHz
  HSTREAM sa = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, ConstantProc, &a);
  HSTREAM sb = BASS_StreamCreate(22050, 1, BASS_STREAM_DECODE, ConstantProc, &b);
  ASSERT_TRUE(sa && sb);
  ASSERT_TRUE(mix.BASS_Mixer_StreamAddChannel(m, sa, 0));
  ASSERT_TRUE(mix.BASS_Mixer_StreamAddChannel(m, sb, 0));
  EXPECT_FALSE(mix.BASS_Mixer_StreamAddChannel(m, sa, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  EXPECT_EQ(mix.BASS_Mixer_ChannelGetMixer(sa), m);

  std::vector<uint8_t> out = at::ReadAll(m);
  ASSERT_GE(out.size(), 44100u * 4);  // at least the longer source
  EXPECT_LT(out.size(), 44100u * 4 + 65536);  // it ends soon after the last source
  const auto* s = reinterpret_cast<const int16_t*>(out.data());
  // Both sources: 0.25 + 0.125, the mono source on both sides.
  EXPECT_NEAR(s[0], 12288, 2);
  EXPECT_NEAR(s[1], 12288, 2);
  EXPECT_NEAR(s[2 * 20000], 12288, 2);
  // After half a second only the stereo source remains.
  EXPECT_NEAR(s[2 * 30000], 8192, 2);
  EXPECT_NEAR(s[2 * 44000 + 1], 8192, 2);
  BASS_StreamFree(m);
  EXPECT_EQ(mix.BASS_Mixer_ChannelGetMixer(sa), 0u);  // the mixer took its sources' records along
  BASS_StreamFree(sa);
  BASS_StreamFree(sb);
}

TEST(Mixer, MatrixPauseRemoveAndRefusals) {
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  Mix mix;
  ASSERT_TRUE(mix.Load());
  HSTREAM m = mix.BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE);
  ASSERT_NE(m, 0u);
  Constant a{8192, 1, 1000000};
  HSTREAM sa = BASS_StreamCreate(44100, 1, BASS_STREAM_DECODE, ConstantProc, &a);
  ASSERT_TRUE(mix.BASS_Mixer_StreamAddChannel(m, sa, 0));
  const float leftOnly[2] = {1.0f, 0.0f};
  ASSERT_TRUE(mix.BASS_Mixer_ChannelSetMatrix(sa, leftOnly));
  float back[2] = {-1, -1};
  ASSERT_TRUE(mix.BASS_Mixer_ChannelGetMatrix(sa, back));
  EXPECT_EQ(back[0], 1.0f);
  EXPECT_EQ(back[1], 0.0f);
  std::vector<int16_t> pcm(2000);
  ASSERT_EQ(BASS_ChannelGetData(m, pcm.data(), 4000), 4000u);
  EXPECT_NEAR(pcm[100], 8192, 2);
  EXPECT_EQ(pcm[101], 0);
  EXPECT_EQ(mix.BASS_Mixer_ChannelGetLevel(sa) & 0xFFFF, 8192u);
  // Paused: silence, and the source is not read.
  EXPECT_EQ(mix.BASS_Mixer_ChannelFlags(sa, BASS_MIXER_PAUSE, BASS_MIXER_PAUSE) & BASS_MIXER_PAUSE, DWORD(BASS_MIXER_PAUSE));
  size_t before = a.done;
  ASSERT_EQ(BASS_ChannelGetData(m, pcm.data(), 4000), 4000u);
  EXPECT_EQ(pcm[100], 0);
  EXPECT_EQ(a.done, before);
  mix.BASS_Mixer_ChannelFlags(sa, 0, BASS_MIXER_PAUSE);
  ASSERT_TRUE(mix.BASS_Mixer_ChannelRemove(sa));
  EXPECT_FALSE(mix.BASS_Mixer_ChannelRemove(sa));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  ASSERT_EQ(BASS_ChannelGetData(m, pcm.data(), 4000), 4000u);  // no END flag: silence goes on
  EXPECT_EQ(pcm[100], 0);
  // A channel that plays by itself cannot be a source; envelopes are not offered.
  HSTREAM playing = BASS_StreamCreate(44100, 2, 0, ConstantProc, &a);
  ASSERT_NE(playing, 0u);
  EXPECT_FALSE(mix.BASS_Mixer_StreamAddChannel(m, playing, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
  ASSERT_TRUE(mix.BASS_Mixer_StreamAddChannel(m, sa, 0));
  EXPECT_FALSE(mix.BASS_Mixer_ChannelSetEnvelope(sa, 1, nullptr, 0));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  EXPECT_EQ(mix.BASS_Mixer_StreamCreate(44100, 9, 0), 0u);
  BASS_StreamFree(playing);
  BASS_StreamFree(m);
  BASS_StreamFree(sa);
}

}  // namespace
