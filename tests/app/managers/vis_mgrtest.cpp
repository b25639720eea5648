// A visualisation plug-in for the control window: module 0 counts its Config
// calls and its Init and Quit, module 1's Config calls back into the test
// program while it is open (a configuration dialog the user still has up),
// module 2's Config faults. Init asks the host for a frame to draw in.
#include <dlfcn.h>

#include <atomic>

#include "plugins/sdk/winamp_vis.h"
#include "../../PluginFault.h"

namespace {

std::atomic<int> g_configs{0}, g_inits{0}, g_quits{0};

void CountConfig(winampVisModule*) { ++g_configs; }
void OpenConfig(winampVisModule*) {
  ++g_configs;
  // The test program's stand-in for the time the dialog stays open.
  if (auto hook = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "mgrtest_vis_config_open"))) hook();
}
void FaultConfig(winampVisModule*) {
  PluginCrash();
}
int Init(winampVisModule* m) {
  ++g_inits;
  // A frame to draw in from the host's embed service, as Winamp 5 modules ask for one.
  auto service = reinterpret_cast<embedWindowFunc>(SendMessage(m->hwndParent, WM_USER, 0, IPC_GET_EMBEDIF));
  if (!service) return 1;
  embedWindowState state{};
  state.right = 64;
  state.bottom = 32;
  return service(&state) ? 0 : 1;
}
int Render(winampVisModule*) { return 0; }
void Quit(winampVisModule*) { ++g_quits; }

winampVisModule g_modules[3] = {
    {"Counting module", nullptr, nullptr, 0, 0, 0, 25, 1, 0, {}, {}, &CountConfig, &Init, &Render, &Quit, nullptr},
    {"Long configuration", nullptr, nullptr, 0, 0, 0, 25, 0, 1, {}, {}, &OpenConfig, &Init, &Render, &Quit, nullptr},
    {"Faulting configuration", nullptr, nullptr, 0, 0, 0, 25, 1, 1, {}, {}, &FaultConfig, &Init, &Render, &Quit,
     nullptr},
};

winampVisModule* GetModule(int index) { return index >= 0 && index < 3 ? &g_modules[index] : nullptr; }

winampVisHeader g_header = {VIS_HDRVER, "Manager test visuals", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampVisHeader* winampVisGetHeader(HWND) { return &g_header; }
extern "C" __attribute__((visibility("default"))) int mgrvis_configs() { return g_configs; }
extern "C" __attribute__((visibility("default"))) int mgrvis_inits() { return g_inits; }
extern "C" __attribute__((visibility("default"))) int mgrvis_quits() { return g_quits; }
