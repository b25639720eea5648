// The staged add-ons export exactly their entry points, and each family lists every name once.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "bass/addons/basscd.h"
#include "bass/addons/bassmidi.h"
#include "bass/addons/bassmix.h"
#include "bass/bass_addon.h"

namespace {

std::string AddonPath(const std::string& name) { return std::string(ORVELLA_STAGE_DIR) + "/plugins/bass/" + name + ".so"; }

#define ORV_NAME(n) #n,
const std::vector<std::string> kMidi = {ORVELLA_BASSMIDI_FUNCTIONS(ORV_NAME)};
const std::vector<std::string> kCd = {ORVELLA_BASSCD_FUNCTIONS(ORV_NAME)};
const std::vector<std::string> kMix = {ORVELLA_BASSMIX_FUNCTIONS(ORV_NAME)};
#undef ORV_NAME

TEST(AddonFamilies, CountsAndPrefixes) {
  EXPECT_EQ(kMidi.size(), size_t(ORVELLA_BASSMIDI_FUNCTION_COUNT));
  EXPECT_EQ(kMidi.size(), 19u);
  EXPECT_EQ(kCd.size(), 22u);
  EXPECT_EQ(kMix.size(), 18u);
  for (auto* list : {&kMidi, &kCd, &kMix}) EXPECT_EQ(std::set<std::string>(list->begin(), list->end()).size(), list->size());
  for (const auto& n : kMidi) EXPECT_EQ(n.rfind("BASS_MIDI_", 0), 0u) << n;
  for (const auto& n : kCd) EXPECT_EQ(n.rfind("BASS_CD_", 0), 0u) << n;
  for (const auto& n : kMix) EXPECT_EQ(n.rfind("BASS_Mixer_", 0), 0u) << n;
}

TEST(AddonFamilies, EngineCallsAreInTheLists) {
  auto has = [](const std::vector<std::string>& l, const char* n) {
    for (const auto& s : l)
      if (s == n) return true;
    return false;
  };
  for (const char* n : {"BASS_MIDI_FontInit", "BASS_MIDI_FontGetInfo", "BASS_MIDI_FontFree", "BASS_MIDI_StreamSetFonts",
                        "BASS_MIDI_StreamGetMark", "BASS_MIDI_StreamCreateFile", "BASS_MIDI_StreamCreateURL"})
    EXPECT_TRUE(has(kMidi, n)) << n;
  for (const char* n : {"BASS_CD_GetInfo", "BASS_CD_GetTrackLength", "BASS_CD_StreamCreateFile"}) EXPECT_TRUE(has(kCd, n)) << n;
  EXPECT_TRUE(has(kMix, "BASS_Mixer_GetVersion"));
}

// Every family name resolves in its library (the engine's loader refuses a library missing one).
void ExpectResolves(const std::string& lib, const std::vector<std::string>& names) {
  void* h = dlopen(AddonPath(lib).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  for (const auto& n : names) EXPECT_NE(dlsym(h, n.c_str()), nullptr) << lib << ": " << n;
  // Internal helpers stay hidden.
  EXPECT_EQ(dlsym(h, "_ZN8orvaddon4CoreEv"), nullptr);
  dlclose(h);
}

TEST(AddonFamilies, LibrariesExportTheirFamilies) {
  ExpectResolves("bassmidi", kMidi);
  ExpectResolves("basscd", kCd);
  ExpectResolves("bassmix", kMix);
}

TEST(AddonFamilies, MixerVersionIs24) {
  void* h = dlopen(AddonPath("bassmix").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto ver = reinterpret_cast<DWORD (*)()>(dlsym(h, "BASS_Mixer_GetVersion"));
  ASSERT_NE(ver, nullptr);
  EXPECT_EQ(ver() >> 16, 0x0204u);
  EXPECT_GE(ver() & 0xFFFF, 1u);
  dlclose(h);
}

TEST(AddonFamilies, FormatAddonsExportOnlyTheEntry) {
  for (const char* lib : {"bass_aac", "bass_flac", "bass_ac3", "bass_alac", "bass_ape", "bass_mpc", "bass_opus",
                          "bass_spx", "bass_tta", "basswma", "bassmidi", "basscd"}) {
    void* h = dlopen(AddonPath(lib).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << lib << ": " << dlerror();
    EXPECT_NE(dlsym(h, ORV_ADDON_ENTRY), nullptr) << lib;
    EXPECT_EQ(dlsym(h, "_ZN8orvaddon12OpenByRoutesEPKNS_5RouteEiP8ORV_FILEjP11ORV_DECODER"), nullptr) << lib;
    dlclose(h);
  }
}

TEST(AddonFamilies, SoundFontLinkWhenInstalled) {
  std::string link = std::string(ORVELLA_STAGE_DIR) + "/plugins/CT4MGM.SF2";
  bool installed = access("/usr/share/sounds/sf2/TimGM6mb.sf2", R_OK) == 0 || access("/usr/share/sounds/sf2/FluidR3_GM.sf2", R_OK) == 0;
  EXPECT_EQ(access(link.c_str(), R_OK) == 0, installed);
}

}  // namespace
