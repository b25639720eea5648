// A visualisation module that draws in a top-level X11 window of its own and
// reports it with query 611 (the classic way before embed frames). Init opens
// its own display connection; every Render fills the window with 20E040.
#include <X11/Xlib.h>

#include <atomic>

#include "plugins/sdk/winamp_vis.h"

namespace {

Display* g_display = nullptr;
Window g_window = 0;
GC g_gc = nullptr;
std::atomic<int> g_renders{0};
std::atomic<unsigned long> g_reported{0};

void Config(winampVisModule*) {}

int Init(winampVisModule* m) {
  g_display = XOpenDisplay(nullptr);
  if (!g_display) return 0;  // no display: runs without a window
  int screen = DefaultScreen(g_display);
  g_window = XCreateSimpleWindow(g_display, RootWindow(g_display, screen), 0, 0, 200, 100, 0, 0, 0x000000);
  XStoreName(g_display, g_window, "Own window");
  g_gc = XCreateGC(g_display, g_window, 0, nullptr);
  XMapWindow(g_display, g_window);
  XSync(g_display, False);
  g_reported = g_window;
  SendMessage(m->hwndParent, WM_USER, uintptr_t(g_window), IPC_SETVISWND);
  return 0;
}

int Render(winampVisModule*) {
  ++g_renders;
  if (!g_display) return 0;
  XSetForeground(g_display, g_gc, 0x20E040);
  XFillRectangle(g_display, g_window, g_gc, 0, 0, 200, 100);
  XFlush(g_display);
  return 0;
}

void Quit(winampVisModule* m) {
  if (!g_display) return;
  // The host lets go of the window before it goes.
  SendMessage(m->hwndParent, WM_USER, 0, IPC_SETVISWND);
  XFreeGC(g_display, g_gc);
  XDestroyWindow(g_display, g_window);
  XCloseDisplay(g_display);
  g_display = nullptr;
  g_window = 0;
}

winampVisModule g_module = {"Own window", nullptr, nullptr, 0, 0, 0, 25, 0, 1, {}, {}, Config, Init, Render, Quit,
                            nullptr};
winampVisModule* GetModule(int i) { return i == 0 ? &g_module : nullptr; }
winampVisHeader g_header = {VIS_HDRVER, "Own window test module", GetModule};

}  // namespace

extern "C" {
__attribute__((visibility("default"))) winampVisHeader* winampVisGetHeader(HWND) { return &g_header; }
__attribute__((visibility("default"))) int ownwindow_renders(void) { return g_renders.load(); }
__attribute__((visibility("default"))) unsigned long ownwindow_window(void) { return g_reported.load(); }
}
