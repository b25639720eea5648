// The audio library and its add-ons stay mapped until the test program ends:
// libraries they pull in leave exit-time handlers behind, and the engines the
// tests create and destroy unload them many times over.
#include <dlfcn.h>

#include <string>

namespace {

struct KeepLibraries {
  KeepLibraries() {
    std::string stage = ORVELLA_STAGE_DIR;
    for (const char* lib : {"/bass.so", "/plugins/bass/bassmidi.so", "/plugins/bass/basscd.so",
                            "/plugins/bass/bassmix.so", "/plugins/bass/basswma.so", "/plugins/in_midi.so"})
      dlopen((stage + lib).c_str(), RTLD_NOW | RTLD_NODELETE);
  }
} g_keep;

}  // namespace
