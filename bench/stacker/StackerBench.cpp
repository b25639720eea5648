// Measures what the stacker adds per block: an empty chain, and each chained
// module against calling the same module directly (576- and 1152-frame 16-bit
// stereo blocks). Runs in a temporary plug-in folder with copies of the sample
// modules.
// Usage: stacker_bench [program folder, default: the build's]
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "stacker/Stacker.h"

namespace {

namespace fs = std::filesystem;

template <typename F>
double NsPerCall(F f, int calls) {
  for (int i = 0; i < calls / 10; ++i) f();  // warm up
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) f();
    double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / calls;
    best = std::min(best, ns);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::string stage = argc > 1 ? argv[1] : ORVELLA_STAGE_DIR;
  char tmpl[] = "/tmp/orvella-stacker-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  fs::path dir = tmpl;
  for (const char* copy : {"dsp_orvella.so", "dsp_gain1x.so"})
    fs::copy_file(fs::path(stage) / "plugins" / copy, dir / copy);
  for (int i = 1; i <= 3; ++i) fs::copy_file(fs::path(stage) / "plugins/dsp_orvella.so", dir / ("dsp_orvella" + std::to_string(i) + ".so"));

  pilvo::TStacker::Options o;
  o.PluginFolder = dir.string();
  pilvo::TStacker s(o);
  std::printf("stacker per-block cost (best of 5 rounds, 16-bit, 44100 Hz)\n");
  void* lib = dlopen((dir / "dsp_orvella.so").c_str(), RTLD_NOW);
  auto get = reinterpret_cast<winampDSPGetHeaderType>(dlsym(lib, "winampDSPGetHeader2"));
  const int calls = 20000;
  // Overhead: the widener returns at once on mono blocks, so what is measured is
  // the stacker's own work (lock, copies, the walk, the fault guard, the call).
  winampDSPModule* noop = get()->getModule(1);
  for (int frames : {576, 1152}) {
    std::vector<short> buf(size_t(frames) * 2, 1000);
    s.UnloadAll();
    double empty = NsPerCall([&] { s.ModifySamples(buf.data(), frames, 16, 1, 44100); }, calls);
    double direct = NsPerCall([&] { noop->ModifySamples(noop, buf.data(), frames, 16, 1, 44100); }, calls);
    std::printf("%4d mono frames: empty chain %.0f ns; a module that returns at once, called directly: %.1f ns\n", frames,
                empty, direct);
    double first = 0;
    for (int n = 1; n <= 4; ++n) {
      std::string name = n == 1 ? "dsp_orvella.so" : "dsp_orvella" + std::to_string(n - 1) + ".so";
      if (!s.LoadChainEntry(name, 1, 1)) return 1;
      double chained = NsPerCall([&] { s.ModifySamples(buf.data(), frames, 16, 1, 44100); }, calls);
      if (n == 1) first = chained;
      std::printf("%4d mono frames: %d such module(s) through the stacker %.0f ns (%.0f ns over the direct calls)",
                  frames, n, chained, chained - n * direct);
      if (n > 1) std::printf(", each further module %.0f ns", (chained - first) / (n - 1) - direct);
      std::printf("\n");
    }
  }
  // A real module: the gain on a fresh stereo block each time, direct and stacked.
  winampDSPModule* gain = get()->getModule(0);
  for (int frames : {576, 1152}) {
    std::vector<short> src(size_t(frames) * 4, 0), buf = src;
    for (size_t i = 0; i < size_t(frames) * 2; ++i) src[i] = short(10000 * std::sin(double(i) * 0.05));
    s.UnloadAll();
    if (!s.LoadChainEntry("dsp_orvella.so", 0, 1)) return 1;
    auto directCall = [&] {
      std::copy(src.begin(), src.end(), buf.begin());
      gain->ModifySamples(gain, buf.data(), frames, 16, 2, 44100);
    };
    auto stackedCall = [&] {
      std::copy(src.begin(), src.end(), buf.begin());
      s.ModifySamples(buf.data(), frames, 16, 2, 44100);
    };
    // Alternating rounds, so a busy neighbour on the machine weighs on both alike.
    double direct = 1e300, stacked = 1e300;
    for (int round = 0; round < 10; ++round) {
      direct = std::min(direct, NsPerCall(directCall, calls / 10));
      stacked = std::min(stacked, NsPerCall(stackedCall, calls / 10));
    }
    s.UnloadAll();
    if (!s.LoadChainEntry("dsp_gain1x.so", 0, 1)) return 1;
    double one = NsPerCall([&] {
      std::copy(src.begin(), src.end(), buf.begin());
      s.ModifySamples(buf.data(), frames, 16, 2, 44100);
    }, calls);
    std::printf("%4d stereo frames: gain direct %.0f ns, through the stacker %.0f ns (+%.0f ns); 1.x gain stacked %.0f ns\n",
                frames, direct, stacked, stacked - direct, one);
  }
  s.UnloadAll();
  dlclose(lib);
  fs::remove_all(dir);
  return 0;
}
