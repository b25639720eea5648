// Fuzz target: the MIDI file reader and its timing.
#include <cstddef>
#include <cstdint>

#include "MidiFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvmidi::MidiFile f;
  if (f.Parse(data, size)) {
    f.Time(44100);
    f.Time(8000);
  }
  return 0;
}
