// ThreadSanitizer builds only: the audio library and its add-ons stay mapped until the
// program ends. Libraries they pull in (SDL, curl, ALSA) register exit handlers that
// ThreadSanitizer runs at exit even after the engine has unloaded them, which crashes.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

namespace {

struct KeepLibraries {
  KeepLibraries() {
    // Read here rather than through the platform helpers: this runs before their statics exist.
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    std::string folder(exe, size_t(n));
    folder.erase(folder.rfind('/') + 1);
    for (const char* lib : {"bass.so", "plugins/bass/bassmidi.so", "plugins/bass/basscd.so",
                            "plugins/bass/bassmix.so", "plugins/bass/basswma.so", "plugins/in_midi.so"})
      dlopen((folder + lib).c_str(), RTLD_NOW | RTLD_NODELETE);
  }
} g_keep;

}  // namespace
