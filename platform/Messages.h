// Window messages and thread queues: the message layer every area talks through.
//
// Threads: every function may be called from any thread unless noted.
// - A window belongs to the thread that created it; its window procedure only
//   ever runs on that thread (posted messages are dispatched there, sends from
//   other threads are handed over and answered there).
// - PostMessage/PostThreadMessage never block (a short internal lock only).
// - SendMessage to a window of another thread waits for the answer; while it
//   waits, sends made to the waiting thread are still answered.
// - The UI thread's queue is drained from the Qt event loop (see QtMessageLoop.h);
//   other threads drain theirs with GetMessage/PeekMessage/PumpMessages.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

struct HWND__;

namespace platform {

using HWND = HWND__*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using MessageHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_USERDATA = -21;

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Small positive identifier of the calling thread (never 0). The first call on a
// thread also gives it its message queue, so other threads can post to it.
uint32_t GetCurrentThreadId();

// Creates a window owned by the calling thread. The handler runs for every
// message; `userData` is readable with GetWindowUserData.
HWND CreateMessageWindow(MessageHandler handler, void* userData = nullptr);
// Creates a window with a plain C window procedure.
HWND CreateProcWindow(WNDPROC proc, void* userData = nullptr);
// Sends WM_DESTROY, then removes the window. Messages still queued for it are dropped.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);
uint32_t GetWindowThreadId(HWND hwnd);

// Replaces the window procedure; returns the previous one (nullptr for no window).
// The previous procedure stays callable through CallWindowProc.
WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc);
WNDPROC GetWindowProc(HWND hwnd);
void* GetWindowUserData(HWND hwnd);
void* SetWindowUserData(HWND hwnd, void* data);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The default answer to a message nobody handles.
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Same name (case-insensitive) gives the same number, in 0xC000..0xFFFF.
UINT RegisterWindowMessage(std::string_view name);

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Fails when the thread has no queue (it never called into the message layer) or has ended.
bool PostThreadMessage(uint32_t threadId, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// Waits for the next posted message of the calling thread, answering sends while
// waiting. Returns false when it is WM_QUIT.
bool GetMessage(MSG* msg);
// Like GetMessage but gives up after timeoutMs; false on timeout or WM_QUIT
// (`*quit` tells which when given).
bool GetMessageTimeout(MSG* msg, int timeoutMs, bool* quit = nullptr);
// Answers pending sends, then takes (or looks at) the next posted message if any.
bool PeekMessage(MSG* msg, bool remove);
// Runs the window procedure of msg->hwnd; thread messages (no window) go to the
// thread's handler when one is set.
LRESULT DispatchMessage(const MSG* msg);

// Processes the calling thread's queue: every pending send and every message
// posted so far. On the UI thread this also runs the Qt event loop once.
// Returns false when a WM_QUIT was taken (now or earlier) on this thread.
bool PumpMessages();
// PumpMessages, sleep `ms` (answering sends meanwhile), then pump again.
bool PumpAndSleep(int ms);
// True once this thread has taken WM_QUIT from its queue.
bool QuitSeen();

// Called for thread messages (no window) that PumpMessages dispatches on this thread.
void SetThreadMessageHandler(std::function<void(const MSG&)> handler);
// Called, from the posting thread, when a message arrives for this thread's queue.
// It must not block; the UI thread uses it to schedule a drain in the Qt loop.
void SetQueueWaker(std::function<void()> waker);
// Extra work PumpMessages does on this thread (the UI thread: Qt's processEvents).
void SetPumpHook(std::function<void()> hook);

// Timers: every `ms` milliseconds a WM_TIMER (wParam = id) is posted to the window;
// at most one is waiting in the queue per timer, so a busy thread is not flooded.
// Setting an existing id again restarts it with the new period.
bool SetTimer(HWND hwnd, uintptr_t id, uint32_t ms);
bool KillTimer(HWND hwnd, uintptr_t id);

// Dispatches what is queued for the calling thread right now (sends first, then
// the posted messages present at the call). Returns false once WM_QUIT was taken.
bool DrainQueue();

// A manual-reset event for one thread to wait on another. The wait keeps
// answering sends made to the waiting thread (and only those: posted messages
// stay queued), so a thread that sends to the waiter before it can set the
// event does not deadlock with it. Set and Reset may be called from any thread.
class Event {
 public:
  explicit Event(bool set = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set; timeoutMs < 0 waits without limit. True when
  // set, false when the time ran out first.
  bool Wait(int timeoutMs);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
