// The one clock of the program. Tick counts, sleeps, wait time-outs and (later)
// window timers all run on it, so tests swap in a VirtualClock and move time
// by hand instead of waiting for it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <utility>

namespace platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;
inline constexpr uint64_t kNoDeadline = UINT64_MAX;

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds on a monotonic scale.
  virtual uint64_t NowMs() const = 0;

  // Blocks on `cv` (whose mutex `lock` holds) until notified or until the
  // clock reaches `deadline`. May return early; callers re-check, and wait
  // again with the same `begun`: the time the wait started, which its
  // deadline was computed from.
  virtual void WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                         uint64_t deadline, uint64_t begun) = 0;

  virtual void Sleep(uint32_t ms) = 0;
};

class RealClock final : public Clock {
 public:
  uint64_t NowMs() const override;
  void WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                 uint64_t deadline, uint64_t begun) override;
  void Sleep(uint32_t ms) override;
};

// Time moves only when a test says so. Every wait with a deadline registers
// itself, so a test can wait (in real time) until the code under test is
// blocked and then move the clock past the deadline it is waiting for.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint64_t start_ms = 1000);

  uint64_t NowMs() const override;
  void WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                 uint64_t deadline, uint64_t begun) override;
  void Sleep(uint32_t ms) override;

  void Advance(uint64_t ms);
  // Moves the clock to the earliest deadline anyone waits for; false when
  // nobody waits with a deadline.
  bool AdvanceToNextDeadline();

  // Blocks (in real time) until at least `count` threads wait with a deadline.
  void WaitForTimedWaiters(size_t count);
  // Blocks (in real time) until some thread waits for exactly now + `ms`,
  // then advances by `ms`: "let the sleep of `ms` that is about to happen pass".
  void AdvanceWhenWaiting(uint32_t ms);
  // The waiting half of AdvanceWhenWaiting alone: blocks (in real time) until
  // some thread waits for exactly now + `ms`, and leaves it waiting. Unlike
  // WaitForTimedWaiters it cannot be satisfied by a waiter whose deadline has
  // just passed but which has not woken yet.
  void WaitForWaiterAt(uint32_t ms);
  // Never blocks: when some thread waits for exactly `deadline` (absolute),
  // moves the clock there and returns true; otherwise leaves it alone.
  bool AdvanceIfWaitedFor(uint64_t deadline);

  // The same three for a wait that begins now: some thread started, at the
  // current time, a wait of exactly `ms`. A waiter of another thread whose
  // deadline happens to fall at now + `ms` (a periodic wait begun earlier,
  // woken and waiting again for what is left) does not count, so a test
  // that lets one pause pass never moves the clock for someone else's.
  void AdvanceWhenWaitBegins(uint32_t ms);
  void WaitForWaitBegun(uint32_t ms);
  bool AdvanceIfWaitBegun(uint32_t ms);

  size_t TimedWaiters() const;

  // When set, Sleep() moves the clock by its own duration instead of waiting
  // for a test to do it. Only for tests where the sleeping thread is the only
  // one whose sleeps matter.
  void SetSleepAdvances(bool on);

 private:
  std::atomic<uint64_t> now_;  // written under the dispatcher lock, read anywhere
  bool sleep_advances_ = false;
  bool WaitBegunLocked(uint32_t ms) const;

  std::multiset<uint64_t> deadlines_;
  // (begun, deadline) of every wait with a deadline.
  std::multiset<std::pair<uint64_t, uint64_t>> waits_;
  std::condition_variable observer_cv_;
};

// The process-wide clock: the real one unless a test installed another.
Clock& CurrentClock();

// Installs `clock` for the lifetime of the object (tests only; no other thread
// may wait on the clock while it is swapped).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

uint32_t GetTickCount();
void Sleep(uint32_t ms);

// A deadline `ms` from now on the current clock (kNoDeadline for kInfinite).
uint64_t DeadlineAfter(uint32_t ms);
// Milliseconds left until `deadline`, 0 once passed, kInfinite for none.
uint32_t RemainingMs(uint64_t deadline);

}  // namespace platform
