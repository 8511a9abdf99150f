// Listens to logind on the system bus for the machine going to sleep and
// waking up, and passes both on to the registered windows as
// WM_POWERBROADCAST (sleep_preparation.h says what happens when). One thread
// blocks on the bus and on an eventfd that stops it, so an idle machine costs
// nothing.
#pragma once

#include <memory>

namespace platform {

class PowerMonitor {
 public:
  // Null with the last error set when there is no system bus or no logind on
  // it (containers, build machines); the program then hears of no sleeps.
  static std::unique_ptr<PowerMonitor> Start();
  virtual ~PowerMonitor() = default;  // stops the thread, gives the inhibitor back
};

}  // namespace platform
