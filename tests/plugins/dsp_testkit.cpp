// A DSP plug-in the tests build to exercise the host: modules that count their
// calls, refuse to start, fault, or answer 0 / negative frame counts. Built
// once more with TESTKIT_EMPTY as a library whose header lists no module.
#include <atomic>
#include <csignal>

#include "plugins/sdk/winamp_dsp.h"

namespace {

std::atomic<int> g_inits{0}, g_quits{0}, g_calls{0};

void NoConfig(winampDSPModule*) {}
int InitOk(winampDSPModule*) {
  ++g_inits;
  return 0;
}
int InitFails(winampDSPModule*) { return 1; }
void Quit(winampDSPModule*) { ++g_quits; }

int Pass(winampDSPModule*, short*, int frames, int, int, int) {
  ++g_calls;
  return frames;
}

int Fault(winampDSPModule*, short*, int, int, int, int) {
  ++g_calls;
  volatile int* nowhere = nullptr;
  *nowhere = 1;  // a plug-in bug: the host must survive it
  return 0;
}

int Zero(winampDSPModule*, short*, int, int, int, int) { return 0; }
int Negative(winampDSPModule*, short*, int, int, int, int) { return -5; }

winampDSPModule g_modules[] = {
    {"Counting pass-through", nullptr, nullptr, &NoConfig, &InitOk, &Pass, &Quit, nullptr},
    {"Refuses to start", nullptr, nullptr, &NoConfig, &InitFails, &Pass, &Quit, nullptr},
    {"Faults", nullptr, nullptr, &NoConfig, &InitOk, &Fault, &Quit, nullptr},
    {"Answers 0", nullptr, nullptr, &NoConfig, &InitOk, &Zero, &Quit, nullptr},
    {"Answers -5", nullptr, nullptr, &NoConfig, &InitOk, &Negative, &Quit, nullptr},
};

winampDSPModule* GetModule(int index) {
#ifdef TESTKIT_EMPTY
  (void)index;
  (void)g_modules;
  return nullptr;
#else
  if (index < 0 || index >= 5) return nullptr;
  return &g_modules[index];
#endif
}

winampDSPHeader g_header = {DSP_HDRVER, "Test kit", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2() { return &g_header; }
extern "C" __attribute__((visibility("default"))) int testkit_inits() { return g_inits; }
extern "C" __attribute__((visibility("default"))) int testkit_quits() { return g_quits; }
extern "C" __attribute__((visibility("default"))) int testkit_calls() { return g_calls; }
