#include "platform/qt/QtMessageLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>
#include <memory>

#include "platform/Messages.h"

namespace platform {

void AttachQueueToQtLoop() {
  // One drain scheduled at a time: many posts coalesce into one queued call.
  auto pending = std::make_shared<std::atomic<bool>>(false);
  QCoreApplication* app = QCoreApplication::instance();
  SetQueueWaker([pending, app] {
    if (pending->exchange(true)) return;
    QMetaObject::invokeMethod(
        app,
        [pending] {
          pending->store(false);
          DrainQueue();
        },
        Qt::QueuedConnection);
  });
  SetPumpHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
}

}  // namespace platform
