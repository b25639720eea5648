#include "engine/VisDataThread.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/Dynamic_Bass.h"
#include "plugins/PluginCtrl.h"
#include "plugins/VisDrive2.h"

namespace engine {

namespace {
constexpr int kMinPeriodMs = 10;
constexpr int kSkipsBeforeNotice = 20;
constexpr int kStreamPlugin = 6;

uint64_t ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

// Signed 8-bit sample of a 16-bit one (its high byte) or of an unsigned 8-bit one.
inline uint8_t WaveByte(const uint8_t* raw, size_t sampleIndex, bool eightBit) {
  if (eightBit) return uint8_t(int(raw[sampleIndex]) - 128);
  int16_t s;
  std::memcpy(&s, raw + 2 * sampleIndex, 2);
  return uint8_t(int8_t(s >> 8));
}
}  // namespace

TVisDataThread::TVisDataThread(TBassCore& bass, plugins::TVisSharedRecord& shared, platform::UINT message)
    : bass_(bass), shared_(shared), message_(message) {
  try {
    thread_ = std::thread([this] { Main(); });
  } catch (...) {
    // Without the thread no plug-in visualisation runs; Ready() says so.
  }
}

TVisDataThread::~TVisDataThread() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TVisDataThread::SetScale(uint16_t scale) {
  std::lock_guard lock(mutex_);
  settings_.scale = scale;
}

void TVisDataThread::Configure(int, int delayMs, int spectrumNch, int waveformNch) {
  {
    std::lock_guard lock(mutex_);
    settings_.spectrumNch = std::clamp(spectrumNch, 0, 2);
    settings_.waveformNch = std::clamp(waveformNch, 0, 2);
    int period = std::max(delayMs, kMinPeriodMs);
    if (period != periodMs_.load()) {
      periodMs_ = period;
      restart_ = true;
    }
  }
  cv_.notify_all();
}

void TVisDataThread::SetTargetThread(uint32_t threadId) {
  std::lock_guard lock(mutex_);
  settings_.target = threadId;
}

void TVisDataThread::SetStream(int kind, uint32_t decodeChannel, int channels, int sampleRate, uint32_t outputChannel,
                               bool dualChannel) {
  std::lock_guard lock(mutex_);
  settings_.kind = kind;
  settings_.decode = decodeChannel;
  settings_.channels = channels;
  settings_.rate = sampleRate;
  settings_.output = outputChannel;
  settings_.dual = dualChannel;
}

void TVisDataThread::SetMode(int mode) {
  std::lock_guard lock(mutex_);
  settings_.mode = mode;
}

void TVisDataThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    if (!suspended_.load()) return;
    suspended_ = false;
    restart_ = true;
  }
  cv_.notify_all();
}

void TVisDataThread::Suspend() {
  // The thread sees it before its next frame; a frame in work finishes.
  std::lock_guard lock(mutex_);
  suspended_ = true;
}

void TVisDataThread::ResetFrameState() {
  std::lock_guard lock(shared_.Lock);
  skipCount_ = 0;
  shared_.NewData = false;
}

void TVisDataThread::PostNotice(platform::WPARAM code, platform::LPARAM value) {
  uint32_t target;
  {
    std::lock_guard lock(mutex_);
    target = settings_.target;
  }
  if (target) platform::PostThreadMessage(target, message_, code, value);
}

void TVisDataThread::Main() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  Clock::time_point due{};
  for (;;) {
    // Parked: no wake-ups until resumed or ended.
    cv_.wait(lock, [&] { return quit_ || !suspended_.load(); });
    if (quit_) return;
    if (restart_) {
      restart_ = false;
      due = Clock::now() + std::chrono::milliseconds(periodMs_.load());
    }
    // Waits for the due time; a change of period or a suspension wakes it early.
    if (cv_.wait_until(lock, due, [&] { return quit_ || restart_ || suspended_.load(); })) continue;
    due += std::chrono::milliseconds(periodMs_.load());
    Clock::time_point now = Clock::now();
    if (due <= now) due = now + std::chrono::milliseconds(periodMs_.load());  // late: no burst of frames
    lock.unlock();
    uint64_t before = ThreadCpuNs();
    ProduceFrame();
    cpuNs_ += ThreadCpuNs() - before;
    lock.lock();
  }
}

int TVisDataThread::PositionMs(const Settings& s) {
  if (s.kind == kStreamPlugin) {
    // From the output emulator: the input plug-in is not called from this thread.
    if (s.mode == 1) return 0;
    Out_Module* out = plugins::OutputModule();
    return out && out->GetOutputTime ? std::max(0, out->GetOutputTime()) : 0;
  }
  if (s.kind < 1 || s.kind > 5 || !s.decode) return 0;
  QWORD pos = bass_.BASS_ChannelGetPosition(s.decode, BASS_POS_BYTE);
  if (pos == QWORD(-1) || pos == 0) return 0;
  if (s.dual && s.output && s.output != s.decode) {
    DWORD buffered = bass_.BASS_ChannelGetData(s.output, nullptr, BASS_DATA_AVAILABLE);
    QWORD waiting = QWORD(plugins::RingUsed()) + (buffered == DWORD(-1) ? 0 : buffered);
    if (waiting >= pos) return 0;
    pos -= waiting;
  }
  double sec = bass_.BASS_ChannelBytes2Seconds(s.decode, pos);
  return sec > 0 ? int(std::lround(sec * 1000)) : 0;
}

