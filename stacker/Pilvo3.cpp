// dsp_pilvo3.so: the stacker as the host sees it, one DSP module whose Init
// starts the stacker, whose ModifySamples runs the chain and whose Quit saves
// the settings and unloads the chain.
//
// With a QApplication in the host the stacker's window and every chain edit
// live on the host's GUI thread: Init only queues their start there (the host
// holds its module lock during Init, so nothing slow may happen in it). Without
// one the stacker runs headless: Init loads the chain from plugin.ini, Quit
// saves it.
#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "plugins/sdk/winamp_dsp.h"
#include "stacker/Stacker.h"
#include "stacker/StackerSettings.h"
#include "stacker/Texts.h"
#include "stacker/ui/StackerController.h"

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2();

namespace {

using namespace pilvo;

std::mutex g_life;                          // Init and Quit
std::atomic<TStacker*> g_stacker{nullptr};  // created once, lives as long as the process
TDescriptionCache g_cache;
bool g_running = false;
TStackerController* g_controller = nullptr;  // GUI mode
TWindowSettings g_headlessWindow;            // headless mode: written back as read

std::string SelfPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&winampDSPGetHeader2), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (!path.empty() && path[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) {
      std::string full(cwd);
      full.append(1, '/').append(path);
      path.swap(full);
    }
  }
  return path;
}

bool HasGui() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

bool OnGuiThread() {
  return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs f on the GUI thread and waits for it.
template <typename F>
void OnGui(F f) {
  if (OnGuiThread()) f();
  else QMetaObject::invokeMethod(QCoreApplication::instance(), f, Qt::BlockingQueuedConnection);
}

void Config(winampDSPModule*) {
  if (HasGui()) {
    OnGui([] {
      QMessageBox::warning(nullptr, QString::fromUtf8(kProductTitle), QString::fromUtf8(kTextNoConfig));
    });
  } else {
    std::fprintf(stderr, "%s: %s\n", kProductTitle, kTextNoConfig);
  }
}

int Init(winampDSPModule* self) {
  std::lock_guard lock(g_life);
  if (g_running) return 0;
  TStacker* s = g_stacker.load();
  if (!s) {
    std::string path = SelfPath();
    TStacker::Options o;
    o.SelfPath = path;
    size_t slash = path.rfind('/');
    o.PluginFolder = slash == std::string::npos || slash == 0 ? std::string(slash == 0 ? "" : ".") : path.substr(0, slash);
    o.HostWindow = self->hwndParent;
    o.SelfHeader = winampDSPGetHeader2();
    try {
      s = new TStacker(std::move(o));
    } catch (...) {
      return 1;
    }
    g_stacker.store(s);
  }
  s->SetHostWindow(self->hwndParent);
  const std::string& folder = s->Opts().PluginFolder;
  g_cache.Read(CachePath(folder));
  if (HasGui()) {
    bool ok = false;
    OnGui([&] {
      if (!g_controller) g_controller = new TStackerController(s, &g_cache);
      ok = g_controller->StartQueued();
    });
    if (!ok) return 1;
  } else {
    g_headlessWindow = ReadWindowSettings(SettingsPath(folder));
    s->LoadChainText(ReadChainSetting(SettingsPath(folder)));
  }
  g_running = true;
  return 0;
}

int ModifySamples(winampDSPModule*, short* samples, int count, int bits, int channels, int rate) {
  TStacker* s = g_stacker.load(std::memory_order_acquire);
  return s ? s->ModifySamples(samples, count, bits, channels, rate) : count;
}

void Quit(winampDSPModule*) {
  std::lock_guard lock(g_life);
  if (!g_running) return;
  TStacker* s = g_stacker.load();
  if (g_controller && QCoreApplication::instance()) {
    OnGui([] { g_controller->Stop(); });
  } else {
    const std::string ini = SettingsPath(s->Opts().PluginFolder);
    std::string text = FormatChainText(s->UnloadAll());
    WriteSettings(ini, g_headlessWindow.HasPosition ? &g_headlessWindow : nullptr, text);
  }
  g_cache.Clear();
  g_running = false;
}

winampDSPModule g_module = {kModuleDescription, nullptr, nullptr, &Config, &Init, &ModifySamples, &Quit, nullptr};

winampDSPModule* GetModule(int index) { return index == 0 ? &g_module : nullptr; }

winampDSPHeader g_header = {DSP_HDRVER, kProductTitle, &GetModule};

}  // namespace

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2() { return &g_header; }
