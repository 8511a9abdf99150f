// The device broadcasts a simulated tree's changes stand for, mapped the way
// the kernel's events are (uevent.h): a port node is a COM-port interface and
// a port, a modem node a modem interface, a network adapter a network
// interface, a smart card reader a reader interface, a USB device a
// USB-device interface; every arrival, removal and status change is also a
// device-nodes-changed broadcast, sent last.
#pragma once

#include <vector>

#include "platform/device_broadcast.h"
#include "platform/sim_device_tree.h"

namespace platform {

std::vector<DeviceBroadcast> BroadcastsForSimChange(const SimDeviceTree::Change& change);

// Broadcasts the changes of `tree` to the registered windows for its own
// life (it is the tree's one change listener meanwhile).
class SimDeviceEvents {
 public:
  explicit SimDeviceEvents(SimDeviceTree& tree);
  ~SimDeviceEvents();
  SimDeviceEvents(const SimDeviceEvents&) = delete;
  SimDeviceEvents& operator=(const SimDeviceEvents&) = delete;

 private:
  SimDeviceTree& tree_;
};

}  // namespace platform
