// A DSP plug-in the tests build to exercise the host: modules that count their
// calls, refuse to start, fault, answer 0 / negative frame counts, query the
// host window from ModifySamples, or never return from it. Built once more with
// TESTKIT_EMPTY as a library whose header lists no module.
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>

#include "plugins/sdk/winamp_dsp.h"
#include "../PluginFault.h"

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
  PluginCrash();  // a plug-in bug: the host must survive it
  return 0;
}

int Zero(winampDSPModule*, short*, int, int, int, int) { return 0; }
int Negative(winampDSPModule*, short*, int, int, int, int) { return -5; }

// Asks the host for the play position and the duration, as level meters and
// tempo modules do; each send is answered on the host's UI thread.
std::atomic<int> g_queries{0};
int AskPosition(winampDSPModule* m, short*, int frames, int, int, int) {
  ++g_calls;
  SendMessage(m->hwndParent, WM_USER, 0, 105);
  SendMessage(m->hwndParent, WM_USER, 1, 105);
  ++g_queries;
  return frames;
}

// Never returns until the test releases it (a plug-in stuck on a lock of its own).
std::mutex g_hangMutex;
std::condition_variable g_hangCv;
bool g_released = false;  // guarded by g_hangMutex
std::atomic<int> g_inside{0}, g_left{0};
int NeverReturns(winampDSPModule*, short*, int frames, int, int, int) {
  ++g_calls;
  ++g_inside;
  {
    std::unique_lock lock(g_hangMutex);
    g_hangCv.wait(lock, [] { return g_released; });
  }
  --g_inside;
  ++g_left;
  return frames;
}

winampDSPModule g_modules[] = {
    {"Counting pass-through", nullptr, nullptr, &NoConfig, &InitOk, &Pass, &Quit, nullptr},
    {"Refuses to start", nullptr, nullptr, &NoConfig, &InitFails, &Pass, &Quit, nullptr},
    {"Faults", nullptr, nullptr, &NoConfig, &InitOk, &Fault, &Quit, nullptr},
    {"Answers 0", nullptr, nullptr, &NoConfig, &InitOk, &Zero, &Quit, nullptr},
    {"Answers -5", nullptr, nullptr, &NoConfig, &InitOk, &Negative, &Quit, nullptr},
    {"Asks the play position", nullptr, nullptr, &NoConfig, &InitOk, &AskPosition, &Quit, nullptr},
    {"Never returns", nullptr, nullptr, &NoConfig, &InitOk, &NeverReturns, &Quit, nullptr},
};
constexpr int kModuleCount = int(sizeof g_modules / sizeof g_modules[0]);

winampDSPModule* GetModule(int index) {
#ifdef TESTKIT_EMPTY
  (void)index;
  (void)g_modules;
  (void)kModuleCount;
  return nullptr;
#else
  if (index < 0 || index >= kModuleCount) return nullptr;
  return &g_modules[index];
#endif
}

winampDSPHeader g_header = {DSP_HDRVER, "Test kit", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2() { return &g_header; }
extern "C" __attribute__((visibility("default"))) int testkit_inits() { return g_inits; }
extern "C" __attribute__((visibility("default"))) int testkit_quits() { return g_quits; }
extern "C" __attribute__((visibility("default"))) int testkit_calls() { return g_calls; }
extern "C" __attribute__((visibility("default"))) int testkit_queries() { return g_queries; }
// Calls inside "Never returns" now, and calls that have left it.
extern "C" __attribute__((visibility("default"))) int testkit_inside() { return g_inside; }
extern "C" __attribute__((visibility("default"))) int testkit_left() { return g_left; }
extern "C" __attribute__((visibility("default"))) void testkit_release() {
  {
    std::lock_guard lock(g_hangMutex);
    g_released = true;
  }
  g_hangCv.notify_all();
}
// "Never returns" blocks again (a test program may run several tests in one process).
extern "C" __attribute__((visibility("default"))) void testkit_hold() {
  std::lock_guard lock(g_hangMutex);
  g_released = false;
}
