// The recording visualisation kit (vis_testkit.so) seen from the tests, and an
// engine that plays a file and runs modules.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/VisDrive2.h"

namespace vistest {

using namespace engine;
using namespace enginetest;

inline const std::string kDir = ORV_TEST_PLUGINS;
inline const std::string kKit = kDir + "/vis_testkit.so";

// The kit held open by the test, so its records outlive the host unloading it.
class Kit {
 public:
  explicit Kit(const std::string& path = kKit) : handle_(dlopen(path.c_str(), RTLD_NOW)) {
    if (handle_) Fn<void (*)()>("testkit_reset")();
  }
  ~Kit() {
    if (handle_) {
      Fn<void (*)()>("testkit_release")();
      dlclose(handle_);
    }
  }
  bool Loaded() const { return handle_ != nullptr; }
  int Inits(int i) { return Fn<int (*)(int)>("testkit_inits")(i); }
  int Renders(int i) { return Fn<int (*)(int)>("testkit_renders")(i); }
  int Quits(int i) { return Fn<int (*)(int)>("testkit_quits")(i); }
  int Nice(int i) { return Fn<int (*)(int)>("testkit_nice")(i); }
  void Release() { Fn<void (*)()>("testkit_release")(); }
  int SurfaceDraws(int i) { return Fn<int (*)(int)>("testkit_surface_draws")(i); }
  platform::HWND FrameWindow(int i) { return reinterpret_cast<platform::HWND>(Fn<void* (*)(int)>("testkit_frame")(i)); }
  struct Rendered {
    unsigned char spectrum[2][576];
    unsigned char waveform[2][576];
    int srate = 0, nch = 0;
  };
  Rendered Last(int i) {
    Rendered f{};
    Fn<void (*)(int, unsigned char (*)[576], unsigned char (*)[576], int*, int*)>("testkit_last")(
        i, f.spectrum, f.waveform, &f.srate, &f.nch);
    return f;
  }

 private:
  template <typename F>
  F Fn(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_;
};

// An engine playing `file` with module `index` of `lib` started; false when the module never renders.
template <class Dir = ProgramDir>
struct RunningWith {
  Dir dir;
  SilentOutput silent;
  platform::MessageRecorder msgs;
  TZOZUZivade eng;
  std::vector<plugins::TVisPluginInfo> shows;
  RunningWith() {
    eng.OnVisWindowShow = [this](TZOZUZivade*, const plugins::TVisPluginInfo& i) { shows.push_back(i); };
  }
  bool Play(const std::string& file) {
    if (!eng.Open(file)) return false;
    eng.Play();
    return eng.Mode() == plmPlaying;
  }
  bool Stopped() {
    return PumpUntil([&] { return !plugins::DriveThreadRunning() && !eng.VisStopping() && !eng.VisStarting(); },
                     15000);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& m : msgs.Messages()) t.push_back(m.text);
    return t;
  }
};


using Running = RunningWith<>;

// A program folder whose plugins/ holds links to the staged plug-ins plus the
// drawer libraries given as (name in plugins/, built fake).
using DrawerList = std::vector<std::pair<std::string, std::string>>;
class DrawerDir : public ProgramDir {
 public:
  explicit DrawerDir(const DrawerList& drawers) : ProgramDir(false) {
    namespace fs = std::filesystem;
    const std::string stage = ORVELLA_STAGE_DIR;
    fs::create_symlink(stage + "/bass.so", File("bass.so"));
    fs::create_directory(File("plugins"));
    for (const auto& e : fs::directory_iterator(stage + "/plugins"))
      fs::create_symlink(e.path(), File("plugins/" + e.path().filename().string()));
    for (const auto& [name, fake] : drawers) fs::create_symlink(kDir + "/" + fake, File("plugins/" + name));
  }
};

}  // namespace vistest
