#include "Output.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

namespace orvbass {
namespace {

using Clock = std::chrono::steady_clock;

// Writes what the device would play to a WAV file (16-bit PCM or 32-bit float, stereo).
class WavWriter {
public:
  WavWriter(const char* path, uint32_t freq, bool asFloat) : freq_(freq), float_(asFloat) {
    f_ = std::fopen(path, "wb");
    if (!f_) return;
    // The mixer hands whole blocks of tens of kilobytes: each goes out in one write, without a copy
    // into a stream buffer first.
    std::setvbuf(f_, nullptr, _IONBF, 0);
    WriteHeader();
  }
  ~WavWriter() {
    if (!f_) return;
    WriteHeader();
    std::fclose(f_);
  }
  bool Ok() const { return f_ != nullptr; }
  void Write(const float* s, uint32_t frames) {
    if (!f_) return;
    size_t n = size_t(frames) * 2;
    if (float_) {
      std::fwrite(s, sizeof(float), n, f_);
      bytes_ += n * 4;
    } else {
      tmp_.resize(n);
      ToS16(s, tmp_.data(), n);
      std::fwrite(tmp_.data(), 2, n, f_);
      bytes_ += n * 2;
    }
    // Keep the header current about once a second so a reader mid-way sees a valid file.
    sinceHeader_ += frames;
    if (sinceHeader_ >= freq_) {
      sinceHeader_ = 0;
      long pos = std::ftell(f_);
      WriteHeader();
      std::fseek(f_, pos, SEEK_SET);
    }
  }

  // Rounds to nearest (ties to even) after clamping; not-a-number is silence.
  static void ToS16(const float* s, int16_t* d, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    // Eight at a time: the same results as the loop below (round to nearest is the default mode).
    const __m128 scale = _mm_set1_ps(32768.0f), lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
    for (; i + 8 <= n; i += 8) {
      __m128 a = _mm_mul_ps(_mm_loadu_ps(s + i), scale), b = _mm_mul_ps(_mm_loadu_ps(s + i + 4), scale);
      a = _mm_min_ps(_mm_max_ps(_mm_and_ps(a, _mm_cmpord_ps(a, a)), lo), hi);
      b = _mm_min_ps(_mm_max_ps(_mm_and_ps(b, _mm_cmpord_ps(b, b)), lo), hi);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)));
    }
#endif
    for (; i < n; ++i) {
      const float v = s[i] * 32768.0f;
      d[i] = v == v ? int16_t(std::lrintf(std::clamp(v, -32768.0f, 32767.0f))) : int16_t(0);
    }
  }

private:
  void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
  }
  void WriteHeader() {
    uint8_t h[44];
    uint16_t bits = float_ ? 32 : 16, fmt = float_ ? 3 : 1, ch = 2, align = uint16_t(ch * bits / 8);
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, uint32_t(36 + bytes_));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    h[20] = uint8_t(fmt);
    h[21] = 0;
    h[22] = uint8_t(ch);
    h[23] = 0;
    Put32(h + 24, freq_);
    Put32(h + 28, freq_ * align);
    h[32] = uint8_t(align);
    h[33] = 0;
    h[34] = uint8_t(bits);
    h[35] = 0;
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, uint32_t(bytes_));
    std::fseek(f_, 0, SEEK_SET);
    std::fwrite(h, 1, 44, f_);
    std::fflush(f_);
    std::fseek(f_, 0, SEEK_END);
  }
  FILE* f_ = nullptr;
  uint32_t freq_;
  bool float_;
  uint64_t bytes_ = 0;
  uint32_t sinceHeader_ = 0;
  std::vector<int16_t> tmp_;
};

