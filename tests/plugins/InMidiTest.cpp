// in_midi.so: MIDI timing read from the file, and a MIDI file played through
// FluidSynth by the input plug-in into the capture.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "EngineTestUtil.h"
#include "MidiTiming.h"
#include "engine/ZOZUZivade.h"
#include "platform/MessageBox.h"
#include "plugins/PluginCtrl.h"

using namespace engine;
using namespace enginetest;

namespace {

std::string Vlq(uint32_t v) {
  std::string out(1, char(v & 0x7F));
  while (v >>= 7) out.insert(out.begin(), char(0x80 | (v & 0x7F)));
  return out;
}
std::string Be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// Format 1: a tempo track (120 BPM, then 60 BPM from beat 4) and a note track
// named "Lead" holding notes until beat 6. 480 ticks per quarter.
std::string TwoTempoMidi() {
  std::string tempo = Vlq(0) + "\xFF\x51\x03" + std::string("\x07\xA1\x20", 3);  // 500000 us
  tempo += Vlq(1920) + "\xFF\x51\x03" + std::string("\x0F\x42\x40", 3);           // 1000000 us
  tempo += Vlq(0) + std::string("\xFF\x2F\x00", 3);
  std::string notes = Vlq(0) + "\xFF\x03\x04Lead";
  for (int i = 0; i < 6; ++i) {
    notes += Vlq(0) + "\x90\x3C\x64";
    notes += Vlq(480) + std::string("\x80\x3C\x00", 3);
  }
  notes += Vlq(0) + std::string("\xFF\x2F\x00", 3);
  return std::string("MThd") + Be32(6) + std::string("\0\x01\0\x02\x01\xE0", 6) + "MTrk" +
         Be32(uint32_t(tempo.size())) + tempo + "MTrk" + Be32(uint32_t(notes.size())) + notes;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

TEST(MidiTiming, DurationFollowsTheTempoMap) {
  inmidi::TMidiTiming t = inmidi::ParseMidiTiming(Bytes(TwoTempoMidi()));
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.title, "Lead");
  EXPECT_EQ(t.endTick, 2880u);
  // Four beats at 0.5 s, two at 1 s.
  EXPECT_EQ(t.LengthMs(), 4000);
  EXPECT_EQ(t.MsToTicks(1000), 960u);
  EXPECT_EQ(t.MsToTicks(3000), 2400u);
  EXPECT_NEAR(t.TicksToMs(t.MsToTicks(2500)), 2500, 1);
}

TEST(MidiTiming, BrokenFilesAreRefusedOrCutShort) {
  EXPECT_FALSE(inmidi::ParseMidiTiming(Bytes("MThd")).ok);
  EXPECT_FALSE(inmidi::ParseMidiTiming(Bytes("RIFF0000WAVEfmt ")).ok);
  std::string midi = TwoTempoMidi();
  // Cut inside the note track: what is there still counts.
  inmidi::TMidiTiming t = inmidi::ParseMidiTiming(Bytes(midi.substr(0, midi.size() - 20)));
  ASSERT_TRUE(t.ok);
  EXPECT_LT(t.endTick, 2880u);
  EXPECT_GT(t.endTick, 1000u);
}

TEST(MidiTiming, FilesBeyondTheSizeLimitAreNotRead) {
  ScratchDir dir;
  const std::string path = dir.File("big.mid");
  WriteFile(path, TwoTempoMidi());
  // Trailing bytes after the tracks up to the limit: still a MIDI file.
  std::filesystem::resize_file(path, inmidi::kMaxMidiFileBytes);
  EXPECT_TRUE(inmidi::ReadMidiTiming(path).ok);
  // One byte more (sparse): refused before anything is read.
  std::filesystem::resize_file(path, inmidi::kMaxMidiFileBytes + 1);
  EXPECT_FALSE(inmidi::ReadMidiTiming(path).ok);
  EXPECT_EQ(inmidi::ReadMidiTiming(path).LengthMs(), 0);
}

TEST(MidiTiming, TheLargestTrackCountIsRead) {
  // 65535 tracks (the most the header can declare), each a single end-of-track event.
  std::string midi = std::string("MThd") + Be32(6) + std::string("\0\x01\xFF\xFF\x01\xE0", 6);
  const std::string track = "MTrk" + Be32(4) + Vlq(0) + std::string("\xFF\x2F\x00", 3);
  for (int i = 0; i < 65535; ++i) midi += track;
  inmidi::TMidiTiming t = inmidi::ParseMidiTiming(Bytes(midi));
  EXPECT_TRUE(t.ok);
  EXPECT_EQ(t.endTick, 0u);
}

TEST(InMidi, PlaysAMidiFileThroughFluidSynthIntoTheCapture) {
  ProgramDir dir;
  std::string mid = dir.File("song.mid");
  WriteFile(mid, TwoTempoMidi());
  std::string out = dir.File("midi.wav");
  int ends = 0;
  platform::MessageRecorder msgs;
  {
    CaptureOutput capture(out, 1);
    TZOZUZivade eng;
    eng.SetPluginFirst(true);
    ASSERT_EQ(plugins::LoadInputPlugin("in_midi.so"), 0);
    TStreamInfo info;
    int supportedBy = -1, slot = -1;
    std::string name;
    ASSERT_TRUE(eng.GetStreamInfo(mid, info, supportedBy, slot, name));
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(name, "in_midi.so");
    EXPECT_EQ(info.Duration, 4000);
    eng.OnPlayEnd = [&](TZOZUZivade*) { ++ends; };
    ASSERT_TRUE(eng.Open(mid));
    ASSERT_EQ(eng.StreamKind(), TZOZUZivade::skPlugin);
    eng.Play();
    ASSERT_EQ(eng.Mode(), plmPlaying);
    ASSERT_TRUE(PumpUntil([&] { return ends > 0; }, 30000));
    PumpUntil([] { return false; }, 100);
  }
  EXPECT_EQ(ends, 1);
  for (const auto& m : msgs.Messages()) ADD_FAILURE() << m.text;
  std::vector<int16_t> got = ReadWav16(out);
  // Four seconds of music and the last note's release, and it is not silence.
  double seconds = double(got.size()) / 2 / 44100;
  EXPECT_GE(seconds, 4.0);
  EXPECT_LT(seconds, 5.0);
  double energy = 0;
  for (int16_t v : got) energy += double(v) * v;
  EXPECT_GT(std::sqrt(energy / std::max<size_t>(1, got.size())), 100.0);
}
