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
};

Dispatcher& GetDispatcher();

}  // namespace platform
