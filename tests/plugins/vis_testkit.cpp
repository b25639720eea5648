// Visualisation modules for the host's tests. Each records what the host hands
// it; the test reads the records through the testkit_* exports.
//
// Modules (index: behaviour):
//   0 recorder: two spectrum and two waveform channels, paints its frame's surface
//   1 recorder with one spectrum channel and two waveform channels
//   2 Render answers 1 on its third call
//   3 Render faults on its third call
//   4 Init fails
//   5 Init does not return until testkit_release()
//   6 Quit does not return until testkit_release()
//   7 opens no window
// Variants (compile definitions): VIS_NINE lists nine modules, VIS_NOEXPORT exports
// no header function, VIS_NULLHEADER returns no header, VIS_NULLMODULE lists none.
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "plugins/sdk/winamp_vis.h"
#include "../PluginFault.h"

namespace {

constexpr int kModules = 9;

struct Record {
  std::atomic<int> inits{0}, renders{0}, quits{0};
  std::atomic<int> nice{-100};  // the nice value Init ran at
  std::mutex m;
  unsigned char spectrum[2][576];
  unsigned char waveform[2][576];
  int srate = 0, nch = 0;
  HWND frame = nullptr;
  int surfaceDraws = 0;
};
Record g_rec[kModules];
std::atomic<bool> g_release{false};

winampVisModule g_mod[kModules];
const char* const kNames[kModules] = {"Recorder",   "Spectrum 1 waveform 2", "Render stops", "Render faults",
                                      "Init fails", "Init hangs",            "Quit hangs",   "No window",
                                      "Ninth"};

int Index(winampVisModule* m) { return int(m - g_mod); }

void WaitRelease() {
  while (!g_release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

HWND AskFrame(winampVisModule* m) {
  // The service's address first (wParam 0), then a frame from it.
  auto service = reinterpret_cast<embedWindowFunc>(SendMessage(m->hwndParent, WM_USER, 0, IPC_GET_EMBEDIF));
  if (!service) return nullptr;
  embedWindowState state{};
  state.right = 64;
  state.bottom = 32;
  return service(&state);
}

[[maybe_unused]] void Config(winampVisModule*) {}

[[maybe_unused]] int Init(winampVisModule* m) {
  int i = Index(m);
  g_rec[i].nice = getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
  ++g_rec[i].inits;
  if (i == 4) return 1;
  if (i == 5) WaitRelease();
  if (i == 7) return 0;
  HWND f = AskFrame(m);
  std::lock_guard lock(g_rec[i].m);
  g_rec[i].frame = f;
  return 0;
}

[[maybe_unused]] int Render(winampVisModule* m) {
  int i = Index(m);
  int n = ++g_rec[i].renders;
  {
    std::lock_guard lock(g_rec[i].m);
    std::memcpy(g_rec[i].spectrum, m->spectrumData, sizeof(g_rec[i].spectrum));
    std::memcpy(g_rec[i].waveform, m->waveformData, sizeof(g_rec[i].waveform));
    g_rec[i].srate = m->sRate;
    g_rec[i].nch = m->nCh;
  }
  if (i == 0) {
    auto lock = reinterpret_cast<OrvellaVisFrameLockSurfaceFunc>(dlsym(RTLD_DEFAULT, "OrvellaVisFrameLockSurface"));
    auto unlock =
        reinterpret_cast<OrvellaVisFrameUnlockSurfaceFunc>(dlsym(RTLD_DEFAULT, "OrvellaVisFrameUnlockSurface"));
    OrvellaVisSurface s{};
    HWND f;
    {
      std::lock_guard l(g_rec[i].m);
      f = g_rec[i].frame;
    }
    if (lock && unlock && f && lock(f, &s)) {
      for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) s.pixels[y * s.stride + x] = 0xFF00C000u;
      unlock(f);
      std::lock_guard l(g_rec[i].m);
      ++g_rec[i].surfaceDraws;
    }
  }
  if (i == 2 && n >= 3) return 1;
  if (i == 3 && n >= 3) {
    PluginCrash();
  }
  return 0;
}

[[maybe_unused]] void Quit(winampVisModule* m) {
  int i = Index(m);
  ++g_rec[i].quits;
  if (i == 6) WaitRelease();
}

winampVisModule* GetModule(int index) {
#if defined(VIS_NULLMODULE)
  (void)index;
  return nullptr;
#else
#if defined(VIS_NINE)
  const int count = 9;
#else
  const int count = 8;
#endif
  if (index < 0 || index >= count) return nullptr;
  winampVisModule* m = &g_mod[index];
  m->description = kNames[index];
  m->latencyMs = 0;
  m->delayMs = 25;
  m->spectrumNch = index == 1 ? 1 : 2;
  m->waveformNch = 2;
  m->Config = &Config;
  m->Init = &Init;
  m->Render = &Render;
  m->Quit = &Quit;
  return m;
#endif
}

[[maybe_unused]] winampVisHeader g_header = {VIS_HDRVER, "Orvella test kit", &GetModule};

}  // namespace

extern "C" {
#if !defined(VIS_NOEXPORT)
__attribute__((visibility("default"))) winampVisHeader* winampVisGetHeader(HWND) {
#if defined(VIS_NULLHEADER)
  return nullptr;
#else
  return &g_header;
#endif
}
#endif

__attribute__((visibility("default"))) int testkit_inits(int i) { return g_rec[i].inits.load(); }
__attribute__((visibility("default"))) int testkit_renders(int i) { return g_rec[i].renders.load(); }
__attribute__((visibility("default"))) int testkit_quits(int i) { return g_rec[i].quits.load(); }
__attribute__((visibility("default"))) void testkit_release(void) { g_release = true; }
__attribute__((visibility("default"))) int testkit_nice(int i) { return g_rec[i].nice.load(); }
__attribute__((visibility("default"))) void testkit_reset(void) {
  g_release = false;
  for (Record& r : g_rec) {
    r.inits = r.renders = r.quits = 0;
    std::lock_guard lock(r.m);
    r.surfaceDraws = 0;
    r.frame = nullptr;
  }
}
// The last frame module i rendered.
__attribute__((visibility("default"))) void testkit_last(int i, unsigned char spectrum[2][576],
                                                         unsigned char waveform[2][576], int* srate, int* nch) {
  std::lock_guard lock(g_rec[i].m);
  std::memcpy(spectrum, g_rec[i].spectrum, sizeof(g_rec[i].spectrum));
  std::memcpy(waveform, g_rec[i].waveform, sizeof(g_rec[i].waveform));
  *srate = g_rec[i].srate;
  *nch = g_rec[i].nch;
}
__attribute__((visibility("default"))) HWND testkit_frame(int i) {
  std::lock_guard lock(g_rec[i].m);
  return g_rec[i].frame;
}
__attribute__((visibility("default"))) int testkit_surface_draws(int i) {
  std::lock_guard lock(g_rec[i].m);
  return g_rec[i].surfaceDraws;
}
}
