// PulseAudio output (also PipeWire's Pulse server), through the threaded main loop.
//
// A player needs no low latency, and every request the server has to make is a wake-up of the
// server. With latency adjustment the server keeps (tlength - 2 x minreq) / 2 in the device's own
// buffer and the rest in the stream's queue, so a small minreq with a long tlength gives the device a
// long buffer (few wake-ups), while the mixer writes in long blocks of its own choosing.
//
// The mixer thread writes straight into the stream (under the main loop's lock); the server's queue is
// the only buffer. The clock is the stream's own time (interpolated by libpulse between the server's
// timing reports): it stands still until the device really plays, while the stream is corked, and
// while it waits for data after running dry, so positions follow what is heard.
#include "Core.h"
#include "Output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace orvbass {
namespace {

using Clock = std::chrono::steady_clock;

// Latency in all (device buffer and queue), and the smallest request of the server.
constexpr uint32_t kLatencyMs = 300;
constexpr uint32_t kRequestMs = 20;
// How long start-up waits for the server to take the connection and the stream. A server that has
// hung (it accepts but never answers) must not hold the program up: after this, no output of its own.
constexpr pa_usec_t kConnectTimeoutUs = 5 * PA_USEC_PER_SEC;

class PulseOutput : public Output {
public:
  ~PulseOutput() override {
    if (!ml_) return;
    pa_threaded_mainloop_lock(ml_);
    if (st_) {
      pa_stream_set_state_callback(st_, nullptr, nullptr);
      pa_stream_set_write_callback(st_, nullptr, nullptr);
      pa_stream_set_underflow_callback(st_, nullptr, nullptr);
      pa_stream_disconnect(st_);
      pa_stream_unref(st_);
    }
    if (ctx_) {
      pa_context_set_state_callback(ctx_, nullptr, nullptr);
      pa_context_disconnect(ctx_);
      pa_context_unref(ctx_);
    }
    pa_threaded_mainloop_unlock(ml_);
    pa_threaded_mainloop_stop(ml_);
    pa_threaded_mainloop_free(ml_);
  }

