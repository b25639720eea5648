// bass.so as the engine's loader sees it: the staged file, all 97 names, nothing else exported.
#include "bass.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace {

TEST(Exports, StagedLibraryResolvesEveryNameAndHidesTheRest) {
  std::string path = std::string(ORVELLA_STAGE_DIR) + "/bass.so";
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  int found = 0;
#define ORV_CHECK(name)                                                 \
  {                                                                     \
    void* sym = dlsym(h, #name);                                        \
    EXPECT_NE(sym, nullptr) << #name;                                   \
    /* the header's prototype and the library agree on the type */      \
    decltype(&name) typed = reinterpret_cast<decltype(&name)>(sym);     \
    found += typed != nullptr;                                          \
  }
  ORVELLA_BASS_FUNCTIONS(ORV_CHECK)
#undef ORV_CHECK
  EXPECT_EQ(found, ORVELLA_BASS_EXPORT_COUNT);
  auto version = reinterpret_cast<decltype(&BASS_GetVersion)>(dlsym(h, "BASS_GetVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version() >> 16, 0x0204u);
  // Internals stay inside.
  EXPECT_EQ(dlsym(h, "_ZN7orvbass1LEv"), nullptr);
  EXPECT_EQ(dlsym(h, "OrvBassAddonGet"), nullptr);
  dlclose(h);
}

}  // namespace
