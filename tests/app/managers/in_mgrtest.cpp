// An input plug-in for the manager windows: it decodes nothing, it counts the
// calls of Config and About and keeps the parent window they were given. Built
// once more with MGR_FAULT, whose Config faults (a plug-in bug the host survives).
#include <atomic>

#include "plugins/sdk/winamp_input.h"
#include "../../PluginFault.h"

namespace {

std::atomic<int> g_config{0}, g_about{0}, g_inits{0}, g_quits{0};
std::atomic<HWND> g_parent{nullptr};

void Config(HWND parent) {
  g_parent = parent;
  ++g_config;
#ifdef MGR_FAULT
  PluginCrash();
#endif
}
void About(HWND parent) {
  g_parent = parent;
  ++g_about;
}
void Init() { ++g_inits; }
void Quit() { ++g_quits; }
void GetFileInfo(const char*, char* title, int* length) {
  if (title) title[0] = 0;
  if (length) *length = 0;
}
int Play(const char*) { return -1; }
void Nothing() {}
int Zero() { return 0; }
void SetTime(int) {}
void SetInt(int) {}

In_Module g_module = {IN_VER, "Manager test plug-in", nullptr, nullptr, "MGRT\0Manager test files (*.mgrt)\0", 0, 1,
                      &Config, &About, &Init, &Quit, &GetFileInfo, nullptr, nullptr, &Play, &Nothing, &Nothing,
                      &Zero, &Nothing, &Zero, &Zero, &SetTime, &SetInt, &SetInt};

}  // namespace

extern "C" __attribute__((visibility("default"))) In_Module* winampGetInModule2() { return &g_module; }
extern "C" __attribute__((visibility("default"))) int mgrtest_configs() { return g_config; }
extern "C" __attribute__((visibility("default"))) int mgrtest_abouts() { return g_about; }
extern "C" __attribute__((visibility("default"))) HWND mgrtest_parent() { return g_parent; }
