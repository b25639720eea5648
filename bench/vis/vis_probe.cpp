// A visualisation module for the benchmark: records when each Render happens
// and whether the frame shows a tone. Modules 0, 1, 2 ask for 25, 60 and 100
// frames a second.
#include <atomic>
#include <chrono>

#include "plugins/sdk/winamp_vis.h"

namespace {
winampVisModule g_mods[3];
std::atomic<long long> g_firstToneNs{0};
std::atomic<int> g_renders{0};

int Init(winampVisModule* m) {
  auto service = reinterpret_cast<embedWindowFunc>(SendMessage(m->hwndParent, WM_USER, 0, IPC_GET_EMBEDIF));
  embedWindowState s{};
  s.right = 32;
  s.bottom = 32;
  return service && service(&s) ? 0 : 1;
}
int Render(winampVisModule* m) {
  ++g_renders;
  int peak = 0;
  for (int i = 0; i < 576; ++i) peak = peak > m->spectrumData[0][i] ? peak : m->spectrumData[0][i];
  if (peak > 8 && g_firstToneNs.load() == 0)
    g_firstToneNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch()).count();
  return 0;
}
void Quit(winampVisModule*) {}
void Config(winampVisModule*) {}
winampVisModule* GetModule(int i) {
  static const int periods[3] = {40, 16, 10};
  if (i < 0 || i > 2) return nullptr;
  g_mods[i] = winampVisModule{};
  g_mods[i].description = "probe";
  g_mods[i].delayMs = periods[i];
  g_mods[i].spectrumNch = 2;
  g_mods[i].waveformNch = 2;
  g_mods[i].Config = &Config;
  g_mods[i].Init = &Init;
  g_mods[i].Render = &Render;
  g_mods[i].Quit = &Quit;
  return &g_mods[i];
}
winampVisHeader g_header = {VIS_HDRVER, "benchmark probe", &GetModule};
}  // namespace

extern "C" {
__attribute__((visibility("default"))) winampVisHeader* winampVisGetHeader(HWND) { return &g_header; }
__attribute__((visibility("default"))) long long probe_first_tone_ns() { return g_firstToneNs.load(); }
__attribute__((visibility("default"))) void probe_reset() { g_firstToneNs = 0; g_renders = 0; }
__attribute__((visibility("default"))) int probe_renders() { return g_renders.load(); }
}
