// Lyrics of a playing MIDI file reach the main window's event in order.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "engine/ZOZUZivade.h"

using namespace engine;
using namespace enginetest;

namespace {

// A format-0 MIDI file: one track with a name, two lyrics and a few notes.
std::string LyricMidi() {
  auto vlq = [](uint32_t v) {
    std::string out(1, char(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), char(0x80 | (v & 0x7F)));
    return out;
  };
  std::string trk;
  auto meta = [&](uint32_t delta, int type, const std::string& text) {
    trk += vlq(delta) + char(0xFF) + char(type) + vlq(uint32_t(text.size())) + text;
  };
  meta(0, 3, "Lead");
  meta(0, 5, "Hel-");
  trk += vlq(0) + "\x90\x3C\x64";
  meta(480, 5, "lo");
  trk += vlq(0) + std::string("\x80\x3C\x00", 3);
  trk += vlq(0) + "\x90\x40\x64";
  trk += vlq(480) + std::string("\x80\x40\x00", 3);
  trk += vlq(960) + std::string("\xFF\x2F\x00", 3);
  auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  return std::string("MThd") + be32(6) + std::string("\0\0\0\x01\x01\xE0", 6) + "MTrk" + be32(uint32_t(trk.size())) +
         trk;
}

}  // namespace
TEST(EngineLyrics, LyricsOfAPlayingMidiFileArriveInOrder) {
  ProgramDir dir;
  std::string mid = dir.File("lyrics.mid");
  WriteFile(mid, LyricMidi());
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
