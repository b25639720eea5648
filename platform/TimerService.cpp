#include "platform/TimerService.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds TimerGrid(std::chrono::milliseconds period) {
  return std::min(period, std::chrono::milliseconds(100));
}

Clock::time_point FirstTimerTick(Clock::time_point now, std::chrono::milliseconds period) {
  const auto grid = std::chrono::duration_cast<Clock::duration>(TimerGrid(period));
  if (grid.count() <= 0) return now + period;
  // Nearest grid point: a timer set again from its own tick (a little after a grid point) keeps
  // its step instead of slipping one grid step behind.
  const auto target = (now + period).time_since_epoch() + grid / 2;
  return Clock::time_point(target - target % grid);
}

namespace {

class TimerService {
 public:
  static TimerService& Get() {
    static TimerService* s = new TimerService;  // never destroyed, like the window registry
    return *s;
  }
  bool Set(HWND hwnd, uintptr_t id, uint32_t ms) {
    if (!IsWindow(hwnd) || ms == 0) return false;
    const uint32_t owner = GetWindowThreadId(hwnd);
    ThreadTimers* local = LoopTimers(owner);
    if (local && owner == GetCurrentThreadId()) {
      {
        std::lock_guard lock(mutex_);
        timers_.erase({reinterpret_cast<uintptr_t>(hwnd), id});
      }
      local->Start(hwnd, id, ms);
      return true;
    }
    if (local) local->Stop(hwnd, id);
    std::lock_guard lock(mutex_);
    Timer& t = timers_[{reinterpret_cast<uintptr_t>(hwnd), id}];
    t.period = std::chrono::milliseconds(ms);
    t.due = FirstTimerTick(Clock::now(), t.period);
    t.pending = false;
    if (!started_) {
      started_ = true;
      std::thread([this] { Run(); }).detach();
    }
    // Only an earlier deadline needs the thread awake now.
    if (t.due < sleepingUntil_) cv_.notify_all();
    return true;
  }
  bool Kill(HWND hwnd, uintptr_t id) {
    ThreadTimers* local = LoopTimers(GetWindowThreadId(hwnd));
    bool stopped = local && local->Stop(hwnd, id);
    std::lock_guard lock(mutex_);
    // The thread may sleep on past the killed timer's tick: it then finds nothing to do and
    // sleeps on (cheaper than waking it for every kill).
    return timers_.erase({reinterpret_cast<uintptr_t>(hwnd), id}) > 0 || stopped;
  }
  void SetLoopTimers(uint32_t thread, ThreadTimers* timers) {
    std::lock_guard lock(loopMutex_);
    if (timers) loop_[thread] = timers;
    else loop_.erase(thread);
  }
  void Taken(HWND hwnd, uintptr_t id) {
    std::lock_guard lock(mutex_);
    auto it = timers_.find({reinterpret_cast<uintptr_t>(hwnd), id});
    if (it != timers_.end()) it->second.pending = false;
  }

 private:
  struct Timer {
    std::chrono::milliseconds period{0};
    Clock::time_point due;
    bool pending = false;  // a WM_TIMER of it waits in its thread's queue
  };
  ThreadTimers* LoopTimers(uint32_t thread) {
    if (thread == 0) return nullptr;
    std::lock_guard lock(loopMutex_);
    auto it = loop_.find(thread);
    return it == loop_.end() ? nullptr : it->second;
  }
  void Run() {
    pthread_setname_np(pthread_self(), "timers");
    std::unique_lock lock(mutex_);
    std::vector<std::pair<uintptr_t, uintptr_t>> fire;
    for (;;) {
      auto now = Clock::now();
      auto next = Clock::time_point::max();
      fire.clear();
      for (auto it = timers_.begin(); it != timers_.end();) {
        Timer& t = it->second;
        if (t.due <= now) {
          if (!IsWindow(reinterpret_cast<HWND>(it->first.first))) {
            it = timers_.erase(it);
            continue;
          }
          if (!t.pending) {
            t.pending = true;
            fire.push_back(it->first);
          }
          while (t.due <= now) t.due += t.period;
        }
        next = std::min(next, t.due);
        ++it;
      }
      if (!fire.empty()) {
        lock.unlock();
        for (auto& [w, id] : fire) PostMessage(reinterpret_cast<HWND>(w), WM_TIMER, id, 0);
        lock.lock();
        continue;  // timers may have changed meanwhile: look again before sleeping
      }
      sleepingUntil_ = next;
      if (next == Clock::time_point::max()) cv_.wait(lock);
      else cv_.wait_until(lock, next);
      sleepingUntil_ = Clock::time_point::min();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  // Guarded by mutex_:
  std::map<std::pair<uintptr_t, uintptr_t>, Timer> timers_;
  Clock::time_point sleepingUntil_ = Clock::time_point::min();  // min while the thread is awake
  bool started_ = false;
  std::mutex loopMutex_;  // a leaf lock
  std::map<uint32_t, ThreadTimers*> loop_;  // guarded by loopMutex_
};

}  // namespace

void SetThreadTimers(ThreadTimers* timers) { TimerService::Get().SetLoopTimers(GetCurrentThreadId(), timers); }
void NoteTimerTaken(HWND hwnd, uintptr_t id) { TimerService::Get().Taken(hwnd, id); }
bool SetTimer(HWND hwnd, uintptr_t id, uint32_t ms) { return TimerService::Get().Set(hwnd, id, ms); }
bool KillTimer(HWND hwnd, uintptr_t id) { return TimerService::Get().Kill(hwnd, id); }

}  // namespace platform