  // False when there is no server, or it did not answer in time (then *hung is set).
  bool Open(uint32_t freq, bool* hung) {
    freq_ = freq;
    ml_ = pa_threaded_mainloop_new();
    if (!ml_) return false;
    pa_proplist* props = pa_proplist_new();
    const char* app = program_invocation_short_name;
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, app && *app ? app : "Orvella Player");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "orvella-player");
    ctx_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(ml_), nullptr, props);
    pa_proplist_free(props);
    if (!ctx_) return false;
    pa_context_set_state_callback(ctx_, &PulseOutput::ContextState, this);
    // No server of its own: without a running server the SDL output takes over.
    if (pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    if (pa_threaded_mainloop_start(ml_) < 0) return false;

    pa_threaded_mainloop_lock(ml_);
    pa_time_event* deadline = pa_context_rttime_new(ctx_, pa_rtclock_now() + kConnectTimeoutUs,
                                                    &PulseOutput::ConnectTimeout, this);
    bool ok = WaitContext() && Connect();
    if (deadline) pa_threaded_mainloop_get_api(ml_)->time_free(deadline);
    if (!ok && timedOut_) *hung = true;
    pa_threaded_mainloop_unlock(ml_);
    return ok;
  }

  uint64_t Played() override {
    pa_threaded_mainloop_lock(ml_);
    uint64_t f = PlayedLocked();
    pa_threaded_mainloop_unlock(ml_);
    return f;
  }
  uint64_t Written() override { return written_.load(std::memory_order_acquire); }
  uint32_t Room() override {
    pa_threaded_mainloop_lock(ml_);
    uint32_t r = RoomLocked();
    pa_threaded_mainloop_unlock(ml_);
    return r;
  }
  void Write(const float* s, uint32_t frames) override {
    pa_threaded_mainloop_lock(ml_);
    if (!dead_ && frames > 0) pa_stream_write(st_, s, size_t(frames) * 8, nullptr, 0, PA_SEEK_RELATIVE);
    written_.store(written_.load(std::memory_order_relaxed) + frames, std::memory_order_release);
    idle_ = false;
    dry_ = false;
    pa_threaded_mainloop_unlock(ml_);
  }
  double SecondsUntilRoom(uint32_t frames) override {
    pa_threaded_mainloop_lock(ml_);
    uint32_t room = RoomLocked();
    double queued = double(written_.load(std::memory_order_relaxed)) - double(PlayedLocked());
    bool dead = dead_;
    pa_threaded_mainloop_unlock(ml_);
    if (room >= frames) return 0;
    double steady = std::max(0.005, double(frames - room) / freq_);
    // Without a server the room comes with the clock. With one, it comes with the server's
    // requests, which wake the mixer (the write callback): a sink that takes its whole buffer at
    // a time leaves no room for a long while, and looking again every period would only wake the
    // mixer for nothing. Should a request not come, the mixer looks again when half of what is
    // queued has played.
    if (dead) return steady;
    return std::max(steady, queued / 2 / freq_);
  }
  void SetPaused(bool p) override {
    pa_threaded_mainloop_lock(ml_);
    if (dead_) {
      PlayedLocked();
      deadPaused_ = p;
    } else if (pa_operation* op = pa_stream_cork(st_, p ? 1 : 0, nullptr, nullptr)) {
      pa_operation_unref(op);
    }
    pa_threaded_mainloop_unlock(ml_);
  }
  void Idle() override {
    pa_threaded_mainloop_lock(ml_);
    if (!idle_ && !dead_) {
      // What is queued plays even when it is less than the server waits for before starting.
      if (pa_operation* op = pa_stream_trigger(st_, nullptr, nullptr)) pa_operation_unref(op);
    }
    idle_ = true;
    pa_threaded_mainloop_unlock(ml_);
  }
  uint64_t Underruns() const override { return underruns_.load(std::memory_order_relaxed); }
  uint32_t Period() const override { return period_; }
  // The device takes a whole buffer at a time and the queue holds little more: each request is
  // answered in full, with one write (one wake-up of the server).
  uint32_t Block(uint32_t room) const override { return std::max(room, period_); }
  uint32_t LatencyMs() const override { return uint32_t(uint64_t(queue_) * 1000 / freq_); }

