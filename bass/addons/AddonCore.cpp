#include "AddonCore.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

namespace orvaddon {
namespace {

std::atomic<const ORV_CORE_API*> g_core{nullptr};

using GetConfigPtrProc = const void* (*)(DWORD);

// bass.so as the process already has it: linked in, or dlopened by the engine (possibly with
// RTLD_LOCAL, hence the look-up by path beside our own folder).
GetConfigPtrProc FindGetConfigPtr() {
  if (void* sym = dlsym(RTLD_DEFAULT, "BASS_GetConfigPtr")) return reinterpret_cast<GetConfigPtrProc>(sym);
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&FindGetConfigPtr), &info) || !info.dli_fname) return nullptr;
  std::string self = info.dli_fname;
  size_t slash = self.rfind('/');
  std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
  // Add-ons live in <program>/plugins/bass/, the core in <program>/.
  for (const char* rel : {"/../../bass.so", "/bass.so"}) {
    std::string path = dir + rel;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) continue;
    void* sym = dlsym(h, "BASS_GetConfigPtr");
    // The core stays loaded while we run; drop the reference NOLOAD added.
    dlclose(h);
    if (sym) return reinterpret_cast<GetConfigPtrProc>(sym);
  }
  return nullptr;
}

}  // namespace

const ORV_CORE_API* Core() {
  const ORV_CORE_API* c = g_core.load(std::memory_order_acquire);
  if (c) return c;
  GetConfigPtrProc get = FindGetConfigPtr();
  if (!get) return nullptr;
  c = static_cast<const ORV_CORE_API*>(get(BASS_CONFIG_ORV_ADDON_API));
  if (c && c->abi == ORV_ADDON_ABI) {
    g_core.store(c, std::memory_order_release);
    return c;
  }
  return nullptr;
}

void SetCore(const ORV_CORE_API* core) {
  if (core && core->abi == ORV_ADDON_ABI) g_core.store(core, std::memory_order_release);
}

bool Fail(int code) {
  if (const ORV_CORE_API* c = Core()) c->SetError(code);
  return false;
}

BOOL OpenByRoutes(const Route* routes, int count, ORV_FILE* file, DWORD flags, ORV_DECODER* out) {
  const ORV_CORE_API* core = Core();
  if (!core) return FALSE;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !core->FileSeek(file, 0)) break;
    if (core->OpenFFmpeg(file, flags, routes[i].demuxers, routes[i].codecs, routes[i].ctype, out)) return TRUE;
  }
  core->SetError(BASS_ERROR_FILEFORM);
  return FALSE;
}

}  // namespace orvaddon
