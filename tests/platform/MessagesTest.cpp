#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;

namespace {

// Runs a message loop on its own thread; `setup` runs on that thread first.
class LoopThread {
 public:
  explicit LoopThread(std::function<void()> setup = {}) {
    std::promise<uint32_t> ready;
    auto f = ready.get_future();
    thread_ = std::thread([this, setup, &ready] {
      if (setup) setup();
      ready.set_value(GetCurrentThreadId());
      MSG m;
      while (GetMessage(&m)) {
        if (m.hwnd) DispatchMessage(&m);
        else threadMessages_.push_back(m);
      }
    });
    id_ = f.get();
  }
  ~LoopThread() { Stop(); }
  void Stop() {
    if (thread_.joinable()) {
      PostThreadMessage(id_, WM_QUIT, 0, 0);
      thread_.join();
    }
  }
  uint32_t Id() const { return id_; }
  std::vector<MSG> threadMessages_;  // read only after Stop()

 private:
  std::thread thread_;
  uint32_t id_ = 0;
};

}  // namespace

TEST(Messages, PostedMessagesArriveInOrderOnTheOwnerThread) {
  std::vector<std::pair<UINT, WPARAM>> seen;
  std::thread::id ownerThread;
  HWND hwnd = nullptr;
  LoopThread loop([&] {
    ownerThread = std::this_thread::get_id();
    hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
      EXPECT_EQ(std::this_thread::get_id(), ownerThread);
      seen.emplace_back(m, w);
      return 0;
    });
  });
  for (WPARAM i = 0; i < 200; ++i) ASSERT_TRUE(PostMessage(hwnd, WM_USER + 1, i, 0));
  SendMessage(hwnd, WM_USER + 2, 0, 0);  // a send is answered after nothing: posts may still be queued
  PostMessage(hwnd, WM_USER + 3, 0, 0);
  loop.Stop();
  ASSERT_EQ(seen.size(), 202u);
  size_t posted = 0;
  for (auto& [m, w] : seen)
    if (m == WM_USER + 1) {
      EXPECT_EQ(w, posted++);
    }
  EXPECT_EQ(posted, 200u);
  EXPECT_EQ(seen.back().first, WM_USER + 3u);
}

TEST(Messages, SendOnTheSameThreadCallsTheProcedureDirectly) {
  int calls = 0;
  HWND hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    ++calls;
    return LRESULT(m + w + l);
  });
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 5, 7), LRESULT(WM_USER + 12));
  EXPECT_EQ(calls, 1);
  DestroyWindow(hwnd);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 1, 1), 0);
  EXPECT_FALSE(PostMessage(hwnd, WM_USER, 1, 1));
}

TEST(Messages, SendAcrossThreadsWaitsForTheAnswer) {
  HWND hwnd = nullptr;
  std::atomic<int> handled{0};
  LoopThread loop([&] {
    hwnd = CreateMessageWindow([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
      std::this_thread::sleep_for(20ms);
      handled++;
      return LRESULT(w * 2);
    });
  });
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 21, 0), 42);
  EXPECT_EQ(handled.load(), 1);  // the answer came after the handler ran
}

TEST(Messages, AThreadWaitingInASendAnswersSendsMadeToIt) {
  // Thread A sends to B; B's handler sends back to A while A waits.
  HWND windowOfMain = CreateMessageWindow([](HWND, UINT, WPARAM w, LPARAM) -> LRESULT { return LRESULT(w + 1); });
  HWND windowOfB = nullptr;
  LoopThread b([&] {
    windowOfB = CreateMessageWindow([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
      return SendMessage(windowOfMain, WM_USER, w * 10, 0);
    });
  });
  EXPECT_EQ(SendMessage(windowOfB, WM_USER, 4, 0), 41);
  DestroyWindow(windowOfMain);
}

