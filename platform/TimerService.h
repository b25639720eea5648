// The thread behind SetTimer/KillTimer (Messages.h): one thread for every timer of the process; it
// only posts WM_TIMER to the timer's window.
//
// Ticks are coalesced: a timer's first tick is put on a grid of its period (at most 100 ms) counted
// from the steady clock's zero, and later ticks follow at whole periods. Timers of 25 ms, 100 ms and
// whole seconds therefore fall on the same instants and the service (and the threads it posts to)
// wakes once for all of them; with no timer set it does not wake at all.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/Messages.h"

namespace platform {

// The first tick of a timer of `period` set at `now`: `now + period` rounded to the nearest point of
// its grid (so at least half a grid step and at most a period and a half away). Pure; any thread.
std::chrono::steady_clock::time_point FirstTimerTick(std::chrono::steady_clock::time_point now,
                                                     std::chrono::milliseconds period);

// Grid step for a timer period: the period itself up to 100 ms, 100 ms above.
std::chrono::milliseconds TimerGrid(std::chrono::milliseconds period);

// Owner thread of `hwnd`, when it takes a WM_TIMER from its queue: the next tick may be posted.
void NoteTimerTaken(HWND hwnd, uintptr_t id);

// Timers run by a thread's own event loop (the UI thread's Qt loop). A timer that a thread sets on
// one of its own windows goes there instead of to the service thread: its tick is dispatched by the
// loop itself, with no thread switch and no posted message.
class ThreadTimers {
 public:
  virtual ~ThreadTimers() = default;
  // Owner thread only: starts (or restarts) the timer.
  virtual void Start(HWND hwnd, uintptr_t id, uint32_t ms) = 0;
  // Any thread: stops the timer; false when it was not running here.
  virtual bool Stop(HWND hwnd, uintptr_t id) = 0;
};
// Registers the calling thread's loop timers (kept for the rest of the process; null removes them).
void SetThreadTimers(ThreadTimers* timers);

}  // namespace platform
