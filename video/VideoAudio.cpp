#include "video/VideoAudio.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/Dynamic_Bass.h"

namespace video {

namespace {
// A renderer attenuation in hundredths of a decibel (-10000..0) as a gain; -10000 is silence.
double AttenuationGain(int hundredthsDb) {
  if (hundredthsDb <= -10000) return 0.0;
  if (hundredthsDb >= 0) return 1.0;
  return std::pow(10.0, hundredthsDb / 2000.0);
}
constexpr uint64_t kRingFrames = 1 << 15;  // about 0.7 s at 48 kHz
}  // namespace

double GraphVolumeGain(int v) {
  v = std::clamp(v, 0, 10000);
  const int db = static_cast<int>(std::lround(std::log(v + 1.0) * 1085.73)) - 10000;
  return AttenuationGain(db);
}

int GraphBalanceLaw(int a) {
  if (a >= 0) return -static_cast<int>(std::lround(std::log(a + 1.0) * 1085.73));
  return static_cast<int>(std::lround(std::log(-a + 1.0) * 1085.73));
}

void GraphBalanceGains(int position, double& left, double& right) {
  const int once = std::clamp(GraphBalanceLaw(std::clamp(position, -100, 100) * 100), -10000, 10000);
  const int b = std::clamp(GraphBalanceLaw(once), -10000, 10000);
  // Positive: the left side is attenuated; negative: the right side.
  left = b > 0 ? AttenuationGain(-b) : 1.0;
  right = b < 0 ? AttenuationGain(b) : 1.0;
}

TVideoAudio::TVideoAudio(engine::TBassCore& bass) : bass_(bass) {}

TVideoAudio::~TVideoAudio() { Close(); }

bool TVideoAudio::Open(unsigned rate, unsigned channels) {
  Close();
  channels_ = std::clamp(channels, 1u, 2u);
  rate_ = rate;
  ring_.assign(kRingFrames * channels_, 0.0f);
  writePos_ = readPos_ = flushTo_ = 0;
  played_ = written_ = 0;
  startHeard_ = 0;
  queuedSinceStart_ = placed_ = false;
  notStream_ = UINT64_MAX;
  skew_ = 0;
  abort_ = false;
  paused_ = false;
  if (!bass_.BASS_StreamCreate) return false;
  stream_ = bass_.BASS_StreamCreate(rate, channels_, BASS_SAMPLE_FLOAT, &TVideoAudio::StreamProc, this);
  if (!stream_) return false;
  // The engine keeps its own volume in the global stream volume; the video path
  // has its own law, so the global one is neutral while a video sounds.
  savedGlobalVolume_ = bass_.BASS_GetConfig(BASS_CONFIG_GVOL_STREAM);
  bass_.BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000);
  BASS_INFO info{};
  int64_t deviceMs = bass_.BASS_GetInfo(&info) ? info.latency : 0;
  deviceUs_ = deviceMs * 1000;
  latencyUs_ = (static_cast<int64_t>(bass_.BASS_GetConfig(BASS_CONFIG_BUFFER)) + deviceMs) * 1000;
  bass_.BASS_ChannelPlay(stream_, FALSE);
  return true;
}

void TVideoAudio::Close() {
  abort_ = true;
  if (stream_) {
    bass_.BASS_StreamFree(stream_);
    bass_.BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, savedGlobalVolume_);
    stream_ = 0;
  }
}

void TVideoAudio::Abort() { abort_ = true; }

void TVideoAudio::Write(const int16_t* samples, unsigned frames, int64_t ptsUs, int64_t (*clock)()) {
  written_ += frames;
  if (!stream_) return;
  // Hand the samples over when they are due minus what the library may hold ahead.
  if (clock) {
    for (int i = 0; i < 200 && !abort_; ++i) {
      const int64_t wait = ptsUs - latencyUs_ - clock();
      if (wait <= 0) break;
      std::this_thread::sleep_for(std::chrono::microseconds(std::min<int64_t>(wait, 5000)));
    }
  }
  uint64_t skip = 0, silence = 0;
  if (clock) Align(frames, ptsUs, clock(), skip, silence);
  if (silence) Queue(nullptr, silence);
  if (skip < frames) Queue(samples + skip * channels_, frames - skip);
  if (silence || skip < frames) queuedSinceStart_ = true;
}

