// The descriptor a thread's message queue hands to a loop that waits on
// descriptors (Qt's, a poll loop): readable while the queue has something to
// run. It is an epoll descriptor holding an eventfd, which the queue sets
// when a message arrives (or a virtual clock makes a timer due) and drains
// when nothing is left, and a timerfd the queue arms for its next timer when
// the real clock runs, so the kernel wakes the loop at the deadline without a
// thread of ours. The queue calls it under the dispatcher lock; only its
// changes make system calls.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "platform/unique_fd.h"

namespace platform {

class ReadyDescriptor {
 public:
  // Null with the last error set when the kernel refuses one of the three
  // descriptors.
  static std::unique_ptr<ReadyDescriptor> Create();

  // The descriptor to poll for reading; it stays owned here.
  int Descriptor() const { return epoll_.get(); }

  // Readable (true) or left to the timer (false).
  void SetReady(bool ready);
  bool Ready() const { return ready_; }

  // Arms the timer for `deadline_ms` on CLOCK_MONOTONIC in milliseconds (the
  // real clock's scale), an absolute time, so a deadline already passed makes
  // it readable at once; kNoDeadline disarms it. Re-arming clears an expiry
  // that was not read.
  void ArmTimer(uint64_t deadline_ms);
  uint64_t TimerDeadline() const { return timer_deadline_; }

 private:
  ReadyDescriptor(UniqueFd epoll, UniqueFd event, UniqueFd timer);

  UniqueFd epoll_;
  UniqueFd event_;
  UniqueFd timer_;
  bool ready_ = false;
  uint64_t timer_deadline_ = kNoDeadline;
};

}  // namespace platform
