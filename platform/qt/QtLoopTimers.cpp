// Timers of the UI thread's windows, run by the Qt loop itself (see ThreadTimers in TimerService.h).
#include <QThread>
#include <QTimer>
#include <map>
#include <mutex>
#include <utility>

#include "platform/Messages.h"
#include "platform/TimerService.h"
#include "platform/qt/QtMessageLoop.h"

namespace platform {
namespace {

class QtLoopTimers : public ThreadTimers {
 public:
  void Start(HWND hwnd, uintptr_t id, uint32_t ms) override {
    QTimer* t;
    {
      std::lock_guard lock(mutex_);
      Entry& e = timers_[{hwnd, id}];
      if (!e.timer) {
        // Kept for the window's life and reused: the spectrum timer is set again on every tick.
        e.timer = new QTimer;
        // Coarse: ticks may move by a few per cent to share the loop's wake-ups with other timers.
        e.timer->setTimerType(Qt::CoarseTimer);
        QObject::connect(e.timer, &QTimer::timeout, e.timer, [this, hwnd, id] { Tick(hwnd, id); });
      }
      e.running = true;
      t = e.timer;
    }
    t->start(int(ms));
  }

  bool Stop(HWND hwnd, uintptr_t id) override {
    QTimer* t;
    {
      std::lock_guard lock(mutex_);
      auto it = timers_.find({hwnd, id});
      if (it == timers_.end() || !it->second.running) return false;
      it->second.running = false;  // a tick already under way is dropped (see Tick)
      t = it->second.timer;
    }
    if (t->thread() == QThread::currentThread()) t->stop();
    else QMetaObject::invokeMethod(t, [t] { t->stop(); }, Qt::QueuedConnection);
    return true;
  }

 private:
  struct Entry {
    QTimer* timer = nullptr;
    bool running = false;
  };

  void Tick(HWND hwnd, uintptr_t id) {
    QTimer* t;
    {
      std::lock_guard lock(mutex_);
      auto it = timers_.find({hwnd, id});
      if (it == timers_.end() || !it->second.running) return;
      t = it->second.timer;
      if (!IsWindow(hwnd)) {  // destroyed with its timer still set
        timers_.erase(it);
        t->stop();
        t->deleteLater();
        return;
      }
    }
    MSG m{hwnd, WM_TIMER, id, 0};
    DispatchMessage(&m);
  }

  std::mutex mutex_;  // a leaf lock: never held while a window procedure runs
  std::map<std::pair<HWND, uintptr_t>, Entry> timers_;
};

}  // namespace

void AttachTimersToQtLoop() {
  static thread_local QtLoopTimers* timers = nullptr;
  if (!timers) timers = new QtLoopTimers;  // kept for the process: its QTimers call into it
  SetThreadTimers(timers);
}

}  // namespace platform