TEST(Messages, ManyThreadsSendingToOneWindowAllGetTheirAnswers) {
  HWND hwnd = nullptr;
  int counter = 0;  // touched only on the loop thread
  LoopThread loop([&] {
    hwnd = CreateMessageWindow([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
      ++counter;
      return LRESULT(w);
    });
  });
  std::vector<std::thread> senders;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    senders.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i)
        if (SendMessage(hwnd, WM_USER, WPARAM(t * 1000 + i), 0) != t * 1000 + i) wrong++;
    });
  for (auto& s : senders) s.join();
  loop.Stop();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(counter, 400);
}

TEST(Messages, SendToAThreadThatEndsDoesNotHang) {
  HWND hwnd = nullptr;
  std::promise<void> created;
  std::atomic<bool> leave{false};
  std::thread t([&] {
    hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; });
    created.set_value();
    while (!leave) std::this_thread::sleep_for(1ms);  // never pumps; ends with the send pending
  });
  created.get_future().wait();
  auto answer = std::async(std::launch::async, [&] { return SendMessage(hwnd, WM_USER, 0, 0); });
  std::this_thread::sleep_for(20ms);
  leave = true;
  t.join();
  ASSERT_EQ(answer.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(answer.get(), 0);
}

TEST(Messages, PumpingInsideAWaitDispatchesPostsAndAnswersSends) {
  std::atomic<int> posted{0};
  HWND hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_USER + 1) posted++;
    return 99;
  });
  std::atomic<LRESULT> sendAnswer{0};
  std::thread other([&] {
    PostMessage(hwnd, WM_USER + 1, 0, 0);
    sendAnswer = SendMessage(hwnd, WM_USER + 2, 0, 0);  // answered only because the waiter pumps
    PostMessage(hwnd, WM_USER + 1, 0, 0);
  });
  // The kind of wait the engine does: rounds of pump and sleep until a condition holds.
  int rounds = 0;
  while (posted.load() < 2 && rounds < 250) {
    PumpAndSleep(20);
    ++rounds;
  }
  other.join();
  EXPECT_EQ(posted.load(), 2);
  EXPECT_EQ(sendAnswer.load(), 99);
  DestroyWindow(hwnd);
}

namespace {
std::atomic<int> g_subclassCalls{0};
WNDPROC g_oldProc = nullptr;
LRESULT SubclassProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  g_subclassCalls++;
  if (m == WM_USER + 7) return 777;
  return CallWindowProc(g_oldProc, h, m, w, l);
}
LRESULT PlainProc(HWND, UINT m, WPARAM, LPARAM) { return m == WM_USER ? 1 : 0; }
}  // namespace

TEST(Messages, ReplacingTheWindowProcedureReturnsTheOldOne) {
  g_subclassCalls = 0;
  HWND hwnd = CreateMessageWindow([](HWND, UINT m, WPARAM, LPARAM) -> LRESULT { return m == WM_USER ? 11 : 12; });
  WNDPROC original = GetWindowProc(hwnd);
  g_oldProc = SetWindowProc(hwnd, &SubclassProc);
  EXPECT_EQ(g_oldProc, original);
  EXPECT_EQ(SendMessage(hwnd, WM_USER + 7, 0, 0), 777);  // handled by the new procedure
  EXPECT_EQ(SendMessage(hwnd, WM_USER, 0, 0), 11);       // passed on to the old one
  EXPECT_EQ(g_subclassCalls.load(), 2);
  EXPECT_EQ(SetWindowProc(hwnd, original), &SubclassProc);  // restoring gives back the replacement
  EXPECT_EQ(SendMessage(hwnd, WM_USER + 7, 0, 0), 12);
  EXPECT_EQ(g_subclassCalls.load(), 2);
  DestroyWindow(hwnd);

  int data = 3;
  HWND plain = CreateProcWindow(&PlainProc, &data);
  EXPECT_EQ(GetWindowUserData(plain), &data);
  EXPECT_EQ(SendMessage(plain, WM_USER, 0, 0), 1);
  DestroyWindow(plain);
}

