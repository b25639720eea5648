// Where the timer service puts ticks (pure arithmetic: no clock is waited on here).
#include <gtest/gtest.h>

#include "platform/TimerService.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

Clock::duration Phase(Clock::time_point t, Clock::duration grid) { return t.time_since_epoch() % grid; }

Clock::time_point At(Clock::duration d) { return Clock::time_point(d); }

}  // namespace

TEST(TimerService, TimersOfOnePeriodSetAtDifferentTimesTickTogether) {
  // The main window's two 100 ms timers start at unrelated moments; they must share their instants.
  for (auto offset : {0ms, 1ms, 37ms, 49ms, 51ms, 99ms}) {
    auto a = platform::FirstTimerTick(At(5s + 3ms), 100ms);
    auto b = platform::FirstTimerTick(At(5s + 3ms + offset), 100ms);
    EXPECT_EQ(Phase(a, 100ms), Phase(b, 100ms)) << offset.count();
  }
}

TEST(TimerService, ShortTimersTickOnTheInstantsOfLongerOnes) {
  auto fast = platform::FirstTimerTick(At(12s + 7ms), 25ms);
  auto slow = platform::FirstTimerTick(At(12s + 61ms), 100ms);
  auto seconds = platform::FirstTimerTick(At(12s + 880ms), 3000ms);
  EXPECT_EQ(Phase(fast, 25ms), Phase(slow, 25ms));
  EXPECT_EQ(Phase(slow, 100ms), Phase(seconds, 100ms));
}

TEST(TimerService, FirstTickStaysWithinHalfAGridStepOfItsPeriod) {
  for (auto period : {1ms, 5ms, 25ms, 30ms, 100ms, 150ms, 3000ms}) {
    const auto half = Clock::duration(platform::TimerGrid(period)) / 2;
    for (int i = 0; i < 500; ++i) {
      auto now = At(7s + std::chrono::microseconds(i * 997));
      auto due = platform::FirstTimerTick(now, period);
      EXPECT_GE(due - now, Clock::duration(period) - half) << period.count() << " ms at " << i;
      EXPECT_LE(due - now, Clock::duration(period) + half) << period.count() << " ms at " << i;
      EXPECT_GT(due, now);
    }
  }
}

TEST(TimerService, ATimerSetAgainFromItsOwnTickKeepsItsStep) {
  // The spectrum timer is set again from each tick, taken a little after the tick's instant.
  auto tick = platform::FirstTimerTick(At(3s + 2ms), 25ms);
  for (auto late : {0ms, 1ms, 4ms, 10ms, 12ms}) {
    auto next = platform::FirstTimerTick(tick + late, 25ms);
    EXPECT_EQ(next - tick, Clock::duration(25ms)) << late.count();
  }
}

TEST(TimerService, GridIsThePeriodUpToATenthOfASecond) {
  EXPECT_EQ(platform::TimerGrid(1ms), 1ms);
  EXPECT_EQ(platform::TimerGrid(25ms), 25ms);
  EXPECT_EQ(platform::TimerGrid(100ms), 100ms);
  EXPECT_EQ(platform::TimerGrid(3000ms), 100ms);
}
