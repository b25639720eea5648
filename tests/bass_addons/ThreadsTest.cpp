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
#include "bass/addons/bassmix.h"

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
  auto setTrack = Sym<decltype(&BASS_CD_StreamSetTrack)>(lib, "BASS_CD_StreamSetTrack");
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
        std::thread mover([&] { setTrack(h, DWORD(i % 2)); });
        std::vector<uint8_t> buf(8192);
        BASS_ChannelGetData(h, buf.data(), DWORD(buf.size()));  // may already be replaced: fails then
        getTrack(h);
        mover.join();
        BASS_StreamFree(h);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(created.load(), 60);
  BASS_SetConfig(BASS_CONFIG_CD_FREEOLD, 0);
  clearImages();
  dlclose(lib);
}

DWORD CALLBACK Noise(HSTREAM, void* buffer, DWORD length, void* user) {
  auto* x = static_cast<uint32_t*>(user);
  auto* s = static_cast<int16_t*>(buffer);
  for (DWORD i = 0; i < length / 2; ++i) s[i] = int16_t((*x = *x * 1103515245 + 12345) >> 16);
  return length;
}

TEST(AddonThreads, MixerSourcesChangeWhileMixing) {
  at::BassSession bass;
  ASSERT_TRUE(bass.ok);
  void* lib = dlopen(at::AddonPath("bassmix").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr);
  auto create = Sym<decltype(&BASS_Mixer_StreamCreate)>(lib, "BASS_Mixer_StreamCreate");
  auto add = Sym<decltype(&BASS_Mixer_StreamAddChannel)>(lib, "BASS_Mixer_StreamAddChannel");
  auto remove = Sym<decltype(&BASS_Mixer_ChannelRemove)>(lib, "BASS_Mixer_ChannelRemove");
  auto flags = Sym<decltype(&BASS_Mixer_ChannelFlags)>(lib, "BASS_Mixer_ChannelFlags");
  auto setMatrix = Sym<decltype(&BASS_Mixer_ChannelSetMatrix)>(lib, "BASS_Mixer_ChannelSetMatrix");
  auto setPos = Sym<decltype(&BASS_Mixer_ChannelSetPosition)>(lib, "BASS_Mixer_ChannelSetPosition");
  HSTREAM m = create(48000, 2, BASS_STREAM_DECODE);
  ASSERT_NE(m, 0u);
  uint32_t seeds[4] = {1, 2, 3, 4};
  HSTREAM src[4];
  for (int i = 0; i < 4; ++i) {
    src[i] = BASS_StreamCreate(i % 2 ? 22050 : 44100, i % 2 ? 1 : 2, BASS_STREAM_DECODE, Noise, &seeds[i]);
    ASSERT_NE(src[i], 0u);
  }
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    std::vector<uint8_t> buf(8192);
    while (!stop) BASS_ChannelGetData(m, buf.data(), DWORD(buf.size()));
  });
  const float half[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  for (int round = 0; round < 200; ++round) {
    HSTREAM s = src[round % 4];
    add(m, s, 0);
    flags(s, round % 3 ? 0 : BASS_MIXER_PAUSE, BASS_MIXER_PAUSE);
    setMatrix(s, half);
    setPos(s, 0, BASS_POS_BYTE);
    if (round % 2) remove(s);
  }
  stop = true;
  reader.join();
  BASS_StreamFree(m);
  for (HSTREAM s : src) BASS_StreamFree(s);
  dlclose(lib);
}

}  // namespace
