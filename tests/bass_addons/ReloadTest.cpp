// The engine's life cycle: bass.so loaded by path (not linked) from a program folder, unloaded
// after BASS_Free and loaded again - here each time from another folder, the first one deleted -
// while bassmidi.so stays resident; the soundfont is freed after the core is gone.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "AddonTestUtil.h"
#include "MediaWriters.h"
#include "bass/addons/bassmidi.h"

namespace {

// A program folder of links to the staged files, as the engine's tests build them.
struct ProgramFolder {
  at::TempFolder dir;
  ProgramFolder() {
    std::filesystem::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/bass.so", dir / "bass.so");
    std::filesystem::create_symlink(std::string(ORVELLA_STAGE_DIR) + "/plugins", dir / "plugins");
  }
  std::string Addon(const std::string& name) const { return dir / ("plugins/bass/" + name + ".so"); }
};

struct Core {
  void* lib = nullptr;
#define ORV_PTR(name) decltype(&::name) name = nullptr;
  ORVELLA_BASS_FUNCTIONS(ORV_PTR)
#undef ORV_PTR
  bool Load(const ProgramFolder& folder) {
    lib = dlopen((folder.dir / "bass.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
#define ORV_RESOLVE(name) name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name));
    ORVELLA_BASS_FUNCTIONS(ORV_RESOLVE)
#undef ORV_RESOLVE
    return BASS_Init && BASS_Init(0, 44100, 0, nullptr, nullptr);
  }
  void Unload() {
    BASS_PluginFree(0);
    BASS_Free();
    dlclose(lib);
    lib = nullptr;
  }
};

TEST(AddonLifeCycle, MidiWorksAcrossCoreReloads) {
  at::TempFolder dir;
  std::string sf = dir / "t.sf2", song = dir / "s.mid";
  at::WriteFile(sf, at::TinySoundFont("T", "", ""));
  at::MidiTrack t;
  t.Meta(0, 3, "Only").Event(0, 0x90, 60, 100).Event(400, 0x80, 60, 0).End(480);
  at::WriteFile(song, at::MidiFileBytes({t}, 480));

  auto first = std::make_unique<ProgramFolder>();
  void* midi = dlopen(first->Addon("bassmidi").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(midi, nullptr);
  auto fontInit = reinterpret_cast<decltype(&BASS_MIDI_FontInit)>(dlsym(midi, "BASS_MIDI_FontInit"));
  auto fontFree = reinterpret_cast<decltype(&BASS_MIDI_FontFree)>(dlsym(midi, "BASS_MIDI_FontFree"));
  auto setFonts = reinterpret_cast<decltype(&BASS_MIDI_StreamSetFonts)>(dlsym(midi, "BASS_MIDI_StreamSetFonts"));
  auto create = reinterpret_cast<decltype(&BASS_MIDI_StreamCreateFile)>(dlsym(midi, "BASS_MIDI_StreamCreateFile"));

  HSOUNDFONT font = 0;
  for (int round = 0; round < 3; ++round) {
    auto folder = round == 0 ? std::move(first) : std::make_unique<ProgramFolder>();
    Core core;
    ASSERT_TRUE(core.Load(*folder)) << "round " << round;
    // Attached as a format add-on too in the first round, as the engine's start-up does; later
    // rounds find the core on their own.
    if (round == 0) {
      ASSERT_NE(core.BASS_PluginLoad(folder->Addon("bassmidi").c_str(), 0), 0u);
    }
    if (!font) {
      font = fontInit(sf.c_str(), 0);
      ASSERT_NE(font, 0u);
      BASS_MIDI_FONT e{font, -1, 0};
      ASSERT_TRUE(setFonts(0, &e, 1));
    }
    HSTREAM h = create(FALSE, song.c_str(), 0, 0, BASS_STREAM_DECODE, 44100);
    ASSERT_NE(h, 0u) << "round " << round << " error " << core.BASS_ErrorGetCode();
    EXPECT_EQ(core.BASS_ChannelGetLength(h, BASS_POS_BYTE), QWORD(22050 * 4));
    EXPECT_STREQ(core.BASS_ChannelGetTags(h, BASS_TAG_MIDI_TRACK), "Only");
    // Left open: BASS_Free closes it.
    core.Unload();
  }
  // No core any more: the font still goes, and calls fail cleanly.
  EXPECT_TRUE(fontFree(font));
  EXPECT_EQ(create(FALSE, song.c_str(), 0, 0, BASS_STREAM_DECODE, 44100), 0u);
  dlclose(midi);
}

}  // namespace
