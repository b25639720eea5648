// A temporary plug-in folder with copies of the stacker and of DSP libraries,
// and sample buffers to measure.
#pragma once

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../platform/TempDir.h"

namespace stackertest {

inline std::string Built(const std::string& name) {
  if (name == "dsp_orvella.so" || name == "dsp_gain1x.so" || name == "dsp_pilvo3.so")
    return std::string(ORVELLA_STAGE_DIR) + "/plugins/" + name;
  return std::string(ORV_STACKER_TEST_PLUGINS) + "/" + name;
}

class PluginFolder : public TempDir {
 public:
  // Copies a built library into the folder (under another name when given).
  std::string Copy(const std::string& built, std::string as = "") const {
    if (as.empty()) as = built;
    std::filesystem::copy_file(Built(built), File(as), std::filesystem::copy_options::overwrite_existing);
    return File(as);
  }
  std::string Link(const std::string& target, const std::string& as) const {
    std::filesystem::create_symlink(File(target), File(as));
    return File(as);
  }
};

// A counter function exported by a test library loaded from `path`.
inline int Counter(const std::string& path, const char* name, int index) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) return -1;
  auto f = reinterpret_cast<int (*)(int)>(dlsym(h, name));
  int v = f ? f(index) : -1;
  dlclose(h);
  return v;
}

inline bool Loaded(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// Interleaved 16-bit stereo sine, `frames` frames, room for `room` frames.
inline std::vector<short> Sine(int frames, int room, double amplitude = 12000) {
  std::vector<short> s(size_t(room) * 2, 0);
  for (int i = 0; i < frames; ++i) {
    short v = short(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
    s[2 * size_t(i)] = v;
    s[2 * size_t(i) + 1] = v;
  }
  return s;
}

inline double Rms(const short* s, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(n));
}

inline bool WaitFor(const std::function<bool()>& done, int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace stackertest
