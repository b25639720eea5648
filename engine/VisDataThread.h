// TVisDataThread: produces the spectrum and waveform frames a running
// visualisation module renders, at the period the module asks for.
//
// Threads: every public function runs on the UI thread (the engine's), except
// ProduceFrame, which the thread itself calls (tests call it directly too).
// The thread parks while suspended (no wake-ups) and between frames waits for
// the next period; it parks only between frames, never inside one. The stream
// copy and the settings are read at the start of each frame under a short
// lock; the frame is built without any lock and published into the shared
// record under the record's lock, then notice 10 is posted to the target thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/Messages.h"
#include "plugins/VisTypes.h"

namespace engine {

class TBassCore;

class TVisDataThread {
 public:
  TVisDataThread(TBassCore& bass, plugins::TVisSharedRecord& shared, platform::UINT message);
  ~TVisDataThread();
  TVisDataThread(const TVisDataThread&) = delete;
  TVisDataThread& operator=(const TVisDataThread&) = delete;

  // The thread exists (made at construction; false only when it could not be made).
  bool Ready() const { return thread_.joinable(); }

  void SetScale(uint16_t scale);
  // From the module's timing record (code 55); a period below 10 ms becomes 10.
  void Configure(int latencyMs, int delayMs, int spectrumNch, int waveformNch);
  void SetTargetThread(uint32_t threadId);
  // kind: the engine's stream kind (1..5 library channels, 6 input plug-in).
  void SetStream(int kind, uint32_t decodeChannel, int channels, int sampleRate, uint32_t outputChannel,
                 bool dualChannel);
  void SetMode(int mode);
  // Runs frames from `delayMs` from now (the first after 250 ms more, as the timer's first due time).
  void Resume();
  void Suspend();
  bool Suspended() const { return suspended_.load(); }
  // Resets the skip count and the shared frame-ready flag (before a delayed resume).
  void ResetFrameState();
  void PostNotice(platform::WPARAM code, platform::LPARAM value);

  int PeriodMs() const { return periodMs_.load(); }
  uint64_t FramesProduced() const { return produced_.load(); }
  uint64_t FramesSkipped() const { return skipped_.load(); }
  // CPU time the thread spent producing frames, in nanoseconds (benchmarks).
  uint64_t FrameCpuNs() const { return cpuNs_.load(); }

  // One frame as the thread makes it; true when a frame was published.
  bool ProduceFrame();

 private:
  struct Settings {
    int kind = 0;
    uint32_t decode = 0, output = 0;
    int channels = 0, rate = 0;
    bool dual = false;
    int mode = 0;
    int spectrumNch = 0, waveformNch = 0;
    uint16_t scale = 512;
    uint32_t target = 0;
  };
  void Main();
  int PositionMs(const Settings& s);

  TBassCore& bass_;
  plugins::TVisSharedRecord& shared_;
  const platform::UINT message_;

  std::mutex mutex_;  // guards settings_, the flags below and the condition
  std::condition_variable cv_;
  Settings settings_;
  bool quit_ = false;
  bool restart_ = false;  // the period changed or the thread was resumed: due times start again
  std::atomic<bool> suspended_{true};
  std::atomic<int> periodMs_{10};
  int skipCount_ = 0;  // guarded by the shared record's lock
  std::atomic<uint64_t> produced_{0}, skipped_{0}, cpuNs_{0};
  std::thread thread_;
};

}  // namespace engine
