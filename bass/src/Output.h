// Output devices: where the mixer's stereo float frames go, and the device clock.
//
// Threading contract: Write() and Idle() are called by the mixer thread only. Played(), Room(),
// Written(), Underruns() may be called from any thread. The SDL device thread only runs the audio
// callback, which reads the ring with atomics and never locks, allocates or waits. The PulseAudio
// output's main loop thread runs its callbacks under the main loop's lock, which the other calls
// take briefly (a leaf lock but for MixerWake(), whose short lock the request callback takes).
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
  // Frames of room the mixer waits for before it wakes up to write.
  virtual uint32_t Period() const = 0;
  // Frames the mixer produces when it wakes up with "room" frames of room (room >= Period()).
  virtual uint32_t Block(uint32_t room) const {
    (void)room;
    return Period();
  }
  // True when the clock runs as fast as the mixer can go.
  virtual bool Unlimited() const { return false; }
  virtual uint32_t LatencyMs() const = 0;
  // The mixer has nothing to write for now (every channel ended, stopped or paused): what is queued
  // should play out, and running dry from here on is not a dropout.
  virtual void Idle() {}
  // Times the device ran dry while the mixer still had sound for it (dropouts), since opening.
  virtual uint64_t Underruns() const { return 0; }
};

// device 1: the env variables of bass.h, then PulseAudio, then SDL2, then silent. device 0: silent.
std::unique_ptr<Output> OpenOutput(int device, uint32_t freq);
// A stream on a running PulseAudio server, or null when there is none. A server that is there but
// does not answer within a few seconds gives null too, with *hung set (when given).
std::unique_ptr<Output> OpenPulseOutput(uint32_t freq, bool* hung = nullptr);

}  // namespace orvbass