TEST(Messages, DestroyWindowSendsDestroyAndDropsQueuedMessages) {
  std::vector<UINT> seen;
  HWND hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    seen.push_back(m);
    return 0;
  });
  PostMessage(hwnd, WM_USER, 0, 0);
  DestroyWindow(hwnd);
  DrainQueue();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], WM_DESTROY);
}

TEST(Messages, RegisteredMessagesShareNumbersByNameIgnoringCase) {
  UINT a = RegisterWindowMessage("WM_BASSSendingData");
  UINT b = RegisterWindowMessage("wm_basssendingdata");
  UINT c = RegisterWindowMessage("SomethingElse");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(a, 0xFFFFu);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

TEST(Messages, ThreadQueueGetPeekAndQuit) {
  // A posted thread message, then quit: GetMessage gives the message, then false.
  std::promise<uint32_t> idPromise;
  std::vector<MSG> got;
  std::atomic<bool> peekSawWaiting{false};
  std::promise<void> posted;
  std::thread worker([&] {
    idPromise.set_value(GetCurrentThreadId());
    posted.get_future().wait();
    MSG m;
    if (PeekMessage(&m, false) && m.message == WM_USER + 5) peekSawWaiting = true;
    while (GetMessage(&m)) got.push_back(m);
    EXPECT_TRUE(QuitSeen());
  });
  uint32_t tid = idPromise.get_future().get();
  EXPECT_NE(tid, GetCurrentThreadId());
  EXPECT_TRUE(PostThreadMessage(tid, WM_USER + 5, 1, 2));
  EXPECT_TRUE(PostThreadMessage(tid, WM_USER + 6, 3, 4));
  posted.set_value();
  EXPECT_TRUE(PostThreadMessage(tid, WM_QUIT, 0, 0));
  worker.join();
  EXPECT_TRUE(peekSawWaiting.load());
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, WM_USER + 5u);
  EXPECT_EQ(got[0].wParam, 1u);
  EXPECT_EQ(got[0].lParam, 2);
  EXPECT_EQ(got[1].message, WM_USER + 6u);
  // The thread has ended: its queue is gone.
  EXPECT_FALSE(PostThreadMessage(tid, WM_USER, 0, 0));
  EXPECT_FALSE(PostThreadMessage(0xFFFFFFF0u, WM_USER, 0, 0));
}

TEST(Messages, GetMessageTimeoutGivesUp) {
  MSG m;
  bool quit = true;
  EXPECT_FALSE(GetMessageTimeout(&m, 10, &quit));
  EXPECT_FALSE(quit);
}

TEST(Messages, ThreadMessagesReachTheThreadHandlerWhenPumped) {
  std::vector<UINT> seen;
  SetThreadMessageHandler([&](const MSG& m) { seen.push_back(m.message); });
  uint32_t self = GetCurrentThreadId();
  std::thread([self] { PostThreadMessage(self, WM_USER + 9, 0, 0); }).join();
  EXPECT_TRUE(PumpMessages());
  SetThreadMessageHandler({});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], WM_USER + 9u);
}

TEST(Messages, PumpReportsAQuitAndItStaysSeen) {
  std::thread t([] {
    EXPECT_TRUE(PumpMessages());
    PostQuitMessage(0);
    EXPECT_FALSE(PumpMessages());
    EXPECT_FALSE(PumpAndSleep(1));
    EXPECT_TRUE(QuitSeen());
  });
  t.join();
}

TEST(Messages, AWakerIsCalledForEachArrivalWithoutBlockingThePoster) {
  std::atomic<int> wakes{0};
  std::promise<uint32_t> idPromise;
  std::promise<void> done;
  std::thread owner([&] {
    SetQueueWaker([&] { wakes++; });
    idPromise.set_value(GetCurrentThreadId());
    done.get_future().wait();
  });
  uint32_t tid = idPromise.get_future().get();
  for (int i = 0; i < 10; ++i) PostThreadMessage(tid, WM_USER, 0, 0);
  done.set_value();
  owner.join();
  EXPECT_EQ(wakes.load(), 10);
}

