#include "Messages.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <map>
#include <unordered_map>
#include <vector>

namespace platform {
namespace {

struct ThreadQueue;

// A send waiting for its answer. Lives on the sender's stack until `done`.
struct PendingSend {
  MSG msg;
  LRESULT result = 0;
  bool done = false;                    // guarded by sender->mutex
  std::shared_ptr<ThreadQueue> sender;  // woken when done
};

struct ThreadQueue {
  explicit ThreadQueue(uint32_t tid) : id(tid) {}
  const uint32_t id;
  std::mutex mutex;
  std::condition_variable cv;
  // guarded by mutex
  std::deque<MSG> posted;
  std::deque<PendingSend*> sends;
  bool closed = false;
  std::function<void()> waker;
  // owned by the queue's own thread
  bool quitSeen = false;
  std::function<void(const MSG&)> threadHandler;
  std::function<void()> pumpHook;
};

struct Window {
  uintptr_t id = 0;
  uint32_t threadId = 0;
  std::weak_ptr<ThreadQueue> owner;
  std::atomic<WNDPROC> proc{nullptr};
  std::atomic<void*> user{nullptr};
  MessageHandler handler;  // set once at creation
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::weak_ptr<ThreadQueue>> threads;
  std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
  std::unordered_map<std::string, UINT> registered;
  uintptr_t nextWindow = 0x1000;
  UINT nextRegistered = 0xC000;
};

Registry& Reg() {
  static Registry* r = new Registry;  // never destroyed: threads may outlive static destruction
  return *r;
}

std::atomic<uint32_t> g_nextThreadId{1};

// Completes every send still waiting on a queue that goes away, so no sender hangs.
void FailPendingSends(ThreadQueue& q) {
  std::deque<PendingSend*> sends;
  {
    std::lock_guard lock(q.mutex);
    q.closed = true;
    sends.swap(q.sends);
    q.posted.clear();
  }
  for (PendingSend* s : sends) {
    auto sender = s->sender;
    std::lock_guard lock(sender->mutex);
    s->result = 0;
    s->done = true;
    sender->cv.notify_all();
  }
}

struct ThreadSlot {
  std::shared_ptr<ThreadQueue> queue;
  ~ThreadSlot() {
    if (!queue) return;
    {
      std::lock_guard lock(Reg().mutex);
      Reg().threads.erase(queue->id);
    }
    FailPendingSends(*queue);
  }
};

thread_local ThreadSlot t_slot;

ThreadQueue& Self() {
  if (!t_slot.queue) {
    auto q = std::make_shared<ThreadQueue>(g_nextThreadId.fetch_add(1));
    std::lock_guard lock(Reg().mutex);
    Reg().threads[q->id] = q;
    t_slot.queue = std::move(q);
  }
  return *t_slot.queue;
}

std::shared_ptr<ThreadQueue> SelfShared() {
  Self();
  return t_slot.queue;
}

std::shared_ptr<Window> FindWindow(HWND hwnd) {
  std::lock_guard lock(Reg().mutex);
  auto it = Reg().windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == Reg().windows.end() ? nullptr : it->second;
}

// Appends under the queue's lock and wakes its thread; never blocks for long.
bool Enqueue(const std::shared_ptr<ThreadQueue>& q, const MSG& m) {
  std::function<void()> waker;
  {
    std::lock_guard lock(q->mutex);
    if (q->closed) return false;
    q->posted.push_back(m);
    waker = q->waker;
  }
  q->cv.notify_all();
  if (waker) waker();
  return true;
}

LRESULT FunctionTrampoline(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  auto win = FindWindow(hwnd);
  if (!win || !win->handler) return 0;
  return win->handler(hwnd, msg, w, l);
}

LRESULT CallOnThisThread(const MSG& m) {
  auto win = FindWindow(m.hwnd);
  if (!win) return 0;
  WNDPROC proc = win->proc.load();
  return proc ? proc(m.hwnd, m.message, m.wParam, m.lParam) : 0;
}

// Answers one pending send to this thread; returns false when there is none.
bool AnswerOneSend(ThreadQueue& q) {
  PendingSend* s = nullptr;
  {
    std::lock_guard lock(q.mutex);
    if (q.sends.empty()) return false;
    s = q.sends.front();
    q.sends.pop_front();
  }
  LRESULT r = CallOnThisThread(s->msg);
  auto sender = s->sender;
  {
    std::lock_guard lock(sender->mutex);
    s->result = r;
    s->done = true;
  }
  sender->cv.notify_all();
  return true;
}

void AnswerSends(ThreadQueue& q) {
  while (AnswerOneSend(q)) {
  }
}

HWND NewWindow(WNDPROC proc, MessageHandler handler, void* user) {
  auto w = std::make_shared<Window>();
  ThreadQueue& q = Self();
  w->threadId = q.id;
  w->owner = t_slot.queue;
  w->proc = proc;
  w->user = user;
  w->handler = std::move(handler);
  std::lock_guard lock(Reg().mutex);
  w->id = Reg().nextWindow++;
  Reg().windows[w->id] = w;
  return reinterpret_cast<HWND>(w->id);
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

}  // namespace

// The timer service (TimerService.cpp): a WM_TIMER taken from the queue lets the next one be posted.
void NoteTimerTaken(HWND hwnd, uintptr_t id);

uint32_t GetCurrentThreadId() { return Self().id; }

HWND CreateMessageWindow(MessageHandler handler, void* userData) {
  return NewWindow(&FunctionTrampoline, std::move(handler), userData);
}

HWND CreateProcWindow(WNDPROC proc, void* userData) { return NewWindow(proc, nullptr, userData); }

bool DestroyWindow(HWND hwnd) {
  auto win = FindWindow(hwnd);
  if (!win) return false;
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  std::lock_guard lock(Reg().mutex);
  Reg().windows.erase(win->id);
  return true;
}

bool IsWindow(HWND hwnd) { return FindWindow(hwnd) != nullptr; }

uint32_t GetWindowThreadId(HWND hwnd) {
  auto win = FindWindow(hwnd);
  return win ? win->threadId : 0;
}

WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc) {
  auto win = FindWindow(hwnd);
  return win ? win->proc.exchange(proc) : nullptr;
}

WNDPROC GetWindowProc(HWND hwnd) {
  auto win = FindWindow(hwnd);
  return win ? win->proc.load() : nullptr;
}

void* GetWindowUserData(HWND hwnd) {
  auto win = FindWindow(hwnd);
  return win ? win->user.load() : nullptr;
}

void* SetWindowUserData(HWND hwnd, void* data) {
  auto win = FindWindow(hwnd);
  return win ? win->user.exchange(data) : nullptr;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

UINT RegisterWindowMessage(std::string_view name) {
  if (name.empty()) return 0;
  std::lock_guard lock(Reg().mutex);
  auto [it, added] = Reg().registered.try_emplace(Lower(name), 0);
  if (added) {
    if (Reg().nextRegistered == 0) {  // all 16384 numbers taken
      Reg().registered.erase(it);
      return 0;
    }
    it->second = Reg().nextRegistered++;
  }
  return it->second;
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto win = FindWindow(hwnd);
  if (!win) return false;
  auto q = win->owner.lock();
  if (!q) return false;
  return Enqueue(q, MSG{hwnd, msg, wParam, lParam});
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto win = FindWindow(hwnd);
  if (!win) return 0;
  ThreadQueue& self = Self();
  if (win->threadId == self.id) {
    WNDPROC proc = win->proc.load();
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
  }
  auto target = win->owner.lock();
  if (!target) return 0;
  PendingSend send;
  send.msg = MSG{hwnd, msg, wParam, lParam};
  send.sender = SelfShared();
  std::function<void()> waker;
  {
    std::lock_guard lock(target->mutex);
    if (target->closed) return 0;
    target->sends.push_back(&send);
    waker = target->waker;
  }
  target->cv.notify_all();
  if (waker) waker();
  // Wait for the answer, answering sends made to this thread meanwhile so two
  // threads sending to each other cannot deadlock.
  std::unique_lock lock(self.mutex);
  while (!send.done) {
    if (!self.sends.empty()) {
      lock.unlock();
      AnswerSends(self);
      lock.lock();
      continue;
    }
    self.cv.wait(lock);
  }
  return send.result;
}

bool PostThreadMessage(uint32_t threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard lock(Reg().mutex);
    auto it = Reg().threads.find(threadId);
    if (it != Reg().threads.end()) q = it->second.lock();
  }
  if (!q) return false;
  return Enqueue(q, MSG{nullptr, msg, wParam, lParam});
}

void PostQuitMessage(int exitCode) {
  auto q = SelfShared();
  Enqueue(q, MSG{nullptr, WM_QUIT, WPARAM(exitCode), 0});
}

bool GetMessageTimeout(MSG* out, int timeoutMs, bool* quit) {
  ThreadQueue& self = Self();
  if (quit) *quit = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(self.mutex);
  for (;;) {
    if (!self.sends.empty()) {
      lock.unlock();
      AnswerSends(self);
      lock.lock();
      continue;
    }
    if (!self.posted.empty()) {
      MSG m = self.posted.front();
      self.posted.pop_front();
      if (out) *out = m;
      if (m.message == WM_QUIT && !m.hwnd) {
        self.quitSeen = true;
        if (quit) *quit = true;
        return false;
      }
      return true;
    }
    if (timeoutMs < 0) {
      self.cv.wait(lock);
    } else if (self.cv.wait_until(lock, deadline) == std::cv_status::timeout && self.sends.empty() &&
               self.posted.empty()) {
      return false;
    }
  }
}

bool GetMessage(MSG* msg) {
  bool quit = false;
  while (!GetMessageTimeout(msg, -1, &quit)) {
    if (quit) return false;
  }
  return true;
}

bool PeekMessage(MSG* out, bool remove) {
  ThreadQueue& self = Self();
  AnswerSends(self);
  std::lock_guard lock(self.mutex);
  if (self.posted.empty()) return false;
  MSG m = self.posted.front();
  if (remove) {
    self.posted.pop_front();
    if (m.message == WM_QUIT && !m.hwnd) self.quitSeen = true;
  }
  if (out) *out = m;
  return true;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->hwnd) NoteTimerTaken(msg->hwnd, msg->wParam);
  if (!msg->hwnd) {
    ThreadQueue& self = Self();
    if (self.threadHandler) self.threadHandler(*msg);
    return 0;
  }
  auto win = FindWindow(msg->hwnd);
  if (!win) return 0;  // destroyed since it was posted
  WNDPROC proc = win->proc.load();
  return proc ? proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

bool DrainQueue() {
  ThreadQueue& self = Self();
  AnswerSends(self);
  size_t budget;
  {
    std::lock_guard lock(self.mutex);
    budget = self.posted.size();
  }
  // Only what was queued at the start: a handler that posts again cannot starve the caller.
  for (size_t i = 0; i < budget; ++i) {
    MSG m;
    {
      std::lock_guard lock(self.mutex);
      if (self.posted.empty()) break;
      m = self.posted.front();
      self.posted.pop_front();
    }
    if (m.message == WM_QUIT && !m.hwnd) {
      self.quitSeen = true;
      continue;
    }
    DispatchMessage(&m);
    AnswerSends(self);
  }
  return !self.quitSeen;
}

bool PumpMessages() {
  ThreadQueue& self = Self();
  if (self.pumpHook) self.pumpHook();
  DrainQueue();
  return !self.quitSeen;
}

bool PumpAndSleep(int ms) {
  ThreadQueue& self = Self();
  PumpMessages();
  // Sleep the whole step (callers count rounds), but keep answering sends meanwhile.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::unique_lock lock(self.mutex);
  for (;;) {
    if (!self.sends.empty()) {
      lock.unlock();
      AnswerSends(self);
      lock.lock();
      continue;
    }
    if (self.cv.wait_until(lock, deadline) == std::cv_status::timeout && self.sends.empty()) break;
  }
  lock.unlock();
  return PumpMessages();
}

bool QuitSeen() { return Self().quitSeen; }

struct Event::Impl {
  std::atomic<bool> set{false};
  std::mutex mutex;
  std::vector<std::shared_ptr<ThreadQueue>> waiters;  // guarded by mutex
};

Event::Event(bool set) : impl_(std::make_unique<Impl>()) { impl_->set = set; }
Event::~Event() = default;

void Event::Set() {
  std::vector<std::shared_ptr<ThreadQueue>> waiters;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->set.store(true);
    waiters = impl_->waiters;
  }
  for (auto& q : waiters) {
    // Taking the waiter's lock orders this wake-up after its last look at the flag.
    { std::lock_guard lock(q->mutex); }
    q->cv.notify_all();
  }
}

