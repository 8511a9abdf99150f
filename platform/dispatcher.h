// The process-wide lock and condition that every waitable object and every
// wait shares (as a kernel's dispatcher lock does). One lock makes a wait on
// several objects, and the virtual clock's wake-ups, simple and race-free; the
// program has a handful of threads, so the shared wake-ups cost nothing.
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

struct Dispatcher {
  std::mutex mutex;
  std::condition_variable cv;
  // Run (under the lock) after a virtual clock moved and after a clock was
  // swapped: the message queues install it to wake loops that wait on a
  // descriptor rather than on `cv` when a window timer falls due. Null until
  // the first such descriptor exists.
  void (*time_moved)() = nullptr;

  // Wakes every waiter after the clock moved. Lock held.
  void TimeMovedLocked() {
    cv.notify_all();
    if (time_moved) time_moved();
  }
};

Dispatcher& GetDispatcher();

}  // namespace platform
