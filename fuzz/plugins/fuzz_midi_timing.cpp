// in_midi's reading of MIDI files: any bytes give a result or a refusal, and
// the tempo-map conversions stay finite and consistent.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "MidiTiming.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  inmidi::TMidiTiming t = inmidi::ParseMidiTiming(bytes);
  if (!t.ok) return 0;
  double ms = t.TicksToMs(t.endTick);
  if (!std::isfinite(ms) || ms < 0) std::abort();
  (void)t.LengthMs();
  uint32_t back = t.MsToTicks(ms);
  (void)t.TicksToMs(back);
  return 0;
}
