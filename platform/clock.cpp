#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/dispatcher.h"

namespace platform {
namespace {

RealClock g_real_clock;
std::atomic<Clock*> g_clock{&g_real_clock};

}  // namespace

Dispatcher& GetDispatcher() {
  // Never destroyed: a thread whose owner stopped waiting for it may still
  // signal its end while the process exits and runs the static destructors.
  static Dispatcher* const dispatcher = new Dispatcher;
  return *dispatcher;
}

uint64_t RealClock::NowMs() const {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void RealClock::WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                          uint64_t deadline, uint64_t /*begun*/) {
  if (deadline == kNoDeadline) {
    cv.wait(lock);
    return;
  }
  cv.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline)));
}

void RealClock::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

VirtualClock::VirtualClock(uint64_t start_ms) : now_(start_ms) {}

uint64_t VirtualClock::NowMs() const { return now_.load(); }

void VirtualClock::WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                             uint64_t deadline, uint64_t begun) {
  // Called with the dispatcher lock held, which also guards now_ and deadlines_.
  if (deadline == kNoDeadline) {
    cv.wait(lock);
    return;
  }
  if (now_ >= deadline) return;
  auto it = deadlines_.insert(deadline);
  auto wait = waits_.insert({begun, deadline});
  observer_cv_.notify_all();
  cv.wait(lock);
  deadlines_.erase(it);
  waits_.erase(wait);
}

void VirtualClock::Sleep(uint32_t ms) {
  Dispatcher& d = GetDispatcher();
  std::unique_lock lock(d.mutex);
  const uint64_t begun = now_;
  const uint64_t deadline = begun + ms;
  if (sleep_advances_) {
    if (deadline > now_) now_ = deadline;
    d.TimeMovedLocked();
    return;
  }
  while (now_ < deadline) WaitUntil(d.cv, lock, deadline, begun);
}

void VirtualClock::Advance(uint64_t ms) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  now_ += ms;
  d.TimeMovedLocked();
}

bool VirtualClock::AdvanceToNextDeadline() {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  if (deadlines_.empty()) return false;
  now_ = std::max(now_.load(), *deadlines_.begin());
  d.TimeMovedLocked();
  return true;
}

void VirtualClock::WaitForTimedWaiters(size_t count) {
  std::unique_lock lock(GetDispatcher().mutex);
  observer_cv_.wait(lock, [&] { return deadlines_.size() >= count; });
}

void VirtualClock::AdvanceWhenWaiting(uint32_t ms) {
  Dispatcher& d = GetDispatcher();
  std::unique_lock lock(d.mutex);
  const uint64_t target = now_ + ms;
  observer_cv_.wait(lock, [&] { return deadlines_.count(target) > 0; });
  now_ = target;
  d.TimeMovedLocked();
}

void VirtualClock::WaitForWaiterAt(uint32_t ms) {
  std::unique_lock lock(GetDispatcher().mutex);
  const uint64_t target = now_ + ms;
  observer_cv_.wait(lock, [&] { return deadlines_.count(target) > 0; });
}

bool VirtualClock::AdvanceIfWaitedFor(uint64_t deadline) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  if (deadlines_.count(deadline) == 0) return false;
  if (deadline > now_) now_ = deadline;
  d.TimeMovedLocked();
  return true;
}

bool VirtualClock::WaitBegunLocked(uint32_t ms) const {
  const uint64_t now = now_.load();
  return waits_.count({now, now + ms}) > 0;
}

void VirtualClock::AdvanceWhenWaitBegins(uint32_t ms) {
  Dispatcher& d = GetDispatcher();
  std::unique_lock lock(d.mutex);
  observer_cv_.wait(lock, [&] { return WaitBegunLocked(ms); });
  now_ = now_ + ms;
  d.cv.notify_all();
}

void VirtualClock::WaitForWaitBegun(uint32_t ms) {
  std::unique_lock lock(GetDispatcher().mutex);
  observer_cv_.wait(lock, [&] { return WaitBegunLocked(ms); });
}

bool VirtualClock::AdvanceIfWaitBegun(uint32_t ms) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  if (!WaitBegunLocked(ms)) return false;
  now_ = now_ + ms;
  d.cv.notify_all();
  return true;
}

size_t VirtualClock::TimedWaiters() const {
  std::lock_guard lock(GetDispatcher().mutex);
  return deadlines_.size();
}

void VirtualClock::SetSleepAdvances(bool on) {
  std::lock_guard lock(GetDispatcher().mutex);
  sleep_advances_ = on;
}

Clock& CurrentClock() { return *g_clock.load(std::memory_order_acquire); }

// A swap moves time too: what was due on one clock need not be on the other.
ScopedClock::ScopedClock(Clock& clock) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  previous_ = g_clock.exchange(&clock);
  d.TimeMovedLocked();
}

ScopedClock::~ScopedClock() {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  g_clock.store(previous_);
  d.TimeMovedLocked();
}

uint32_t GetTickCount() { return static_cast<uint32_t>(CurrentClock().NowMs()); }

void Sleep(uint32_t ms) { CurrentClock().Sleep(ms); }

uint64_t DeadlineAfter(uint32_t ms) {
  if (ms == kInfinite) return kNoDeadline;
  return CurrentClock().NowMs() + ms;
}

uint32_t RemainingMs(uint64_t deadline) {
  if (deadline == kNoDeadline) return kInfinite;
  const uint64_t now = CurrentClock().NowMs();
  return now >= deadline ? 0 : static_cast<uint32_t>(deadline - now);
}

}  // namespace platform