// A device without hardware: a clock that consumes frames in real time (or N times faster, or
// without limit), optionally capturing them to a WAV file.
class ClockOutput : public Output {
public:
  ClockOutput(uint32_t freq, double speed, std::unique_ptr<WavWriter> capture)
      : freq_(freq), speed_(speed), capture_(std::move(capture)) {
    // No hardware to keep fed: 50 ms blocks, 150 ms queued (positions stay exact either way).
    period_ = speed_ == 0 ? 8192 : std::max<uint32_t>(256, freq / 20);
    target_ = period_ * 3;
    last_ = Clock::now();
  }
  uint64_t Played() override {
    std::lock_guard<std::mutex> lk(m_);
    Advance();
    return uint64_t(played_);
  }
  uint64_t Written() override {
    std::lock_guard<std::mutex> lk(m_);
    return written_;
  }
  uint32_t Room() override {
    std::lock_guard<std::mutex> lk(m_);
    if (speed_ == 0) return period_;
    Advance();
    double queued = double(written_) - played_;
    return queued >= target_ ? 0 : uint32_t(target_ - queued);
  }
  void Write(const float* s, uint32_t frames) override {
    if (capture_) capture_->Write(s, frames);
    std::lock_guard<std::mutex> lk(m_);
    Advance();
    written_ += frames;
    if (speed_ == 0) played_ = double(written_);
  }
  double SecondsUntilRoom(uint32_t frames) override {
    std::lock_guard<std::mutex> lk(m_);
    if (speed_ == 0) return 0;
    Advance();
    double queued = double(written_) - played_;
    double need = queued + frames - target_;
    return need <= 0 ? 0 : need / (freq_ * speed_);
  }
  void SetPaused(bool p) override {
    std::lock_guard<std::mutex> lk(m_);
    Advance();
    paused_ = p;
  }
  uint32_t Period() const override { return period_; }
  bool Unlimited() const override { return speed_ == 0; }
  uint32_t LatencyMs() const override { return speed_ == 0 ? 0 : uint32_t(target_ * 1000ull / freq_); }

private:
  void Advance() {
    auto now = Clock::now();
    double secs = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    if (paused_ || speed_ == 0) return;
    played_ += secs * freq_ * speed_;
    // An underrun loses the time: what is written later plays from then on.
    if (played_ > double(written_)) played_ = double(written_);
  }
  std::mutex m_;
  uint32_t freq_;
  double speed_;  // 0 = unlimited
  std::unique_ptr<WavWriter> capture_;
  uint32_t period_, target_;
  Clock::time_point last_;
  double played_ = 0;
  uint64_t written_ = 0;
  bool paused_ = false;
};

// The few SDL2 functions the fallback output uses. SDL2 (and the libraries it pulls in) is
// loaded only when that output is chosen: most runs play through the sound server or a capture
// and never need it. Loaded once and kept: SDL keeps threads and global state.
struct SdlApi {
  decltype(&::SDL_SetHint) SetHint = nullptr;
  decltype(&::SDL_InitSubSystem) InitSubSystem = nullptr;
  decltype(&::SDL_QuitSubSystem) QuitSubSystem = nullptr;
  decltype(&::SDL_OpenAudioDevice) OpenAudioDevice = nullptr;
  decltype(&::SDL_CloseAudioDevice) CloseAudioDevice = nullptr;
  decltype(&::SDL_PauseAudioDevice) PauseAudioDevice = nullptr;
};

