#include "platform/qt/QtMessageLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/Messages.h"

namespace platform {

namespace {
// Qt hands a queued call to the loop's thread under its own futex, which the thread
// sanitizer cannot see; this lock, held while the call is built and posted and taken
// before the call reads its captures, is a hand-over it can see (one uncontended lock
// per drain).
std::mutex g_handOver;
}  // namespace

void AttachQueueToQtLoop() {
  // One drain scheduled at a time: many posts coalesce into one queued call.
  auto pending = std::make_shared<std::atomic<bool>>(false);
  QCoreApplication* app = QCoreApplication::instance();
  SetQueueWaker([pending, app] {
    if (pending->exchange(true)) return;
    std::lock_guard lock(g_handOver);
    QMetaObject::invokeMethod(
        app,
        [pending] {
          { std::lock_guard lock(g_handOver); }
          pending->store(false);
          DrainQueue();
        },
        Qt::QueuedConnection);
  });
  SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
  AttachTimersToQtLoop();
}

}  // namespace platform
