// TVideoAudio: the sound of videos and DVDs played through our audio library.
// libVLC hands decoded 16-bit samples (its memory output offers no other
// format in version 3) to Write() on its audio thread; they wait
// in a single-producer single-consumer ring until the library's mixer pulls
// them through a stream procedure. Write() paces libVLC by the samples' play
// times and places the sound at its play time when it starts, after a seek and
// after a resume (libVLC's own audio clock is not used: the memory output has
// none): the output's latency and then the library's heard position say when a
// block will be heard; one that would be late is shortened, one that would be
// early is preceded by silence. In between the stream stays continuous.
//
// Volume and balance follow the renderer law of the player's video path (see
// GraphVolumeGain, GraphBalanceGains); they are atomics read by the mixer.
//
// Threads: Open/Close/SetVolume/SetBalance/SetMuted on the UI thread or
// libVLC's audio thread (Open/Close); Write/Flush/Pause on libVLC's audio
// thread; the stream procedure on the library's mixer thread (never waits).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "bass/bass.h"

namespace engine {
class TBassCore;
}

namespace video {

// Linear gain of the graph volume v (0..10000): the renderer's
// round(ln(v + 1) x 1085.73) - 10000 hundredths of a decibel; -10000 is silence.
double GraphVolumeGain(int v);
// B(a) of the balance law: -round(ln(a + 1) x 1085.73) for a >= 0, else +round(ln(-a + 1) x 1085.73).
int GraphBalanceLaw(int a);
// Left and right gains of a balance bar position -100..100: B applied to position x 100,
// clamped to -10000..10000, B applied again, then the renderer's attenuation of one side.
void GraphBalanceGains(int position, double& left, double& right);

class TVideoAudio {
 public:
  explicit TVideoAudio(engine::TBassCore& bass);
  ~TVideoAudio();
  TVideoAudio(const TVideoAudio&) = delete;
  TVideoAudio& operator=(const TVideoAudio&) = delete;

  // Creates the library stream (float, `channels` 1 or 2) and starts it. False when the
  // library refuses (no output): the video then plays without sound.
  bool Open(unsigned rate, unsigned channels);
  void Close();
  // Queues `frames` frames; waits (bounded) until they are due. `ptsUs` on libVLC's clock,
  // `nowUs` the clock now.
  void Write(const int16_t* samples, unsigned frames, int64_t ptsUs, int64_t (*clock)());
  void Flush();
  void Pause(bool pause);
  // Wakes a Write that waits (the player is stopping).
  void Abort();

  void SetVolume(int graphVolume);  // 0..10000
  void SetBalance(int position);    // -100..100
  // Microseconds the samples are handed to the library ahead of their play time (its buffer and
  // the output's latency): how much it may hold, not when they are heard.
  int64_t LatencyUs() const { return latencyUs_; }
  // Media frames left out of the stream so far: frames dropped as late minus silence put in
  // as early. A heard stream position plus this is the media's position.
  int64_t SkewFrames() const { return skew_.load(); }
  // Frames the mixer has taken so far (tests, the failed-render check).
  uint64_t FramesPlayed() const { return played_.load(); }
  uint64_t FramesWritten() const { return written_.load(); }
  // Frames heard when libVLC last flushed the sound (a seek), -1 before any (tests).
  int64_t HeardAtFlush() const { return heardAtFlush_.load(); }
  HSTREAM Stream() const { return stream_; }

 private:
  static DWORD CALLBACK StreamProc(HSTREAM handle, void* buffer, DWORD length, void* user);
  DWORD Read(float* out, DWORD frames);
  void Align(uint64_t frames, int64_t ptsUs, int64_t nowUs, uint64_t& skip, uint64_t& silence);
  void Queue(const int16_t* samples, uint64_t frames);

  engine::TBassCore& bass_;
  std::atomic<HSTREAM> stream_{0};  // made and freed on libVLC's audio thread, read anywhere
  unsigned channels_ = 2;
  unsigned rate_ = 48000;
  int64_t latencyUs_ = 0;
  int64_t deviceUs_ = 0;      // the output's queue, heard before a (re)started stream
  uint64_t startHeard_ = 0;   // heard position (frames) where the stream last (re)started
  bool queuedSinceStart_ = false;  // sound queued since the stream last (re)started
  bool placed_ = false;            // the heard sound was placed since then
  uint64_t notStream_ = UINT64_MAX;  // ring frames that never became stream frames (flushes)
  std::atomic<int64_t> skew_{0};
  DWORD savedGlobalVolume_ = 10000;
  // The ring: written by libVLC's thread, read by the mixer.
  std::vector<float> ring_;
  std::atomic<uint64_t> writePos_{0}, readPos_{0}, flushTo_{0};
  std::atomic<bool> abort_{false};
  std::atomic<bool> paused_{false};  // libVLC paused the sound (a flush keeps it so)
  std::atomic<uint64_t> played_{0}, written_{0};
  std::atomic<int64_t> heardAtFlush_{-1};
  std::atomic<float> gain_{1.0f}, left_{1.0f}, right_{1.0f};
};

}  // namespace video
