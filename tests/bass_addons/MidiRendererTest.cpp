// The MIDI renderer on its own: the lyric hook that feeds the lyric sync fires once per lyric, in
// order, at the lyric's byte position, also after seeks.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "AddonTestUtil.h"
#include "MediaWriters.h"
#include "MidiRenderer.h"

namespace {

using Hits = std::vector<std::pair<DWORD, QWORD>>;

void OnLyric(void* user, DWORD index, QWORD pos) { static_cast<Hits*>(user)->emplace_back(index, pos); }

TEST(MidiRenderer, LyricHookFiresInOrderAtThePositions) {
  at::TempFolder dir;
  std::string sf = dir / "t.sf2";
  at::WriteFile(sf, at::TinySoundFont("T", "", ""));
  at::MidiTrack t;
  t.Meta(0, 3, "T").Meta(0, 5, "one").Event(0, 0x90, 60, 100).Meta(480, 5, "two").Meta(960, 5, "three");
  t.Event(1000, 0x80, 60, 0).End(1200);
  std::vector<uint8_t> bytes = at::MidiFileBytes({t}, 480);
  auto file = std::make_unique<orvmidi::MidiFile>();
  ASSERT_TRUE(file->Parse(bytes.data(), bytes.size()));
  int error = 0;
  auto r = orvmidi::MidiRenderer::Create(std::move(file), 44100, 0, {{sf, 1.0f}}, &error);
  ASSERT_NE(r, nullptr) << error;
  Hits hits;
  r->SetLyricHook(OnLyric, &hits);
  std::vector<uint8_t> buf(10000);  // odd block size: lyrics fall inside blocks
  BOOL ended = FALSE;
  QWORD total = 0;
  while (!ended) total += r->Read(buf.data(), DWORD(buf.size()), &ended);
  EXPECT_EQ(total, r->Length());
  EXPECT_EQ(total, QWORD(1200) * 44100 / 960 * 4);
  EXPECT_EQ(hits, (Hits{{0, 0}, {1, 22050 * 4}, {2, 44100 * 4}}));
  // After a seek onto the second lyric, it fires again, then the third.
  hits.clear();
  ASSERT_TRUE(r->Seek(22050 * 4));
  ended = FALSE;
  while (!ended) r->Read(buf.data(), DWORD(buf.size()), &ended);
  EXPECT_EQ(hits, (Hits{{1, 22050 * 4}, {2, 44100 * 4}}));
  // Without any usable font it is refused.
  auto again = std::make_unique<orvmidi::MidiFile>();
  ASSERT_TRUE(again->Parse(bytes.data(), bytes.size()));
  EXPECT_EQ(orvmidi::MidiRenderer::Create(std::move(again), 44100, 0, {{dir / "none.sf2", 1.0f}}, &error), nullptr);
  EXPECT_EQ(error, BASS_ERROR_FILEOPEN);
}

TEST(MidiFileReader, TempoChangesAndSmpteTiming) {
  // Tempo doubles at tick 480: the second half-second of ticks takes a quarter second.
  at::MidiTrack t;
  t.Tempo(0, 500000).Meta(0, 5, "a").Tempo(480, 250000).Meta(960, 5, "b").End(960);
  std::vector<uint8_t> bytes = at::MidiFileBytes({t}, 480, 0);
  orvmidi::MidiFile f;
  ASSERT_TRUE(f.Parse(bytes.data(), bytes.size()));
  EXPECT_EQ(f.Time(44100), QWORD(44100 * 3 / 4));
  EXPECT_EQ(f.Texts().back().sample, QWORD(44100 * 3 / 4));
  // 25 frames a second, 40 ticks a frame: 1000 ticks a second, whatever the tempo says.
  at::MidiTrack s;
  s.Tempo(0, 100000).End(2000);
  bytes = at::MidiFileBytes({s}, uint16_t(0xE728), 0);  // -25, 40
  ASSERT_TRUE(f.Parse(bytes.data(), bytes.size()));
  EXPECT_EQ(f.Time(48000), QWORD(96000));
  // Running status and a SysEx in between.
  std::vector<uint8_t> raw = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 16,
                              0, 0x90, 60, 100, 10, 62, 100, 0, 0xF0, 2, 0x7E, 0xF7, 0, 0xFF, 0x2F, 0};
  ASSERT_TRUE(f.Parse(raw.data(), raw.size()));
  ASSERT_EQ(f.Events().size(), 2u);
  EXPECT_EQ(f.Events()[1].data1, 62);
  EXPECT_EQ(f.Events()[1].tick, 10u);
  raw[23] = 60;  // data byte without a status before it
  EXPECT_FALSE(f.Parse(raw.data(), raw.size()));
}

}  // namespace
