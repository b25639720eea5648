// vis_orvella.so: a spectrum analyser with log-spaced bars and peak hold, an
// oscilloscope, and both together. Draws into the frame the host's embed
// service gives: through X11 into the frame's native window when the host has
// one, otherwise into the frame's pixel surface, which the host paints.
//
// Settings (section "vis_orvella" of the file query 334 names): bars (8..128),
// fps (10..100), peakHoldMs, peakFallPerSecond (fraction of the height),
// barColor, peakColor, scopeColor, backgroundColor (hexadecimal RRGGBB).
// Config writes the settings in use, so the section exists to be edited.
//
// Threads: Init, Render and Quit run on the host's drive thread; Config on the UI thread.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "plugins/sdk/winamp_vis.h"

#if defined(VIS_ORVELLA_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace {

constexpr const char* kSection = "vis_orvella";

struct Settings {
  int bars = 32;
  int fps = 60;
  int peakHoldMs = 400;
  double peakFallPerSecond = 0.6;
  uint32_t barColor = 0x30C0FF, peakColor = 0xFFFFFF, scopeColor = 0x60FF60, backgroundColor = 0x101018;
};

enum Kind { kSpectrum = 0, kScope = 1, kBoth = 2 };

struct State {
  Settings set;
  HWND frame = nullptr;
  int width = 400, height = 200;
  std::vector<uint32_t> pixels;
  std::vector<float> level, peak;
  std::vector<int> peakAge;  // ms the peak has been held
#if defined(VIS_ORVELLA_X11)
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  int frames = 0;
#endif
};
State g_state[3];

// ---------------------------------------------------------------------------
// Settings in the host's plug-in settings file.

std::string IniPath(HWND parent) {
  auto p = reinterpret_cast<const char*>(SendMessage(parent, WM_USER, 0, 334));
  return p ? p : "";
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

Settings ReadSettings(const std::string& path) {
  Settings s;
  std::ifstream in(path);
  std::string line;
  bool inSection = false;
  auto color = [](const std::string& v, uint32_t def) {
    char* end = nullptr;
    unsigned long c = std::strtoul(v.c_str(), &end, 16);
    return end && *end == 0 && !v.empty() ? uint32_t(c & 0xFFFFFF) : def;
  };
  auto number = [](const std::string& v, double def, double lo, double hi) {
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    return end && *end == 0 && !v.empty() ? std::clamp(d, lo, hi) : def;
  };
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      inSection = Lower(line) == std::string("[") + kSection + "]";
      continue;
    }
    size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    std::string key = Lower(Trim(line.substr(0, eq))), v = Trim(line.substr(eq + 1));
    if (key == "bars") s.bars = int(number(v, s.bars, 8, 128));
    else if (key == "fps") s.fps = int(number(v, s.fps, 10, 100));
    else if (key == "peakholdms") s.peakHoldMs = int(number(v, s.peakHoldMs, 0, 5000));
    else if (key == "peakfallpersecond") s.peakFallPerSecond = number(v, s.peakFallPerSecond, 0.01, 20);
    else if (key == "barcolor") s.barColor = color(v, s.barColor);
    else if (key == "peakcolor") s.peakColor = color(v, s.peakColor);
    else if (key == "scopecolor") s.scopeColor = color(v, s.scopeColor);
    else if (key == "backgroundcolor") s.backgroundColor = color(v, s.backgroundColor);
  }
  return s;
}

// Writes our section, keeping everything else of the file; a new file replaces the old only when complete.
void WriteSettings(const std::string& path, const Settings& s) {
  if (path.empty()) return;
  std::vector<std::string> kept;
  {
    std::ifstream in(path);
    std::string line;
    bool ours = false;
    while (std::getline(in, line)) {
      std::string t = Trim(line);
      if (!t.empty() && t[0] == '[') ours = Lower(t) == std::string("[") + kSection + "]";
      if (!ours) kept.push_back(line);
    }
  }
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "[%s]\nbars=%d\nfps=%d\npeakHoldMs=%d\npeakFallPerSecond=%.2f\nbarColor=%06X\npeakColor=%06X\n"
                "scopeColor=%06X\nbackgroundColor=%06X\n",
                kSection, s.bars, s.fps, s.peakHoldMs, s.peakFallPerSecond, unsigned(s.barColor),
                unsigned(s.peakColor), unsigned(s.scopeColor), unsigned(s.backgroundColor));
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    for (const std::string& l : kept) out << l << "\n";
    out << buf;
    if (!out) return;
  }
  std::rename(tmp.c_str(), path.c_str());
}

// ---------------------------------------------------------------------------
// Drawing into our own ARGB buffer.

