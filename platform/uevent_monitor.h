// Listens to device events and broadcasts them to the registered windows
// (device_notification.h), mapped as uevent.h describes: udev's events where
// a udev daemon runs (udev_monitor.h), else the kernel's own on its netlink
// socket. One thread blocks on the socket and on an eventfd that stops it, so
// an idle machine costs nothing.
#pragma once

#include <memory>

namespace platform {

class UeventMonitor {
 public:
  // Null with the last error set when the monitor cannot be opened (a
  // container without netlink, for instance); device changes are then not
  // broadcast and detection relies on polling.
  static std::unique_ptr<UeventMonitor> Start();
  virtual ~UeventMonitor() = default;  // stops the thread
};

}  // namespace platform
