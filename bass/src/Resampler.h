// Band-limited resampler of one channel: a Kaiser-windowed sinc evaluated at any fractional
// position, so the step (input frames per output frame) may change from one output frame to the next
// (frequency attribute and its slides).
//
// The filter is zero-phase: output frame j is the band-limited value of the input at position P_j, so
// positions need no latency correction. Below a step of 1 the cutoff is the input's Nyquist frequency;
// above it the kernel is stretched so the cutoff follows the output's Nyquist frequency (up to a step of
// kMaxStretch; beyond that higher input frequencies alias). The pass band is flat to 0.98 of that
// cutoff, and images and aliases above 1.02 of it are at least 80 dB down.
//
// Threading: a Resampler belongs to one channel and is used under that channel's lock (the mixer thread
// runs it; API threads configure and reset it). Configure() and EnableStretchTable() allocate (API
// threads); nothing else does, so the mixer never allocates here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvbass {

enum class SampleFmt;  // Core.h

class Resampler {
public:
  static constexpr int kMaxStretch = 5;     // kernel stretch limit (steps above it alias)
  static constexpr uint32_t kChunk = 256;   // most output frames one Run() produces

  // Sets the channel count (1..8) and allocates the input line; then Reset().
  void Configure(int chans);
  bool Configured() const { return chans_ > 0; }
  // Allocates the table that makes a constant step above 1, up to "step", about as cheap as a step
  // below 1 (otherwise such steps read the kernel tap by tap, three to seven times the cost).
  // Call where allocating is fine, when such a step may come (a source or frequency attribute above
  // the output rate). Only grows the table.
  void EnableStretchTable(double step);

  // Silence before the next input frame; the position is on that frame.
  void Reset();

  // Input frames held at and after the position (pushed, not yet passed).
  size_t Ahead() const { return len_ - at_; }
  // Frames Push() can take now (it keeps the history the filter needs).
  size_t Room();
  // Appends interleaved input frames; at most Room() are taken. Returns the count taken.
  size_t Push(SampleFmt fmt, const void* interleaved, size_t frames);
  // Input frames the filter reads past the position for a given step (history as much before it).
  static size_t Reach(double step);

  // Produces up to min(frames, kChunk) output frames, interleaved, into "out", moving the position by
  // steps[j] after output frame j. Stops early when the filter would read input not pushed yet; when
  // "ended" the input after the pushed frames is silence and output stops at the last input frame.
  uint32_t Run(float* out, uint32_t frames, const double* steps, bool ended);
  // Whole input frames the position passed since the last call (the caller's consumed frames).
  size_t TakeAdvance() {
    size_t n = advance_;
    advance_ = 0;
    return n;
  }
  double Fraction() const { return frac_; }

  // Keeps the history in step with frames played without resampling (the position on a whole frame):
  // the pushed frames ahead are dropped and "frames" frames are passed.
  void Bypass(SampleFmt fmt, const void* interleaved, size_t frames);

private:
  void Compact();
  void BuildStretch(double step);
  void Store(SampleFmt fmt, const void* interleaved, size_t frames);

  int chans_ = 0;
  size_t cap_ = 0;           // frames per channel row of line_
  std::vector<float> line_;  // planar input: row ch at ch * cap_
  size_t at_ = 0;            // index in a row of the frame the position is on
  size_t len_ = 0;           // frames in a row
  double frac_ = 0;          // position past line_[at_], in [0, 1)
  size_t advance_ = 0;
  std::vector<float> coef_;  // one output frame's taps
  // Phase table of the kernel stretched for one step (stretchStep_, 0 = none built yet): rows of
  // stretchTaps_ taps for frames stretchLo_ .. -stretchLo_ around the position.
  std::vector<float> stretch_;
  long stretchRoom_ = 0;  // largest reach the table has room for
  double stretchStep_ = 0;
  long stretchLo_ = 0;
  long stretchTaps_ = 0;
};

}  // namespace orvbass