void Fill(State& st, int x0, int y0, int x1, int y1, uint32_t rgb) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, st.width), y1 = std::min(y1, st.height);
  for (int y = y0; y < y1; ++y) std::fill(&st.pixels[size_t(y) * st.width + x0], &st.pixels[size_t(y) * st.width + x1],
                                          0xFF000000u | rgb);
}

// First spectrum byte of bar i of n, log-spaced over the 576 bins.
int BarStart(int i, int n) { return std::clamp(int(std::lround(std::pow(576.0, double(i) / n))) - 1, 0, 576); }

void DrawSpectrum(State& st, const winampVisModule* m, int top, int height, int periodMs) {
  const int n = st.set.bars;
  if (int(st.level.size()) != n) {
    st.level.assign(size_t(n), 0);
    st.peak.assign(size_t(n), 0);
    st.peakAge.assign(size_t(n), 0);
  }
  const int gap = st.width >= 4 * n ? 2 : st.width >= 2 * n ? 1 : 0;
  for (int i = 0; i < n; ++i) {
    int a = BarStart(i, n), b = std::max(BarStart(i + 1, n), a + 1);
    int v = 0;
    for (int k = a; k < b && k < 576; ++k)
      for (int c = 0; c < std::max(1, std::min(2, int(m->spectrumNch))); ++c) v = std::max(v, int(m->spectrumData[c][k]));
    float lvl = float(v) / 255.0f;
    st.level[size_t(i)] = lvl;
    // Peak hold: stays a while, then falls at the set speed.
    if (lvl >= st.peak[size_t(i)]) {
      st.peak[size_t(i)] = lvl;
      st.peakAge[size_t(i)] = 0;
    } else if ((st.peakAge[size_t(i)] += periodMs) > st.set.peakHoldMs) {
      st.peak[size_t(i)] = std::max(lvl, st.peak[size_t(i)] - float(st.set.peakFallPerSecond * periodMs / 1000.0));
    }
    int x0 = i * st.width / n, x1 = (i + 1) * st.width / n - gap;
    int h = int(std::lround(lvl * height));
    Fill(st, x0, top + height - h, x1, top + height, st.set.barColor);
    if (st.peak[size_t(i)] > 0.0f) {
      int py = top + height - int(std::lround(st.peak[size_t(i)] * height));
      Fill(st, x0, std::max(top, py - 2), x1, std::max(top + 1, py), st.set.peakColor);
    }
  }
}

void DrawScope(State& st, const winampVisModule* m, int top, int height) {
  const int chans = std::max(1, std::min(2, int(m->waveformNch)));
  for (int c = 0; c < chans; ++c) {
    int bandTop = top + c * height / chans, bandH = height / chans, mid = bandTop + bandH / 2;
    int prev = mid;
    for (int x = 0; x < st.width; ++x) {
      int s = int(int8_t(m->waveformData[c][x * 576 / std::max(1, st.width)]));
      int y = std::clamp(mid - s * bandH / 256, bandTop, bandTop + bandH - 1);
      int lo = std::min(prev, y), hi = std::max(prev, y);
      Fill(st, x, lo, x + 1, hi + 1, st.set.scopeColor);
      prev = y;
    }
  }
}

// ---------------------------------------------------------------------------
// Output: the frame's native window or its pixel surface.

