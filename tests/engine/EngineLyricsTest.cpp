// Lyrics of a playing MIDI file reach the main window's event in order.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"

using namespace engine;
using namespace enginetest;

TEST(EngineLyrics, LyricsOfAPlayingMidiFileArriveInOrder) {
  ProgramDir dir;
  std::string mid = dir.File("lyrics.mid");
  WriteFile(mid, LyricMidiFile());
  CaptureOutput capture(dir.File("l.wav"), 1);
  TZOZUZivade eng;
  TMIDI_FONTINFO font;
  ASSERT_TRUE(eng.LoadSoundFont(dir.File("plugins/CT4MGM.SF2"), font));
  std::vector<std::string> lyrics;
  int ends = 0;
  eng.OnGetLyric = [&](TZOZUZivade*, const char* text) { lyrics.push_back(text); };
  eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
  ASSERT_TRUE(eng.Open(mid));
  EXPECT_EQ(eng.DecoderName(), "bassmidi.so");
  eng.Play();
  ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
  EXPECT_EQ(lyrics, (std::vector<std::string>{"Hel-", "lo"}));
}

// Many lyric events while the UI thread is busy: each text arrives whole and in order.
TEST(EngineLyrics, ManyPendingLyricsAreNotOverwrittenWhileTheUiIsBusy) {
  ProgramDir dir;
  auto vlq = [](uint32_t v) {
    std::string out(1, char(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), char(0x80 | (v & 0x7F)));
    return out;
  };
  std::string trk;
  std::vector<std::string> words;
  trk += vlq(0) + "\x90\x3C\x64";
  for (int i = 0; i < 60; ++i) {
    words.push_back("word" + std::to_string(i));
    trk += vlq(8) + char(0xFF) + char(0x05) + vlq(uint32_t(words.back().size())) + words.back();
  }
  trk += vlq(240) + std::string("\x80\x3C\x00", 3);
  trk += vlq(0) + std::string("\xFF\x2F\x00", 3);
  auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  std::string mid = dir.File("many.mid");
  WriteFile(mid, std::string("MThd") + be32(6) + std::string("\0\0\0\x01\x01\xE0", 6) + "MTrk" +
                     be32(uint32_t(trk.size())) + trk);
  CaptureOutput capture(dir.File("m.wav"), 1);
  TZOZUZivade eng;
  TMIDI_FONTINFO font;
  ASSERT_TRUE(eng.LoadSoundFont(dir.File("plugins/CT4MGM.SF2"), font));
  std::vector<std::string> lyrics;
  int ends = 0;
  eng.OnGetLyric = [&](TZOZUZivade*, const char* text) { lyrics.push_back(text); };
  eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
  ASSERT_TRUE(eng.Open(mid));
  eng.Play();
  // The UI thread does not pump while the whole file plays on the fast clock.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 20000));
  EXPECT_EQ(lyrics, words);
}
