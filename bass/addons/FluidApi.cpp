#include "FluidApi.h"

#include <dlfcn.h>

#include <mutex>

namespace orvmidi {

const FluidApi* Fluid() {
  static FluidApi api;
  static const FluidApi* loaded = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    void* lib = nullptr;
    for (const char* name : {"libfluidsynth.so.3", "libfluidsynth.so.2", "libfluidsynth.so"})
      if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
    if (!lib) return;
    // Kept loaded for good: its GLib-based libraries cannot be loaded a second time.
#define ORV_FLUID_RESOLVE(name)                                         \
  api.name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name)); \
  if (!api.name) return;
    ORV_FLUID_FUNCTIONS(ORV_FLUID_RESOLVE)
#undef ORV_FLUID_RESOLVE
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
      api.fluid_set_log_function(level, nullptr, nullptr);
    loaded = &api;
  });
  return loaded;
}

}  // namespace orvmidi
