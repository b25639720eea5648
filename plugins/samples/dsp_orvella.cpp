// dsp_orvella.so: a DSP plug-in with a few everyday modules.
//   0 "Gain -6 dB"                    halves the level (-6.02 dB is 0.5; -6 dB is 0.501)
//   1 "Stereo widener"                widens stereo by raising the side signal 50 %
//   2 "Half speed (twice the samples)" repeats every frame, so a block comes back twice as long
//   3 "Soft limiter"                  bends peaks above -3 dBFS smoothly towards full scale
// Modules keep no state between blocks, so ModifySamples is safe on any thread.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "plugins/sdk/winamp_dsp.h"

namespace {

int16_t Clamp16(double v) {
  long r = std::lround(v);
  return int16_t(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}

uint8_t Clamp8(double v) {
  long r = std::lround(v);
  return uint8_t(r > 255 ? 255 : r < 0 ? 0 : r);
}

// Calls f on every sample as a value around 0 in 16-bit units and stores the result.
template <typename F>
void EachSample(short* samples, int frames, int bits, int nch, F f) {
  int n = frames * nch;
  if (bits == 16) {
    for (int i = 0; i < n; ++i) samples[i] = Clamp16(f(double(samples[i])));
  } else if (bits == 8) {
    auto* p = reinterpret_cast<uint8_t*>(samples);
    for (int i = 0; i < n; ++i) p[i] = Clamp8(f((double(p[i]) - 128.0) * 256.0) / 256.0 + 128.0);
  }
}

void NoConfig(winampDSPModule*) {}
int InitOk(winampDSPModule*) { return 0; }
void QuitNothing(winampDSPModule*) {}

const double kMinus6dB = std::pow(10.0, -6.0 / 20.0);

int Gain(winampDSPModule*, short* samples, int frames, int bits, int nch, int) {
  EachSample(samples, frames, bits, nch, [](double v) { return v * kMinus6dB; });
  return frames;
}

int Widen(winampDSPModule*, short* samples, int frames, int bits, int nch, int) {
  if (nch != 2 || bits != 16) return frames;
  for (int i = 0; i < frames; ++i) {
    double l = samples[2 * i], r = samples[2 * i + 1];
    double mid = (l + r) / 2, side = (l - r) / 2 * 1.5;
    samples[2 * i] = Clamp16(mid + side);
    samples[2 * i + 1] = Clamp16(mid - side);
  }
  return frames;
}

int HalfSpeed(winampDSPModule*, short* samples, int frames, int bits, int nch, int) {
  // The host's buffer holds twice the frames it hands over; work from the end so
  // nothing is overwritten before it is copied.
  size_t frameBytes = size_t(bits / 8) * size_t(nch);
  auto* p = reinterpret_cast<uint8_t*>(samples);
  for (int i = frames - 1; i >= 0; --i) {
    std::memmove(p + size_t(2 * i + 1) * frameBytes, p + size_t(i) * frameBytes, frameBytes);
    std::memmove(p + size_t(2 * i) * frameBytes, p + size_t(i) * frameBytes, frameBytes);
  }
  return frames * 2;
}

int Limit(winampDSPModule*, short* samples, int frames, int bits, int nch, int) {
  const double knee = 32767.0 * 0.7079;  // -3 dBFS
  EachSample(samples, frames, bits, nch, [knee](double v) {
    double a = std::fabs(v);
    if (a <= knee) return v;
    double over = (a - knee) / (32767.0 - knee);
    double bent = knee + (32767.0 - knee) * std::tanh(over);
    return v < 0 ? -bent : bent;
  });
  return frames;
}

winampDSPModule g_modules[] = {
    {"Gain -6 dB", nullptr, nullptr, &NoConfig, &InitOk, &Gain, &QuitNothing, nullptr},
    {"Stereo widener", nullptr, nullptr, &NoConfig, &InitOk, &Widen, &QuitNothing, nullptr},
    {"Half speed (twice the samples)", nullptr, nullptr, &NoConfig, &InitOk, &HalfSpeed, &QuitNothing, nullptr},
    {"Soft limiter", nullptr, nullptr, &NoConfig, &InitOk, &Limit, &QuitNothing, nullptr},
};

winampDSPModule* GetModule(int index) {
  if (index < 0 || index >= int(sizeof g_modules / sizeof g_modules[0])) return nullptr;
  return &g_modules[index];
}

winampDSPHeader g_header = {DSP_HDRVER, "Orvella DSP modules", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2() { return &g_header; }