// libVLC dates its first block about 10 ms after it hands it over (it expects an output that
// starts at once), while a starting stream is heard only after the output's queue. From there
// on a continuous stream is heard where the samples before it end, so an early or late start
// would stay for the whole video: the block is shortened when it would be heard late, and
// preceded by silence when early.
void TVideoAudio::Align(uint64_t frames, int64_t ptsUs, int64_t nowUs, uint64_t& skip, uint64_t& silence) {
  const DWORD frameBytes = channels_ * sizeof(float);
  const QWORD decoded = bass_.BASS_ChannelGetPosition(stream_, BASS_POS_DECODE);
  const QWORD heard = bass_.BASS_ChannelGetPosition(stream_, BASS_POS_BYTE);
  if (decoded == QWORD(-1) || heard == QWORD(-1)) return;
  const bool started = heard / frameBytes > startHeard_;
  // Once heard, what the device plays is this stream's sound: its position is exact. Before, the
  // output's queue of silence comes first: known as the output's latency only until the first
  // sound is mixed (then it drains unseen), so only the first block is placed by it, the
  // following ones follow it until it is heard. While paused or stalled nothing tells.
  // Once heard, one correction places it exactly; from then on the stream stays continuous (a
  // late mixer or a device that runs dry delays it as it does any sound).
  if (!started && queuedSinceStart_) return;
  if (started && (placed_ || bass_.BASS_ChannelIsActive(stream_) != BASS_ACTIVE_PLAYING)) return;
  // The stream's frames are the ring's frames less those a flush skipped or a restart dropped
  // mid-read: ring frames taken less stream frames made. A read under way (the ring already
  // advanced, the stream's count not yet) only makes that larger, so the smallest since the
  // last flush is the true one.
  const uint64_t w = writePos_.load(std::memory_order_relaxed);
  const uint64_t r = std::max(readPos_.load(std::memory_order_acquire), flushTo_.load(std::memory_order_acquire));
  if (r >= decoded / frameBytes) notStream_ = std::min(notStream_, r - decoded / frameBytes);
  if (notStream_ == UINT64_MAX) return;
  const uint64_t heardRing = heard / frameBytes + notStream_;
  const uint64_t ahead = w > heardRing ? w - heardRing : 0;
  const int64_t heardAtUs = nowUs + static_cast<int64_t>(ahead * 1000000 / rate_) + (started ? 0 : deviceUs_);
  const int64_t lateUs = heardAtUs - ptsUs;
  constexpr int64_t kToleranceUs = 20000;
  if (lateUs > kToleranceUs) {
    skip = std::min<uint64_t>(frames, static_cast<uint64_t>(lateUs) * rate_ / 1000000);
  } else if (lateUs < -kToleranceUs) {
    const uint64_t space = kRingFrames - (w - readPos_.load(std::memory_order_acquire));
    silence = std::min<uint64_t>(space > frames ? space - frames : 0,
                                 static_cast<uint64_t>(-lateUs) * rate_ / 1000000);
  }
  if (started) placed_ = true;
  skew_.fetch_add(static_cast<int64_t>(skip) - static_cast<int64_t>(silence));
}

