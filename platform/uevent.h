// Kernel device events ("uevents", as the kernel sends them on its netlink
// socket, or as udev passes them on once its rules have run: udev_event.h)
// and how they map onto device broadcasts:
//
//   kernel event                                  broadcasts
//   tty add/remove (a port: ttyUSB*, ttyACM*, …)   COM-port interface, port
//                                                  (named after the device),
//                                                  modem interface when the
//                                                  tty is a modem
//   usb-serial add/remove                          serial-enumerator interface
//   usb add/remove of a usb_device                 USB-device interface
//   usb add/remove of a usb_interface of class 11  smart-card-reader interface
//   net add/remove                                 network interface
//   add/remove/bind/unbind in usb, pci, pcmcia     device-nodes-changed
//
// A removal maps to DBT_DEVICEREMOVECOMPLETE with the same headers; other
// actions ("change", "move", "online", …) map to nothing. Virtual ttys
// (tty0…, console, ptmx) and virtual network devices (lo) are not ports or
// adapters and map to nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_broadcast.h"

namespace platform {

struct Uevent {
  std::string action;     // ACTION
  std::string devpath;    // DEVPATH, below /sys
  std::string subsystem;  // SUBSYSTEM
  std::string devtype;    // DEVTYPE, may be empty
  std::string devname;    // DEVNAME, below /dev, may be empty
  // INTERFACE: "class/subclass/protocol" of a USB interface, the interface
  // name of a network device.
  std::string interface;
};

// Parses one kernel message: "action@devpath" then NUL-separated KEY=value
// fields. Nullopt for anything else (a udev-daemon message, a message
// without ACTION, DEVPATH or SUBSYSTEM, or one whose header disagrees with
// its fields). Never reads past `message`.
std::optional<Uevent> ParseUevent(std::string_view message);

// The broadcasts a kernel event stands for, in the order they are sent.
// `is_modem(devname)` tells whether a tty is a modem.
std::vector<DeviceBroadcast> BroadcastsForUevent(
    const Uevent& event, const std::function<bool(std::string_view devname)>& is_modem);

}  // namespace platform