void Event::Reset() { impl_->set.store(false); }

bool Event::IsSet() const { return impl_->set.load(); }

bool Event::Wait(int timeoutMs) {
  if (impl_->set.load()) return true;
  auto self = SelfShared();
  {
    std::lock_guard lock(impl_->mutex);
    impl_->waiters.push_back(self);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
  bool result = false;
  {
    std::unique_lock lock(self->mutex);
    for (;;) {
      if (!self->sends.empty()) {
        lock.unlock();
        AnswerSends(*self);
        lock.lock();
        continue;
      }
      if (impl_->set.load()) {
        result = true;
        break;
      }
      if (timeoutMs < 0) {
        self->cv.wait(lock);
      } else if (self->cv.wait_until(lock, deadline) == std::cv_status::timeout && self->sends.empty()) {
        result = impl_->set.load();
        break;
      }
    }
  }
  std::lock_guard lock(impl_->mutex);
  auto& w = impl_->waiters;
  w.erase(std::find(w.begin(), w.end(), self));
  return result;
}

void SetThreadMessageHandler(std::function<void(const MSG&)> handler) {
  Self().threadHandler = std::move(handler);
}

void SetQueueWaker(std::function<void()> waker) {
  ThreadQueue& self = Self();
  std::lock_guard lock(self.mutex);
  self.waker = std::move(waker);
}

void SetPumpHook(std::function<void()> hook) { Self().pumpHook = std::move(hook); }

}  // namespace platform
