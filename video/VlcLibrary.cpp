#include "video/VlcLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace video {

namespace {
std::once_flag gOnce;
TVlcLibrary* gLibrary = nullptr;
std::string gError;
std::atomic<bool> gLoaded{false};
}  // namespace

TVlcLibrary* TVlcLibrary::Get(std::string* error) {
  std::call_once(gOnce, [] {
    void* h = dlopen("libvlc.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* e = dlerror();
      gError = std::string("libVLC is not installed (") + (e ? e : "libvlc.so.5") + ")";
      return;
    }
    auto* lib = new TVlcLibrary;
    lib->handle_ = h;
    bool ok = true;
#define ORVELLA_VLC_RESOLVE(name)                                          \
  lib->name = reinterpret_cast<decltype(&::name)>(dlsym(h, #name));        \
  if (!lib->name && ok) {                                                  \
    ok = false;                                                            \
    gError = "libVLC lacks the function " #name;                           \
  }
    ORVELLA_VLC_FUNCTIONS(ORVELLA_VLC_RESOLVE)
#undef ORVELLA_VLC_RESOLVE
    if (!ok) {
      delete lib;
      dlclose(h);
      return;
    }
    // Kept for the whole run: libVLC's threads must never outlive their code.
    gLibrary = lib;
    gLoaded = true;
  });
  if (!gLibrary && error) *error = gError;
  return gLibrary;
}

bool TVlcLibrary::Loaded() { return gLoaded.load(); }

}  // namespace video
