// Binds the calling thread's message queue to the Qt event loop: a message
// posted to it from any thread schedules a drain in the loop (without blocking
// the poster), and PumpMessages on it runs QCoreApplication::processEvents.
// Call once on the UI thread after the QCoreApplication exists.
#pragma once

namespace platform {
void AttachQueueToQtLoop();
// Timers the calling thread sets on its own windows tick in its Qt loop (AttachQueueToQtLoop does this).
void AttachTimersToQtLoop();
}
