// Standard MIDI file timing for the in_midi plug-in: duration, the track name
// and conversions between milliseconds and ticks through the tempo map.
// Pure functions over the file's bytes; no thread concerns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace inmidi {

struct TMidiTiming {
  bool ok = false;
  int division = 480;        // ticks per quarter note (or per SMPTE frame part)
  bool smpte = false;
  double smpteTickMs = 0;    // ms per tick for SMPTE division
  uint32_t endTick = 0;      // the last event of any track
  std::string title;         // the first track name (meta 3) found
  std::vector<std::pair<uint32_t, uint32_t>> tempos;  // (tick, microseconds per quarter), sorted, first at 0

  double TicksToMs(uint32_t tick) const;
  uint32_t MsToTicks(double ms) const;
  // Lengths beyond what an int holds (slow tempos over long tracks) are given as the largest.
  int LengthMs() const { return ok ? int(std::min(TicksToMs(endTick) + 0.5, double(INT32_MAX))) : 0; }
};

// Reads the header and every track; `ok` is false for anything that is not a
// well-formed standard MIDI file (truncated tracks end at the data's end).
TMidiTiming ParseMidiTiming(const std::vector<uint8_t>& data);
// Files larger than kMaxMidiFileBytes are not read (not ok): MIDI files are small, the
// audio library refuses them beyond the same size.
inline constexpr uint64_t kMaxMidiFileBytes = 64u << 20;
TMidiTiming ReadMidiTiming(const std::string& path);

}  // namespace inmidi