// Copies frames (null: silence) into the ring; waits (bounded) while it is full.
void TVideoAudio::Queue(const int16_t* samples, uint64_t frames) {
  uint64_t done = 0;
  for (int spins = 0; done < frames && !abort_; ) {
    const uint64_t w = writePos_.load(std::memory_order_relaxed);
    const uint64_t r = readPos_.load(std::memory_order_acquire);
    const uint64_t space = kRingFrames - (w - r);
    if (space == 0) {
      // The mixer is behind (paused output): wait a little, but never for ever.
      if (++spins > 400) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    const uint64_t n = std::min<uint64_t>(space, frames - done);
    for (uint64_t k = 0; k < n; ++k) {
      float* slot = &ring_[((w + k) % kRingFrames) * channels_];
      if (!samples) {
        std::fill(slot, slot + channels_, 0.0f);
        continue;
      }
      const int16_t* src = samples + (done + k) * channels_;
      for (unsigned ch = 0; ch < channels_; ++ch) slot[ch] = src[ch] * (1.0f / 32768.0f);
    }
    writePos_.store(w + n, std::memory_order_release);
    done += n;
  }
}

void TVideoAudio::Flush() {
  flushTo_.store(writePos_.load(std::memory_order_relaxed), std::memory_order_release);
  if (!stream_) return;
  const QWORD heard = bass_.BASS_ChannelGetPosition(stream_, BASS_POS_BYTE);
  if (heard != QWORD(-1)) heardAtFlush_ = static_cast<int64_t>(heard / (channels_ * sizeof(float))) + skew_.load();
  // The library holds up to its buffer length (half a second) of what the mixer took
  // before the seek: a restart of the user stream drops it, so the old sound stops at once.
  bass_.BASS_ChannelPlay(stream_, TRUE);
  // The stream starts again: the output's queue goes before its next sound.
  const QWORD restart = bass_.BASS_ChannelGetPosition(stream_, BASS_POS_BYTE);
  if (restart != QWORD(-1)) startHeard_ = restart / (channels_ * sizeof(float));
  notStream_ = UINT64_MAX;
  queuedSinceStart_ = placed_ = false;
  if (paused_) bass_.BASS_ChannelPause(stream_);
}

void TVideoAudio::Pause(bool pause) {
  paused_ = pause;
  // The output plays out what it holds of the stream while libVLC's clock stands still: the
  // sound comes back early by that much, so it is placed again.
  if (!pause) placed_ = false;
  if (!stream_) return;
  if (pause) bass_.BASS_ChannelPause(stream_);
  else bass_.BASS_ChannelPlay(stream_, FALSE);
}

void TVideoAudio::SetVolume(int graphVolume) { gain_ = static_cast<float>(GraphVolumeGain(graphVolume)); }

void TVideoAudio::SetBalance(int position) {
  double l = 1, r = 1;
  GraphBalanceGains(position, l, r);
  left_ = static_cast<float>(l);
  right_ = static_cast<float>(r);
}

DWORD CALLBACK TVideoAudio::StreamProc(HSTREAM, void* buffer, DWORD length, void* user) {
  auto* self = static_cast<TVideoAudio*>(user);
  const DWORD frameBytes = self->channels_ * sizeof(float);
  return self->Read(static_cast<float*>(buffer), length / frameBytes) * frameBytes;
}

DWORD TVideoAudio::Read(float* out, DWORD frames) {
  uint64_t r = readPos_.load(std::memory_order_relaxed);
  const uint64_t flushTo = flushTo_.load(std::memory_order_acquire);
  if (flushTo > r) r = flushTo;
  const uint64_t w = writePos_.load(std::memory_order_acquire);
  const uint64_t n = std::min<uint64_t>(w - r, frames);
  const float g = gain_.load(std::memory_order_relaxed);
  const float gl = g * left_.load(std::memory_order_relaxed);
  const float gr = g * right_.load(std::memory_order_relaxed);
  for (uint64_t k = 0; k < n; ++k) {
    const float* src = &ring_[((r + k) % kRingFrames) * channels_];
    if (channels_ == 2) {
      out[k * 2] = src[0] * gl;
      out[k * 2 + 1] = src[1] * gr;
    } else {
      out[k] = src[0] * g;
    }
  }
  readPos_.store(r + n, std::memory_order_release);
  played_.fetch_add(n, std::memory_order_relaxed);
  return static_cast<DWORD>(n);
}

}  // namespace video
