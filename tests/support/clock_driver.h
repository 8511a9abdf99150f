// Driving the virtual clock for a task that runs on another thread and waits
// on it (a transaction waiting for its answer, a queue reader).
#pragma once

#include <chrono>
#include <cstdint>
#include <future>

#include "platform/clock.h"

namespace testing_support {

// Waits (in real time) until `task` either blocks on the clock or ends; true
// when it blocks. Bounded by the task's own progress, not by a time-out.
template <typename T>
bool BlocksOnTheClock(platform::VirtualClock& clock, std::future<T>& task) {
  while (clock.TimedWaiters() == 0) {
    if (task.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) return false;
  }
  return true;
}

// Moves the clock to each deadline waited for until `task` ends; the virtual
// time that passed. The clock moves only while at least `waiters` threads
// wait with a deadline (the task and whoever else the test expects to wait),
// so a thread that waits on its own account cannot drag the clock ahead of a
// task that has not reached its wait yet.
template <typename T>
uint64_t RunClockUntilDone(platform::VirtualClock& clock, std::future<T>& task, size_t waiters = 1) {
  const uint64_t start = clock.NowMs();
  while (task.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    if (clock.TimedWaiters() >= waiters) clock.AdvanceToNextDeadline();
  }
  return clock.NowMs() - start;
}

}  // namespace testing_support
