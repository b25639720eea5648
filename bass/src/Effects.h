// The library's own effects: parametric EQ, echo, reverb, flanger.
// Threading contract: an Effect belongs to one channel and is used with that channel's lock held.
#pragma once

#include "../bass.h"

#include <memory>
#include <vector>

namespace orvbass {

struct Effect {
  virtual ~Effect() = default;
  DWORD type = 0;
  DWORD handle = 0;
  // Processes interleaved float frames in place.
  virtual void Process(float* x, int frames, int chans) = 0;
  virtual bool SetParams(const void* p) = 0;  // false: a value is out of range
  virtual void GetParams(void* p) const = 0;
  virtual void Reset() = 0;  // clears the effect's memory (delay lines, filter state)
  // True when Process would leave the samples as they are (and change no state).
  virtual bool Idle() const { return false; }
};

// Returns nullptr for types the library does not provide.
std::shared_ptr<Effect> CreateEffect(DWORD type, DWORD freq, DWORD chans);

}  // namespace orvbass