bool TVisDataThread::ProduceFrame() {
  Settings s;
  {
    std::lock_guard lock(mutex_);
    s = settings_;
  }
  if (!s.output || !s.target) return false;
  if (bass_.BASS_ChannelIsActive(s.output) != BASS_ACTIVE_PLAYING) return false;
  BASS_CHANNELINFO ci{};
  if (!bass_.BASS_ChannelGetInfo(s.output, &ci) || ci.chans == 0) return false;
  const int channels = int(ci.chans);
  const bool eightBit = (ci.flags & BASS_SAMPLE_8BITS) != 0;
  DWORD available = bass_.BASS_ChannelGetData(s.output, nullptr, BASS_DATA_AVAILABLE);
  if (available == DWORD(-1) || available < DWORD(channels) * 2048) return false;

  bool post57 = false, skip = false;
  {
    std::lock_guard lock(shared_.Lock);
    if (shared_.NewData) {
      skip = true;
      ++skipped_;
      if (++skipCount_ >= kSkipsBeforeNotice) {
        skipCount_ = 0;
        // Not again while one is pending: the drive thread clears it when it handles it.
        if (!shared_.ClearPending) post57 = shared_.ClearPending = true;
      }
    }
  }
  if (post57) platform::PostThreadMessage(s.target, message_, plugins::vcClearNew, 0);
  if (skip) return false;

  // Built without any lock: library calls and FFTs can take a while.
  uint8_t frame[4 * plugins::kVisBins];
  size_t at = 0;
  const int position = PositionMs(s);
  if (s.spectrumNch > 0) {
    // Two channels of a 2048-point FFT give 2 x 1024 floats: sized for what the library may return.
    static thread_local float fft[2 * 1024];
    auto toBytes = [&](const float* mag, size_t stride, size_t count) {
      for (int i = 0; i < plugins::kVisBins; ++i) {
        size_t bin = size_t(i + 1);
        float m = bin < count ? mag[bin * stride] : 0.0f;
        double v = std::trunc(double(s.scale) * double(m));
        frame[at++] = uint8_t(std::clamp(v, 0.0, 255.0));
      }
    };
    if (s.spectrumNch == 2 && channels == 2) {
      DWORD got = bass_.BASS_ChannelGetData(s.output, fft, BASS_DATA_FFT2048 | BASS_DATA_FFT_INDIVIDUAL);
      size_t floats = got == DWORD(-1) ? 0 : std::min<size_t>(got / sizeof(float), 2 * 1024);
      if (floats == 0) std::memset(fft, 0, sizeof(fft));
      toBytes(fft, 2, floats / 2);      // left: even positions
      toBytes(fft + 1, 2, floats / 2);  // right: odd positions
    } else {
      DWORD got = bass_.BASS_ChannelGetData(s.output, fft, BASS_DATA_FFT2048);
      size_t floats = got == DWORD(-1) ? 0 : std::min<size_t>(got / sizeof(float), 2 * 1024);
      toBytes(fft, 1, floats);
      if (s.spectrumNch == 2) {
        std::memcpy(frame + at, frame + at - plugins::kVisBins, plugins::kVisBins);
        at += plugins::kVisBins;
      }
    }
  }
  if (s.waveformNch > 0 && channels <= 8) {
    static thread_local uint8_t raw[8 * 576 * 2];
    const DWORD sampleBytes = eightBit ? 1 : 2;
    const DWORD want = DWORD(channels) * 576 * sampleBytes;
    DWORD got = bass_.BASS_ChannelGetData(s.output, raw, want);
    size_t frames = got == DWORD(-1) ? 0 : got / (sampleBytes * DWORD(channels));
    for (int ch = 0; ch < s.waveformNch; ++ch) {
      // A mono stream repeats its one channel.
      int source = channels == 1 ? 0 : ch;
      for (int i = 0; i < plugins::kVisBins; ++i)
        frame[at++] = size_t(i) < frames ? WaveByte(raw, size_t(i) * channels + source, eightBit) : 0;
    }
  }

  {
    std::lock_guard lock(shared_.Lock);
    std::memcpy(shared_.Data, frame, at);
    shared_.FrameRate = int32_t(ci.freq);
    shared_.FrameChannels = std::min(channels, 2);
    shared_.Position = position;
    shared_.SpectrumNch = s.spectrumNch;
    shared_.WaveformNch = channels <= 8 ? s.waveformNch : 0;
    shared_.NewData = true;
    skipCount_ = 0;
  }
  ++produced_;
  platform::PostThreadMessage(s.target, message_, plugins::vcRender, 0);
  return true;
}

}  // namespace engine
