// The add-ons' family functions from several threads at once while channels decode (run under
// ThreadSanitizer by the "threads" label).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "AddonTestUtil.h"
#include "MediaWriters.h"
#include "bass/addons/basscd.h"
#include "bass/addons/bassmidi.h"

// FluidSynth renders and loads samples with OpenMP; libgomp's thread pool is not instrumented for
// ThreadSanitizer, whose reports from inside it are not about our code.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libgomp.so.1\n"; }

namespace {

template <class T>
T Sym(void* lib, const char* name) {
  return reinterpret_cast<T>(dlsym(lib, name));
}

TEST(AddonThreads, MidiStreamsFontsAndEventsConcurrently) {
  at::TempFolder dir;
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  void* lib = dlopen(at::AddonPath("bassmidi").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto fontInit = Sym<decltype(&BASS_MIDI_FontInit)>(lib, "BASS_MIDI_FontInit");
  auto fontFree = Sym<decltype(&BASS_MIDI_FontFree)>(lib, "BASS_MIDI_FontFree");
  auto setFonts = Sym<decltype(&BASS_MIDI_StreamSetFonts)>(lib, "BASS_MIDI_StreamSetFonts");
  auto create = Sym<decltype(&BASS_MIDI_StreamCreateFile)>(lib, "BASS_MIDI_StreamCreateFile");
  auto getMark = Sym<decltype(&BASS_MIDI_StreamGetMark)>(lib, "BASS_MIDI_StreamGetMark");
  auto event = Sym<decltype(&BASS_MIDI_StreamEvent)>(lib, "BASS_MIDI_StreamEvent");
  std::string sf = dir / "t.sf2", song = dir / "s.mid";
  at::WriteFile(sf, at::TinySoundFont("T", "", ""));
  at::MidiTrack t;
  t.Meta(0, 3, "T").Meta(0, 5, "la").Event(0, 0x90, 60, 100).Meta(480, 5, "li").Event(900, 0x80, 60, 0).End(960);
  at::WriteFile(song, at::MidiFileBytes({t}, 480));
  HSOUNDFONT font = fontInit(sf.c_str(), 0);
  ASSERT_NE(font, 0u);
  BASS_MIDI_FONT entry{font, -1, 0};
  ASSERT_TRUE(setFonts(0, &entry, 1));

  std::atomic<int> opened{0}, marks{0};
  std::vector<std::thread> threads;
  for (int k = 0; k < 3; ++k)
    threads.emplace_back([&] {
      for (int i = 0; i < 6; ++i) {
        HSTREAM h = create(FALSE, song.c_str(), 0, 0, BASS_STREAM_DECODE, 22050);
        if (!h) continue;
        ++opened;
        std::thread reader([&] { at::ReadAll(h); });
        BASS_MIDI_MARK m{};
        for (int j = 0; j < 20; ++j) {
          if (getMark(h, BASS_MIDI_MARK_LYRIC, DWORD(j % 2), &m)) ++marks;
          event(h, 0, MIDI_EVENT_PROGRAM, DWORD(j % 8));
          if (j == 10) setFonts(h, &entry, 1);
        }
        reader.join();
        BASS_StreamFree(h);
      }
    });
  threads.emplace_back([&] {
    for (int i = 0; i < 30; ++i) setFonts(0, &entry, 1);
  });
  for (auto& th : threads) th.join();
  EXPECT_EQ(opened.load(), 18);
  EXPECT_EQ(marks.load(), 18 * 20);
  fontFree(font);
  dlclose(lib);
}

TEST(AddonThreads, CdStreamsReplacedWhileDecoding) {
  at::TempFolder dir;
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  void* lib = dlopen(at::AddonPath("basscd").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto addImage = Sym<decltype(&ORV_CD_AddImage)>(lib, "ORV_CD_AddImage");
  auto clearImages = Sym<decltype(&ORV_CD_ClearImages)>(lib, "ORV_CD_ClearImages");
  auto create = Sym<decltype(&BASS_CD_StreamCreate)>(lib, "BASS_CD_StreamCreate");
  auto getTrack = Sym<decltype(&BASS_CD_StreamGetTrack)>(lib, "BASS_CD_StreamGetTrack");
  at::WriteFile(dir / "d.bin", std::vector<uint8_t>(2352 * 200, 7));
  std::string cue = "FILE \"d.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  INDEX 01 00:01:00\n";
  at::WriteFile(dir / "d.cue", std::vector<uint8_t>(cue.begin(), cue.end()));
  DWORD drive = addImage((dir / "d.cue").c_str());
  ASSERT_NE(drive, DWORD(-1));
  ASSERT_TRUE(BASS_SetConfig(BASS_CONFIG_CD_FREEOLD, 1));
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int k = 0; k < 3; ++k)
    threads.emplace_back([&, k] {
      for (int i = 0; i < 20; ++i) {
        HSTREAM h = create(drive, DWORD((i + k) % 2), BASS_STREAM_DECODE);
        if (!h) continue;
        ++created;
        std::vector<uint8_t> buf(8192);
        BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));  // may already be replaced: fails then
        getTrack(h);
        BASS_StreamFree(h);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(created.load(), 60);
  BASS_SetConfig(BASS_CONFIG_CD_FREEOLD, 0);
  clearImages();
  dlclose(lib);
}

}  // namespace