private:
  static void ConnectTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    self->timedOut_ = true;
    pa_threaded_mainloop_signal(self->ml_, 0);
  }
  static void ContextState(pa_context*, void* user) {
    pa_threaded_mainloop_signal(static_cast<PulseOutput*>(user)->ml_, 0);
  }
  static void StreamState(pa_stream* s, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    pa_stream_state_t st = pa_stream_get_state(s);
    if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) self->Die();
    pa_threaded_mainloop_signal(self->ml_, 0);
  }
  static void WriteReady(pa_stream* s, size_t bytes, void* user) {
    (void)s;
    auto* self = static_cast<PulseOutput*>(user);
    if (bytes >= size_t(self->period_) * 8) MixerWake();
  }
  static void Underflow(pa_stream*, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    // All that was written has left the queue; the device still holds its own buffer, which the
    // stream's time never counts as heard once nothing follows it: that part plays out on the wall
    // clock from now on.
    self->dry_ = true;
    self->drySince_ = Clock::now();
    self->dryLeft_ = double(self->written_.load(std::memory_order_relaxed)) - self->StreamFrames();
    // Running dry after the mixer had nothing more to give is the end of the sound, not a dropout.
    if (self->idle_) return;
    uint64_t n = self->underruns_.fetch_add(1, std::memory_order_relaxed) + 1;
    std::fprintf(stderr, "bass: the sound server ran out of sound to play (%llu time%s)\n",
                 static_cast<unsigned long long>(n), n == 1 ? "" : "s");
  }

  bool WaitContext() {
    for (;;) {
      pa_context_state_t st = pa_context_get_state(ctx_);
      if (st == PA_CONTEXT_READY) return true;
      if (!PA_CONTEXT_IS_GOOD(st) || timedOut_) return false;
      pa_threaded_mainloop_wait(ml_);
    }
  }

  bool Connect() {
    pa_sample_spec ss{};
    ss.format = PA_SAMPLE_FLOAT32NE;
    ss.rate = freq_;
    ss.channels = 2;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    st_ = pa_stream_new_with_proplist(ctx_, "Playback", &ss, nullptr, props);
    pa_proplist_free(props);
    if (!st_) return false;
    pa_stream_set_state_callback(st_, &PulseOutput::StreamState, this);
    pa_stream_set_write_callback(st_, &PulseOutput::WriteReady, this);
    pa_stream_set_underflow_callback(st_, &PulseOutput::Underflow, this);
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(uint64_t(freq_) * kLatencyMs / 1000) * 8;
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(uint64_t(freq_) * kRequestMs / 1000) * 8;
    attr.fragsize = uint32_t(-1);
    auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                   PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(st_, nullptr, &attr, flags, nullptr, nullptr) < 0) return false;
    for (;;) {
      pa_stream_state_t st = pa_stream_get_state(st_);
      if (st == PA_STREAM_READY) break;
      if (!PA_STREAM_IS_GOOD(st) || timedOut_) return false;
      pa_threaded_mainloop_wait(ml_);
    }
    const pa_buffer_attr* got = pa_stream_get_buffer_attr(st_);
    queue_ = got ? got->tlength / 8 : attr.tlength / 8;
    period_ = std::clamp<uint32_t>(got ? got->minreq / 8 : attr.minreq / 8, 64, std::max<uint32_t>(64, queue_ / 2));
    return true;
  }

  // Server gone: the clock goes on in real time so that playing channels still end.
  void Die() {
    if (dead_) return;
    deadFrom_ = double(PlayedLocked());
    deadSince_ = Clock::now();
    dead_ = true;
  }

  uint64_t PlayedLocked() {
    uint64_t w = written_.load(std::memory_order_relaxed);
    double f = 0;
    if (dead_) {
      auto now = Clock::now();
      if (!deadPaused_) deadFrom_ += std::chrono::duration<double>(now - deadSince_).count() * freq_;
      deadSince_ = now;
      deadFrom_ = std::min(deadFrom_, double(w));
      f = deadFrom_;
    } else {
      f = StreamFrames();
      if (dry_) {
        double left = dryLeft_ - std::chrono::duration<double>(Clock::now() - drySince_).count() * freq_;
        f = std::max(f, double(w) - std::max(0.0, left));
      }
    }
    uint64_t heard = std::min<uint64_t>(uint64_t(f), w);
    // Timing corrections may step back a little; the clock does not.
    lastPlayed_ = std::max(lastPlayed_, heard);
    return lastPlayed_;
  }

  double StreamFrames() {
    pa_usec_t t = 0;
    return pa_stream_get_time(st_, &t) == 0 ? double(t) * freq_ / 1e6 : 0.0;
  }

  uint32_t RoomLocked() {
    if (dead_) {
      uint64_t q = written_.load(std::memory_order_relaxed) - PlayedLocked();
      return q >= queue_ ? 0 : uint32_t(queue_ - q);
    }
    size_t n = pa_stream_writable_size(st_);
    if (n == size_t(-1)) return 0;
    return uint32_t(std::min<size_t>(n / 8, queue_));
  }

  pa_threaded_mainloop* ml_ = nullptr;
  pa_context* ctx_ = nullptr;
  // Guarded by the main loop's lock (the callbacks run with it held):
  pa_stream* st_ = nullptr;
  std::atomic<bool> timedOut_{false};  // the server did not get the stream ready in time
  bool idle_ = true;  // the mixer has nothing to write; nothing written since
  bool dry_ = false;  // the server ran out of sound and nothing was written since
  double dryLeft_ = 0;
  Clock::time_point drySince_;
  bool dead_ = false, deadPaused_ = false;
  double deadFrom_ = 0;
  Clock::time_point deadSince_;
  uint64_t lastPlayed_ = 0;
  // Set once by Open():
  uint32_t freq_ = 44100, queue_ = 13230, period_ = 4410;
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> underruns_{0};
};

}  // namespace

std::unique_ptr<Output> OpenPulseOutput(uint32_t freq, bool* hung) {
  bool late = false;
  auto out = std::make_unique<PulseOutput>();
  bool ok = out->Open(freq, &late);
  if (hung) *hung = late;
  if (!ok) return nullptr;
  return out;
}

}  // namespace orvbass
