// A DSP plug-in for the DSP control window: module 0 counts its Config calls
// and keeps the parent it saw, module 1's Config faults (a plug-in bug).
#include <atomic>

#include "plugins/sdk/winamp_dsp.h"
#include "../../PluginFault.h"

namespace {

std::atomic<int> g_configs{0};
std::atomic<HWND> g_parent{nullptr};

void CountConfig(winampDSPModule* m) {
  g_parent = m->hwndParent;
  ++g_configs;
}
void FaultConfig(winampDSPModule*) {
  PluginCrash();
}
int InitOk(winampDSPModule*) { return 0; }
int Pass(winampDSPModule*, short*, int frames, int, int, int) { return frames; }
void Quit(winampDSPModule*) {}

winampDSPModule g_modules[] = {
    {"Counts its configuration", nullptr, nullptr, &CountConfig, &InitOk, &Pass, &Quit, nullptr},
    {"Faults in its configuration", nullptr, nullptr, &FaultConfig, &InitOk, &Pass, &Quit, nullptr},
};

winampDSPModule* GetModule(int index) { return index >= 0 && index < 2 ? &g_modules[index] : nullptr; }

winampDSPHeader g_header = {DSP_HDRVER, "Manager test DSP", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2() { return &g_header; }
extern "C" __attribute__((visibility("default"))) int mgrdsp_configs() { return g_configs; }
extern "C" __attribute__((visibility("default"))) HWND mgrdsp_parent() { return g_parent; }
