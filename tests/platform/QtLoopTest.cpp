// The UI thread's queue drained by the Qt event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/Messages.h"
#include "platform/qt/QtMessageLoop.h"

using namespace platform;

TEST(QtMessageLoop, PostsFromOtherThreadsAreDispatchedByTheEventLoop) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  AttachQueueToQtLoop();
  std::vector<WPARAM> seen;
  HWND hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m == WM_USER) seen.push_back(w);
    if (m == WM_USER + 1) QCoreApplication::quit();
    return LRESULT(w + 1);
  });
  std::atomic<LRESULT> sent{0};
  std::thread worker([&] {
    for (WPARAM i = 0; i < 50; ++i) PostMessage(hwnd, WM_USER, i, 0);
    sent = SendMessage(hwnd, WM_USER + 2, 41, 0);  // answered from the event loop
    PostMessage(hwnd, WM_USER + 1, 0, 0);
  });
  QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(3); });  // a safety net, not a timing check
  int rc = app.exec();
  worker.join();
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(seen.size(), 50u);
  for (WPARAM i = 0; i < 50; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_EQ(sent.load(), 42);

  // Pumping inside a wait on the UI thread runs the Qt loop and the queue.
  bool timerFired = false;
  QTimer::singleShot(0, &app, [&] { timerFired = true; });
  PostMessage(hwnd, WM_USER, 99, 0);
  for (int i = 0; i < 50 && !(timerFired && seen.size() == 51); ++i) PumpAndSleep(5);
  EXPECT_TRUE(timerFired);
  ASSERT_EQ(seen.size(), 51u);
  DestroyWindow(hwnd);
}
