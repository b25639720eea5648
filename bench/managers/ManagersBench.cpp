// Showing each manager window with 20 libraries of its kind in the folder:
// the time from show() until the window has filled itself (folder listed, the
// first library's modules shown), and which libraries are mapped while it is
// shown and after it is closed (only the listed one while shown, none after).
//
// Usage: bench_managers [ROUNDS] (default 20)
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "AppTestUtil.h"
#include "app/Main.h"
#include "app/managers/FormAddonConfig.h"
#include "app/managers/FormDSPControl.h"
#include "app/managers/FormPluginConfig.h"
#include "app/managers/FormVisControl.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Bench copies ("*_bench??.so") mapped into this process now.
std::set<std::string> MappedCopies() {
  std::set<std::string> out;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    const size_t slash = line.rfind('/');
    if (slash == std::string::npos) continue;
    const std::string name = line.substr(slash + 1);
    if (name.find("_bench") != std::string::npos) out.insert(name);
  }
  return out;
}

void Measure(const char* title, QWidget* w, int rounds) {
  std::vector<double> ms;
  size_t mappedShown = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = Clock::now();
    w->show();
    QApplication::processEvents();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    mappedShown = std::max(mappedShown, MappedCopies().size());
    w->close();
    QApplication::processEvents();
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-28s median %6.2f ms  max %6.2f ms  mapped while shown %zu  after close %zu\n", title,
              ms[ms.size() / 2], ms.back(), mappedShown, MappedCopies().size());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  apptest::EnsureApplication();
  apptest::ProgramDir dir;
  dir.Write("OrvellaPlayer.ini", "[Options]\r\nfirstRun=0\r\nshowEq=0\r\nshowPlaylist=0\r\n");
  const std::string stage = ORVELLA_STAGE_DIR;
  const std::string vis = std::string(ORVELLA_BINARY_DIR) + "/tests/managers/vis_mgrtest.so";
  for (int i = 0; i < 20; ++i) {
    char n[8];
    std::snprintf(n, sizeof n, "%02d", i);
    fs::copy_file(stage + "/plugins/bass/bass_flac.so", dir.File(std::string("plugins/bass/bass_bench") + n + ".so"));
    fs::copy_file(stage + "/plugins/in_midi.so", dir.File(std::string("plugins/in_bench") + n + ".so"));
    fs::copy_file(stage + "/plugins/dsp_orvella.so", dir.File(std::string("plugins/dsp_bench") + n + ".so"));
    if (fs::exists(vis)) fs::copy_file(vis, dir.File(std::string("plugins/vis_bench") + n + ".so"));
  }
  apptest::Player p;
  p.form->ShowModal = [](QWidget*) {};
  std::printf("20 libraries of each kind, %d rounds each\n", rounds);
  Measure("add-on manager", p.windows->AddonConfigForm.get(), rounds);
  Measure("input plug-in manager", p.windows->PluginConfigForm.get(), rounds);
  Measure("DSP control", p.windows->DSPControlForm.get(), rounds);
  if (fs::exists(vis)) Measure("visualisation control", p.windows->VisControlForm.get(), rounds);
  else std::printf("visualisation control: %s not built\n", vis.c_str());
  return 0;
}