TEST(Messages, TimersPostToTheirWindowAndStopWhenKilled) {
  std::atomic<int> ticks{0};
  HWND hwnd = CreateMessageWindow([&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m == WM_TIMER && w == 7) ticks++;
    return 0;
  });
  ASSERT_TRUE(SetTimer(hwnd, 7, 5));
  for (int i = 0; i < 400 && ticks.load() < 3; ++i) PumpAndSleep(5);
  EXPECT_GE(ticks.load(), 3);
  EXPECT_TRUE(KillTimer(hwnd, 7));
  EXPECT_FALSE(KillTimer(hwnd, 7));
  PumpAndSleep(20);  // one tick may have been queued before the kill
  int after = ticks.load();
  PumpAndSleep(30);
  EXPECT_EQ(ticks.load(), after);
  EXPECT_FALSE(SetTimer(nullptr, 1, 5));
  DestroyWindow(hwnd);
}

TEST(Messages, ATimerDoesNotFloodABusyThread) {
  HWND hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  ASSERT_TRUE(SetTimer(hwnd, 1, 1));
  std::this_thread::sleep_for(60ms);  // busy: no pumping while the timer runs
  int queued = 0;
  MSG m;
  while (PeekMessage(&m, true))
    if (m.message == WM_TIMER) ++queued;
  EXPECT_LE(queued, 1);
  KillTimer(hwnd, 1);
  DestroyWindow(hwnd);
}

TEST(MessagesEvent, AWaiterAnswersSendsOfTheThreadItWaitsFor) {
  // The other thread can set the event only after this thread has answered it:
  // a plain wait would never return.
  std::vector<WPARAM> asked;  // touched only on this thread
  HWND mine = CreateMessageWindow([&](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
    asked.push_back(w);
    return LRESULT(w * 3);
  });
  Event done;
  std::atomic<LRESULT> sum{0};
  std::thread worker([&] {
    for (WPARAM i = 1; i <= 50; ++i) sum += SendMessage(mine, WM_USER, i, 0);
    done.Set();
  });
  EXPECT_TRUE(done.Wait(60000));
  worker.join();
  EXPECT_EQ(asked.size(), 50u);
  EXPECT_EQ(sum.load(), LRESULT(3 * 50 * 51 / 2));
  DestroyWindow(mine);
}

TEST(MessagesEvent, AWaitLeavesPostedMessagesQueued) {
  int handled = 0;
  HWND mine = CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return ++handled; });
  Event done;
  std::thread worker([&] {
    PostMessage(mine, WM_USER, 0, 0);
    done.Set();
  });
  EXPECT_TRUE(done.Wait(60000));
  worker.join();
  EXPECT_EQ(handled, 0);  // nothing ran inside the wait but sends
  DrainQueue();
  EXPECT_EQ(handled, 1);
  DestroyWindow(mine);
}

TEST(MessagesEvent, SetResetAndTimeout) {
  Event e;
  EXPECT_FALSE(e.IsSet());
  EXPECT_FALSE(e.Wait(0));
  EXPECT_FALSE(e.Wait(20));  // nobody sets it: the wait gives up
  e.Set();
  EXPECT_TRUE(e.IsSet());
  EXPECT_TRUE(e.Wait(-1));  // already set: no wait at all
  e.Reset();
  EXPECT_FALSE(e.Wait(0));
  Event initially(true);
  EXPECT_TRUE(initially.Wait(0));
}

TEST(MessagesEvent, ManyWaitersAreAllWoken) {
  Event go;
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (go.Wait(60000)) ++woken;
    });
  std::this_thread::sleep_for(10ms);  // most of them are waiting by now (either way the result holds)
  go.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 4);
}