const SdlApi* Sdl() {
  static const SdlApi* loaded = [] () -> const SdlApi* {
    static SdlApi api;
    void* lib = nullptr;
    for (const char* name : {"libSDL2-2.0.so.0", "libSDL2-2.0.so", "libSDL2.so"})
      if ((lib = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
    if (!lib) return nullptr;
    bool ok = true;
    auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
      ok = ok && fn;
    };
    get(api.SetHint, "SDL_SetHint");
    get(api.InitSubSystem, "SDL_InitSubSystem");
    get(api.QuitSubSystem, "SDL_QuitSubSystem");
    get(api.OpenAudioDevice, "SDL_OpenAudioDevice");
    get(api.CloseAudioDevice, "SDL_CloseAudioDevice");
    get(api.PauseAudioDevice, "SDL_PauseAudioDevice");
    return ok ? &api : nullptr;
  }();
  return loaded;
}

// SDL2 output: the mixer writes into a single-producer single-consumer ring; the callback reads it.
class SdlOutput : public Output {
public:
  ~SdlOutput() override {
    if (!sdl_) return;
    if (dev_) sdl_->CloseAudioDevice(dev_);
    if (inited_) sdl_->QuitSubSystem(SDL_INIT_AUDIO);
  }
  bool Open(uint32_t freq) {
    sdl_ = Sdl();
    if (!sdl_) return false;
    // A library must not take the process's SIGINT/SIGTERM away from its program.
    sdl_->SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (sdl_->InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    inited_ = true;
    SDL_AudioSpec want{}, have{};
    want.freq = int(freq);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 2048;  // 46 ms: a player needs no lower latency, and wakes up half as often
    want.callback = &SdlOutput::Callback;
    want.userdata = this;
    dev_ = sdl_->OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!dev_) return false;
    freq_ = freq;
    period_ = have.samples ? have.samples : 1024;
    target_ = period_ * 3;
    cap_ = 1;
    while (cap_ < target_ * 2) cap_ <<= 1;
    ring_.assign(size_t(cap_) * 2, 0.0f);
    sdl_->PauseAudioDevice(dev_, 0);
    return true;
  }
  uint64_t Played() override { return read_.load(std::memory_order_acquire); }
  uint64_t Written() override { return write_.load(std::memory_order_acquire); }
  uint32_t Room() override {
    uint64_t q = write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
    return q >= target_ ? 0 : uint32_t(target_ - q);
  }
  void Write(const float* s, uint32_t frames) override {
    uint64_t w = write_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < frames; ++i) {
      size_t at = size_t((w + i) & (cap_ - 1)) * 2;
      ring_[at] = s[2 * i];
      ring_[at + 1] = s[2 * i + 1];
    }
    write_.store(w + frames, std::memory_order_release);
    idle_.store(false, std::memory_order_relaxed);
  }
  double SecondsUntilRoom(uint32_t frames) override {
    uint64_t q = write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
    double need = double(q) + frames - target_;
    return need <= 0 ? 0 : need / freq_;
  }
  void SetPaused(bool p) override { sdl_->PauseAudioDevice(dev_, p ? 1 : 0); }
  void Idle() override { idle_.store(true, std::memory_order_relaxed); }
  uint64_t Underruns() const override { return underruns_.load(std::memory_order_relaxed); }
  uint32_t Period() const override { return period_; }
  uint32_t LatencyMs() const override { return uint32_t(target_ * 1000ull / freq_); }

private:
  static void Callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<SdlOutput*>(user);
    float* out = reinterpret_cast<float*>(stream);
    uint32_t want = uint32_t(len) / 8;
    uint64_t r = self->read_.load(std::memory_order_relaxed);
    uint64_t w = self->write_.load(std::memory_order_acquire);
    uint32_t have = uint32_t(std::min<uint64_t>(w - r, want));
    for (uint32_t i = 0; i < have; ++i) {
      size_t at = size_t((r + i) & (self->cap_ - 1)) * 2;
      out[2 * i] = self->ring_[at];
      out[2 * i + 1] = self->ring_[at + 1];
    }
    std::memset(out + 2 * have, 0, size_t(want - have) * 8);  // underrun: silence
    self->read_.store(r + have, std::memory_order_release);
    if (have < want && !self->idle_.load(std::memory_order_relaxed))
      self->underruns_.fetch_add(1, std::memory_order_relaxed);
  }
  const SdlApi* sdl_ = nullptr;
  SDL_AudioDeviceID dev_ = 0;
  bool inited_ = false;
  uint32_t freq_ = 44100, period_ = 1024, target_ = 3072, cap_ = 0;
  std::vector<float> ring_;
  std::atomic<uint64_t> read_{0}, write_{0};
  std::atomic<bool> idle_{true};
  std::atomic<uint64_t> underruns_{0};
};

}  // namespace

std::unique_ptr<Output> OpenOutput(int device, uint32_t freq) {
  const char* capture = std::getenv("ORVELLA_BASS_CAPTURE");
  if (device != 0 && capture && *capture) {
    const char* fast = std::getenv("ORVELLA_BASS_CAPTURE_FAST");
    const char* fl = std::getenv("ORVELLA_BASS_CAPTURE_FLOAT");
    double speed = 1.0;
    if (fast && *fast) {
      double n = std::atof(fast);
      speed = n >= 2 ? n : (n > 0 ? 0 : 1.0);
    }
    auto w = std::make_unique<WavWriter>(capture, freq, fl && *fl == '1');
    if (!w->Ok()) return nullptr;
    return std::make_unique<ClockOutput>(freq, speed, std::move(w));
  }
  const char* forced = std::getenv("ORVELLA_BASS_OUTPUT");
  bool silentForced = forced && std::strcmp(forced, "silent") == 0;
  bool sdlForced = forced && std::strcmp(forced, "sdl") == 0;
  bool hung = false;
  if (device != 0 && !silentForced && !sdlForced) {
    if (auto pulse = OpenPulseOutput(freq, &hung)) return pulse;
  }
  // SDL would talk to the same hung server (directly or through ALSA's default) with no time limit.
  if (hung) std::fprintf(stderr, "bass: the sound server does not answer; playing without sound\n");
  if (device != 0 && !silentForced && !hung) {
    auto sdl = std::make_unique<SdlOutput>();
    if (sdl->Open(freq)) return sdl;
  }
  return std::make_unique<ClockOutput>(freq, 1.0, nullptr);
}

}  // namespace orvbass
