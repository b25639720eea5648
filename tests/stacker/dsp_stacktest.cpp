// DSP modules the stacker tests build: they count their calls, refuse to
// start, fault, double the block, answer 0 or a huge count, hold their Config
// open until released, or add a constant. Built again with STACKTEST_BADVERSION
// (a header of the wrong version) and STACKTEST_NOEXPORT (no entry point).
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "plugins/sdk/winamp_dsp.h"
#include "../PluginFault.h"

namespace {

std::atomic<int> g_calls[8], g_inits[8], g_quits[8];
std::atomic<bool> g_release{false}, g_configRunning{false};

int IndexOf(winampDSPModule* m);

void NoConfig(winampDSPModule*) {}
void WaitingConfig(winampDSPModule*) {
  // Ignores any quit request; ends when the test releases it (or after 20 s).
  g_configRunning = true;
  for (int i = 0; i < 2000 && !g_release.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  g_configRunning = false;
}
int InitOk(winampDSPModule* m) {
  ++g_inits[IndexOf(m)];
  return 0;
}
int InitFails(winampDSPModule* m) {
  ++g_inits[IndexOf(m)];
  return 1;
}
void Quit(winampDSPModule* m) { ++g_quits[IndexOf(m)]; }

int Pass(winampDSPModule* m, short*, int frames, int, int, int) {
  ++g_calls[IndexOf(m)];
  return frames;
}
int Fault(winampDSPModule* m, short*, int, int, int, int) {
  ++g_calls[IndexOf(m)];
  PluginCrash();
  return 0;
}
// Writes exactly twice the frames it got (every frame repeated), as the contract allows.
int Double(winampDSPModule* m, short* samples, int frames, int bits, int nch, int) {
  ++g_calls[IndexOf(m)];
  size_t fb = size_t(bits / 8) * size_t(nch);
  auto* p = reinterpret_cast<unsigned char*>(samples);
  for (int i = frames - 1; i >= 0; --i) {
    std::memmove(p + size_t(2 * i + 1) * fb, p + size_t(i) * fb, fb);
    std::memmove(p + size_t(2 * i) * fb, p + size_t(i) * fb, fb);
  }
  return 2 * frames;
}
int Zero(winampDSPModule* m, short*, int, int, int, int) {
  ++g_calls[IndexOf(m)];
  return 0;
}
int Huge(winampDSPModule* m, short*, int, int, int, int) {
  ++g_calls[IndexOf(m)];
  return 1 << 30;
}
int AddHundred(winampDSPModule* m, short* samples, int frames, int bits, int nch, int) {
  ++g_calls[IndexOf(m)];
  if (bits == 16)
    for (int i = 0; i < frames * nch; ++i) samples[i] = short(samples[i] + 100);
  return frames;
}

winampDSPModule g_modules[] = {
    {"Pass (counting)", nullptr, nullptr, &NoConfig, &InitOk, &Pass, &Quit, nullptr},
    {"Refuses to start", nullptr, nullptr, &NoConfig, &InitFails, &Pass, &Quit, nullptr},
    {"Faults", nullptr, nullptr, &NoConfig, &InitOk, &Fault, &Quit, nullptr},
    {"Doubles", nullptr, nullptr, &NoConfig, &InitOk, &Double, &Quit, nullptr},
    {"Answers 0", nullptr, nullptr, &NoConfig, &InitOk, &Zero, &Quit, nullptr},
    {"Answers a huge count", nullptr, nullptr, &NoConfig, &InitOk, &Huge, &Quit, nullptr},
    {"Config stays open", nullptr, nullptr, &WaitingConfig, &InitOk, &Pass, &Quit, nullptr},
    {"Adds 100", nullptr, nullptr, &NoConfig, &InitOk, &AddHundred, &Quit, nullptr},
};

int IndexOf(winampDSPModule* m) { return int(m - g_modules); }

winampDSPModule* GetModule(int index) { return index >= 0 && index < 8 ? &g_modules[index] : nullptr; }

#ifdef STACKTEST_BADVERSION
winampDSPHeader g_header = {DSP_HDRVER + 1, "Stack test (wrong version)", &GetModule};
#else
winampDSPHeader g_header = {DSP_HDRVER, "Stack test", &GetModule};
#endif

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))
#ifndef STACKTEST_NOEXPORT
EXPORT winampDSPHeader* winampDSPGetHeader2() { return &g_header; }
#else
EXPORT winampDSPHeader* notAnEntryPoint() { return &g_header; }
#endif
EXPORT int stacktest_calls(int i) { return g_calls[i]; }
EXPORT int stacktest_inits(int i) { return g_inits[i]; }
EXPORT int stacktest_quits(int i) { return g_quits[i]; }
EXPORT void stacktest_release_config() { g_release = true; }
EXPORT int stacktest_config_running() { return g_configRunning ? 1 : 0; }
