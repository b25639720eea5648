// Lyrics of a playing MIDI file reach the main window's event in order.
#include <gtest/gtest.h>

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