template <typename F>
F HostFunction(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

void OpenOutput(State& st) {
#if defined(VIS_ORVELLA_X11)
  auto native = HostFunction<OrvellaVisFrameNativeWindowFunc>("OrvellaVisFrameNativeWindow");
  unsigned long xid = native && st.frame ? native(st.frame) : 0;
  if (xid) {
    XInitThreads();
    st.display = XOpenDisplay(nullptr);
    if (st.display) {
      st.window = Window(xid);
      st.gc = XCreateGC(st.display, st.window, 0, nullptr);
    }
  }
#else
  (void)st;
#endif
}

void CloseOutput(State& st) {
#if defined(VIS_ORVELLA_X11)
  if (st.image) {
    st.image->data = nullptr;  // ours: not freed by Xlib
    XDestroyImage(st.image);
    st.image = nullptr;
  }
  if (st.gc) XFreeGC(st.display, st.gc);
  if (st.display) XCloseDisplay(st.display);
  st.display = nullptr;
  st.gc = nullptr;
  st.window = 0;
#else
  (void)st;
#endif
}

// Size of the drawing area, from the window or the surface; false when there is nowhere to draw.
bool BeginFrame(State& st, OrvellaVisSurface* surface, bool* locked) {
  *locked = false;
#if defined(VIS_ORVELLA_X11)
  if (st.display) {
    if (st.frames++ % 15 == 0 || st.pixels.empty()) {
      Window root;
      int x, y;
      unsigned w, h, border, depth;
      if (XGetGeometry(st.display, st.window, &root, &x, &y, &w, &h, &border, &depth) && w > 0 && h > 0 &&
          (int(w) != st.width || int(h) != st.height || st.pixels.empty())) {
        st.width = int(w);
        st.height = int(h);
        if (st.image) {
          st.image->data = nullptr;
          XDestroyImage(st.image);
          st.image = nullptr;
        }
        st.pixels.assign(size_t(w) * h, 0);
      }
    }
    return true;
  }
#endif
  auto lock = HostFunction<OrvellaVisFrameLockSurfaceFunc>("OrvellaVisFrameLockSurface");
  if (!lock || !st.frame || !lock(st.frame, surface)) return false;
  *locked = true;
  st.width = surface->width;
  st.height = surface->height;
  st.pixels.resize(size_t(st.width) * st.height);
  return st.width > 0 && st.height > 0;
}

void EndFrame(State& st, OrvellaVisSurface* surface, bool locked) {
#if defined(VIS_ORVELLA_X11)
  if (st.display) {
    if (!st.image) {
      Visual* visual = DefaultVisual(st.display, DefaultScreen(st.display));
      st.image = XCreateImage(st.display, visual, 24, ZPixmap, 0, reinterpret_cast<char*>(st.pixels.data()),
                              unsigned(st.width), unsigned(st.height), 32, st.width * 4);
    }
    if (st.image) {
      st.image->data = reinterpret_cast<char*>(st.pixels.data());
      XPutImage(st.display, st.window, st.gc, st.image, 0, 0, 0, 0, unsigned(st.width), unsigned(st.height));
      XFlush(st.display);
    }
    return;
  }
#endif
  if (!locked) return;
  for (int y = 0; y < st.height; ++y)
    std::memcpy(surface->pixels + size_t(y) * surface->stride, &st.pixels[size_t(y) * st.width], size_t(st.width) * 4);
  auto unlock = HostFunction<OrvellaVisFrameUnlockSurfaceFunc>("OrvellaVisFrameUnlockSurface");
  if (unlock) unlock(st.frame);
}

// ---------------------------------------------------------------------------
// Module functions

winampVisModule g_mods[3];
Settings g_listed;  // read when the host asks for the header: the period is asked for before Init

int Index(winampVisModule* m) { return int(m - g_mods); }

void Config(winampVisModule* m) {
  std::string path = IniPath(m->hwndParent);
  WriteSettings(path, ReadSettings(path));
}

int Init(winampVisModule* m) {
  State& st = g_state[Index(m)];
  st = State{};
  st.set = ReadSettings(IniPath(m->hwndParent));
  auto service = reinterpret_cast<embedWindowFunc>(SendMessage(m->hwndParent, WM_USER, 0, IPC_GET_EMBEDIF));
  if (!service) return 1;
  embedWindowState ew{};
  ew.right = 400;
  ew.bottom = Index(m) == kBoth ? 240 : 160;
  st.frame = reinterpret_cast<HWND>(service(&ew));
  if (!st.frame) return 1;
  OpenOutput(st);
  return 0;
}

int Render(winampVisModule* m) {
  const int kind = Index(m);
  State& st = g_state[kind];
  OrvellaVisSurface surface{};
  bool locked = false;
  if (!BeginFrame(st, &surface, &locked)) return 0;
  std::fill(st.pixels.begin(), st.pixels.end(), 0xFF000000u | st.set.backgroundColor);
  const int period = std::max(10, int(m->delayMs));
  if (kind == kSpectrum) DrawSpectrum(st, m, 0, st.height, period);
  else if (kind == kScope) DrawScope(st, m, 0, st.height);
  else {
    int split = st.height * 2 / 3;
    DrawSpectrum(st, m, 0, split, period);
    DrawScope(st, m, split, st.height - split);
  }
  EndFrame(st, &surface, locked);
  return 0;
}

void Quit(winampVisModule* m) {
  State& st = g_state[Index(m)];
  CloseOutput(st);
  st = State{};
}

winampVisModule* GetModule(int i) {
  static const char* const names[3] = {"Spectrum analyser", "Oscilloscope", "Spectrum and oscilloscope"};
  if (i < 0 || i > 2) return nullptr;
  winampVisModule* m = &g_mods[i];
  m->description = names[i];
  m->latencyMs = 0;
  m->delayMs = std::max(10, 1000 / g_listed.fps);
  m->spectrumNch = i == kScope ? 0 : 2;
  m->waveformNch = i == kSpectrum ? 0 : 2;
  m->Config = &Config;
  m->Init = &Init;
  m->Render = &Render;
  m->Quit = &Quit;
  return m;
}

winampVisHeader g_header = {VIS_HDRVER, "Orvella visualisation (spectrum, oscilloscope)", &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampVisHeader* winampVisGetHeader(HWND parent) {
  if (parent) g_listed = ReadSettings(IniPath(parent));
  return &g_header;
}
