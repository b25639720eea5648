// Timers of the UI thread's own windows tick in the Qt loop, without the timer thread and the queue.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/Messages.h"
#include "platform/qt/QtMessageLoop.h"

using namespace platform;

TEST(QtLoopTimers, OwnWindowTimersTickInTheLoopAndStopWhenKilledFromAnyThread) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  AttachQueueToQtLoop();
  // Posts to this thread are counted and not drained: a tick that came as a posted message would
  // never be seen, and would show here.
  std::atomic<int> wakes{0};
  SetQueueWaker([&] { wakes++; });

  int ticks = 0, otherTicks = 0;
  HWND hwnd = nullptr;
  hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m == WM_TIMER && w == 3 && ++ticks == 3) {
      // Set again from its own tick (as the spectrum timer is), then killed from another thread.
      EXPECT_TRUE(SetTimer(hwnd, 3, 5));
      bool killed = false;
      std::thread([&] { killed = KillTimer(hwnd, 3); }).join();
      EXPECT_TRUE(killed);
    }
    if (m == WM_TIMER && w == 4 && ++otherTicks == 5) QCoreApplication::quit();
    return 0;
  });
  ASSERT_TRUE(SetTimer(hwnd, 3, 5));
  ASSERT_TRUE(SetTimer(hwnd, 4, 5));
  QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(3); });  // a safety net, not a timing check
  EXPECT_EQ(app.exec(), 0);
  EXPECT_EQ(ticks, 3);  // nothing after the kill from the other thread
  EXPECT_EQ(wakes.load(), 0);
  EXPECT_TRUE(KillTimer(hwnd, 4));
  EXPECT_FALSE(KillTimer(hwnd, 4));
  EXPECT_FALSE(KillTimer(hwnd, 3));

  // A window destroyed with its timer set gets no tick afterwards.
  int lateTicks = 0;
  HWND gone = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_TIMER) ++lateTicks;
    return 0;
  });
  ASSERT_TRUE(SetTimer(gone, 1, 1));
  DestroyWindow(gone);
  QTimer::singleShot(50, &app, [] { QCoreApplication::quit(); });
  app.exec();
  EXPECT_EQ(lateTicks, 0);

  // A timer another thread sets on this thread's window goes through the timer thread and the queue.
  std::thread([&] { EXPECT_TRUE(SetTimer(hwnd, 9, 5)); }).join();
  MSG m{};
  bool posted = false;
  for (int i = 0; i < 400 && !posted; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    while (PeekMessage(&m, true))
      if (m.message == WM_TIMER && m.wParam == 9) posted = true;
  }
  EXPECT_TRUE(posted);
  EXPECT_TRUE(KillTimer(hwnd, 9));
  DestroyWindow(hwnd);
}
