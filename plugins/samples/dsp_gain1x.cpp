// dsp_gain1x.so: a Winamp 1.x style DSP plug-in (winampDSPGetHeader), for hosts
// that still take such modules.
//   0 "Gain -6 dB (1.x)"  halves the level of 16-bit samples (-6 dB is 0.501)
//   1 "Gain +6 dB (1.x)"  doubles it, clipping at full scale
// Modules keep no state between blocks, so Process is safe on any thread.
#include <cmath>
#include <cstdint>

#include "plugins/sdk/winamp_dsp1.h"

namespace {

const double kMinus6dB = std::pow(10.0, -6.0 / 20.0);
const double kPlus6dB = std::pow(10.0, 6.0 / 20.0);

short Clamp16(double v) {
  long r = std::lround(v);
  return short(r > 32767 ? 32767 : r < -32768 ? -32768 : r);
}

void NoConfig(winampDSPModule1*) {}
int Ready(winampDSPModule1*) { return 0; }
void QuitNothing(winampDSPModule1*) {}

void Scale(winampDSPModule1* m, short* samples, double factor) {
  if (!samples || m->numSamples <= 0 || m->numChannels <= 0) return;
  long n = long(m->numSamples) * m->numChannels;
  for (long i = 0; i < n; ++i) samples[i] = Clamp16(samples[i] * factor);
}

void Quieter(winampDSPModule1* m, short* samples) { Scale(m, samples, kMinus6dB); }
void Louder(winampDSPModule1* m, short* samples) { Scale(m, samples, kPlus6dB); }

winampDSPModule1 g_modules[] = {
    {"Gain -6 dB (1.x)", nullptr, nullptr, 44100, 2, 576, &NoConfig, &Ready, &Ready, &Quieter, {}, &QuitNothing},
    {"Gain +6 dB (1.x)", nullptr, nullptr, 44100, 2, 576, &NoConfig, &Ready, &Ready, &Louder, {}, &QuitNothing},
};

winampDSPModule1* GetModule(int index) {
  if (index < 0 || index >= int(sizeof g_modules / sizeof g_modules[0])) return nullptr;
  return &g_modules[index];
}

winampDSPHeader1 g_header = {DSP_HDRVER1, "Orvella gain (Winamp 1.x)", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader1* winampDSPGetHeader() { return &g_header; }
