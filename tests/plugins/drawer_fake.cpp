// Fake drawer libraries for the host's tests: RARareru.so (mini browser and
// general drawers) and DorIzivur2.so (visualisation drawer). Each call is
// recorded; the test reads the record through drawerfake_* exports.
// Variants (compile definitions): DRAWER_VIS builds the vis drawer;
// DRAWER_INCOMPLETE leaves GetLyricsText out; DRAWER_NOWINDOW makes
// InitMiniBrowser answer no window.
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "plugins/sdk/orvella_drawer.h"

namespace {

struct Record {
  std::mutex m;
  int inits = 0, quitMiniBrowser = 0, quitGenDrawer = 0, genDrawers = 0, quitVisDrawer = 0, runVisDrawer = 0;
  int magnetic = 0;
  HWND magneticWindow = nullptr, magneticTarget = nullptr;
  std::string navigated;
  int32_t show[6] = {};        // last ShowMiniBrowser / ShowGenDrawer rectangle and flag
  int32_t runArgs[6] = {};     // RunVisDrawer: x, y, width, height, style, 1 when the subclass value came
  uint32_t dataMessage = 0;
  HWND engineWindow = nullptr;
};
Record g;

// Handles the host never dereferences: the addresses of these bytes.
char g_browser, g_drawers[8], g_visDrawer, g_visFrame;

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

#if !defined(DRAWER_VIS)
EXPORT HWND InitMiniBrowser(void* library, HWND, HWND engineWindow, uint32_t dataMessage) {
  std::lock_guard lock(g.m);
  ++g.inits;
  g.engineWindow = engineWindow;
  g.dataMessage = dataMessage;
#if defined(DRAWER_NOWINDOW)
  (void)library;
  return nullptr;
#else
  return library ? reinterpret_cast<HWND>(&g_browser) : nullptr;
#endif
}
EXPORT void ShowMiniBrowser(int32_t x, int32_t y, int32_t width, int32_t height, int32_t show) {
  std::lock_guard lock(g.m);
  int32_t v[6] = {-1, x, y, width, height, show};
  std::memcpy(g.show, v, sizeof(v));
  // A real browser tells the engine it is shown.
  PostMessage(g.engineWindow, g.dataMessage, 95, 0);
}
EXPORT void MBNavigate(const char* address) {
  std::lock_guard lock(g.m);
  g.navigated = address ? address : "";
}
EXPORT void MBNavigate2(const char*, const char*, int32_t) {}
EXPORT int32_t AddMagneticWindow(HWND window, HWND target, intptr_t* out) {
  std::lock_guard lock(g.m);
  ++g.magnetic;
  g.magneticWindow = window;
  g.magneticTarget = target;
  if (out) *out = 7;
  return 1;
}
EXPORT void RemoveMagneticWindow(HWND) {}
EXPORT intptr_t GetSubClass_Proc(void) { return 0x5150; }
EXPORT void QuitMiniBrowser(void) {
  std::lock_guard lock(g.m);
  ++g.quitMiniBrowser;
}
EXPORT HWND InitGenDrawer(const char* caption, HWND, HWND, uint32_t, int32_t* index) {
  std::lock_guard lock(g.m);
  if (!caption || *caption || g.genDrawers >= 8) return nullptr;
  *index = g.genDrawers;
  return reinterpret_cast<HWND>(&g_drawers[g.genDrawers++]);
}
EXPORT void ShowGenDrawer(int32_t index, int32_t x, int32_t y, int32_t width, int32_t height, int32_t show) {
  std::lock_guard lock(g.m);
  int32_t v[6] = {index, x, y, width, height, show};
  std::memcpy(g.show, v, sizeof(v));
}
EXPORT void QuitGenDrawer(void) {
  std::lock_guard lock(g.m);
  ++g.quitGenDrawer;
}
EXPORT void GetGenDrawerInfo(void*, int32_t) {}
EXPORT intptr_t GetGenexBitmap(void) { return 0x6E7; }
#if !defined(DRAWER_INCOMPLETE)
EXPORT intptr_t GetLyricsText(void) { return 0; }
#endif
#else
EXPORT HWND RunVisDrawer(HWND, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
                         intptr_t subclassValue, void* library, HWND* frame) {
  std::lock_guard lock(g.m);
  ++g.runVisDrawer;
  int32_t v[6] = {x, y, width, height, style, subclassValue == 0x5150 ? 1 : 0};
  std::memcpy(g.runArgs, v, sizeof(v));
  if (!library) return nullptr;
  if (frame) *frame = reinterpret_cast<HWND>(&g_visFrame);
  return reinterpret_cast<HWND>(&g_visDrawer);
}
EXPORT void QuitVisDrawer(void) {
  std::lock_guard lock(g.m);
  ++g.quitVisDrawer;
}
EXPORT int32_t VisDrawerActive(void) { return 0; }
#endif

// Counters by name, for the test.
EXPORT int drawerfake_count(const char* what) {
  std::lock_guard lock(g.m);
  std::string w = what;
  if (w == "inits") return g.inits;
  if (w == "quitMiniBrowser") return g.quitMiniBrowser;
  if (w == "quitGenDrawer") return g.quitGenDrawer;
  if (w == "genDrawers") return g.genDrawers;
  if (w == "runVisDrawer") return g.runVisDrawer;
  if (w == "quitVisDrawer") return g.quitVisDrawer;
  if (w == "magnetic") return g.magnetic;
  return -1;
}
EXPORT void drawerfake_show(int32_t out[6]) {
  std::lock_guard lock(g.m);
  std::memcpy(out, g.show, sizeof(g.show));
}
EXPORT void drawerfake_run_args(int32_t out[6]) {
  std::lock_guard lock(g.m);
  std::memcpy(out, g.runArgs, sizeof(g.runArgs));
}
EXPORT const char* drawerfake_navigated(void) {
  std::lock_guard lock(g.m);
  static std::string copy;
  copy = g.navigated;
  return copy.c_str();
}
EXPORT void* drawerfake_handle(const char* which) {
  std::string w = which;
  if (w == "browser") return &g_browser;
  if (w == "drawer0") return &g_drawers[0];
  if (w == "visDrawer") return &g_visDrawer;
  if (w == "visFrame") return &g_visFrame;
  return nullptr;
}
EXPORT void* drawerfake_magnetic(int target) {
  std::lock_guard lock(g.m);
  return target ? static_cast<void*>(g.magneticTarget) : static_cast<void*>(g.magneticWindow);
}
EXPORT void drawerfake_reset(void) {
  std::lock_guard lock(g.m);
  g.inits = g.quitMiniBrowser = g.quitGenDrawer = g.genDrawers = g.quitVisDrawer = g.runVisDrawer = 0;
  g.magnetic = 0;
  g.magneticWindow = g.magneticTarget = nullptr;
  g.navigated.clear();
  std::memset(g.show, 0, sizeof(g.show));
  std::memset(g.runArgs, 0, sizeof(g.runArgs));
}
