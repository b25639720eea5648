// Sanitizer builds only: libVLC's plug-ins are never unloaded. libVLC closes them when its instance
// is released, and with them the libraries they pulled in (fontconfig, pixman, libgomp...). Under
// AddressSanitizer what those keep for the life of the process then turns into leaks the report
// can only show as "(<unknown module>)", where the third-party suppressions by library name no
// longer match; ThreadSanitizer refuses to go on once a library its suppressions name is gone.
// Our own libraries are unloaded as usual (tests check that they are).
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <mutex>

extern "C" int dlclose(void* handle) {
  using Close = int (*)(void*);
  static const Close next = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "dlclose"));
  // The loader's own lock is invisible to ThreadSanitizer: without one of ours, reading a library's
  // name here and another thread's close freeing it look like a race. Recursive: a library's
  // destructors may close others. Never destroyed: libraries are still closed at exit.
  static auto* lock = new std::recursive_mutex;
  std::lock_guard guard(*lock);
  struct link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name &&
      std::strstr(map->l_name, "/vlc/plugins/"))
    return 0;
  return next(handle);
}
