// Output devices: where the mixer's stereo float frames go, and the device clock.
//
// Threading contract: Write() is called by the mixer thread only. Played(), Room(), Written() may be
// called from any thread. The SDL device thread only runs the audio callback, which reads the ring
// with atomics and never locks, allocates or waits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace orvbass {

class Output {
public:
  virtual ~Output() = default;
  // Frames the device has consumed (heard) so far: the device clock.
  virtual uint64_t Played() = 0;
  // Frames written by the mixer so far.
  virtual uint64_t Written() = 0;
  // Frames the mixer may write now.
  virtual uint32_t Room() = 0;
  virtual void Write(const float* stereo, uint32_t frames) = 0;
  // Seconds until Room() reaches "frames" (0 when already), for the mixer's sleep.
  virtual double SecondsUntilRoom(uint32_t frames) = 0;
  virtual void SetPaused(bool paused) = 0;
  // Frames the mixer produces per wake-up.
  virtual uint32_t Period() const = 0;
  // True when the clock runs as fast as the mixer can go.
  virtual bool Unlimited() const { return false; }
  virtual uint32_t LatencyMs() const = 0;
};

// device 1: the env variables of bass.h, then SDL2, then silent. device 0: silent.
std::unique_ptr<Output> OpenOutput(int device, uint32_t freq);

}  // namespace orvbass
