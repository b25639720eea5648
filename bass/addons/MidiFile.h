// Reader of Standard MIDI Files (formats 0, 1 and 2, also wrapped in RIFF RMID): the channel events
// for the synthesizer, the text events (lyrics, markers, track names...) and the tempo map.
//
// Pure data, no threads. Input is untrusted: every length is checked against the bytes present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvmidi {

struct ChannelEvent {
  uint32_t tick;
  uint64_t sample;  // filled by Time()
  uint16_t track;
  uint8_t status;   // 0x80..0xEF
  uint8_t data1, data2;
};

struct MetaText {
  uint32_t tick;
  uint64_t sample;  // filled by Time()
  uint16_t track;
  uint8_t type;     // meta type (1 text, 2 copyright, 3 track name, 4 instrument, 5 lyric, 6 marker,
                    // 7 cue; 0x58 time signature and 0x59 key signature as formatted texts)
  std::string text;
};

struct Tempo {
  uint32_t tick;
  uint32_t usPerQuarter;
};

class MidiFile {
 public:
  // Parse; false with a reason on malformed input (nothing partial is kept meaningful then).
  bool Parse(const uint8_t* data, size_t size, std::string* error = nullptr);

  // Sample positions of every event at "freq" Hz; returns the length in samples (end of the
  // longest track).
  uint64_t Time(uint32_t freq);

  int Format() const { return format_; }
  size_t TrackCount() const { return trackCount_; }
  const std::vector<ChannelEvent>& Events() const { return events_; }  // time order
  const std::vector<MetaText>& Texts() const { return texts_; }        // time order
  uint64_t LengthSamples() const { return lengthSamples_; }
  uint64_t SampleOfTick(uint64_t tick) const;

 private:
  bool ParseTrack(const uint8_t* p, size_t n, uint16_t track, std::string* error);

  int format_ = 0;
  size_t trackCount_ = 0;
  int division_ = 96;  // ticks per quarter, or negative: SMPTE
  std::vector<ChannelEvent> events_;
  std::vector<MetaText> texts_;
  std::vector<Tempo> tempos_;
  uint32_t endTick_ = 0;
  uint32_t freq_ = 44100;
  uint64_t lengthSamples_ = 0;
};

}  // namespace orvmidi
