// A device event as udev re-broadcasts it once its rules have run, read from
// the sd_device that sd-device's monitor hands over, made into the Uevent the
// broadcast mapping (uevent.h) takes.
#pragma once

#include <systemd/sd-device.h>

#include <optional>
#include <string_view>

#include "platform/uevent.h"

namespace platform {

// The fields of such a device. Empty for a field the device lacks.
struct UdevEventFields {
  sd_device_action_t action = _SD_DEVICE_ACTION_INVALID;
  std::string_view devpath;    // below /sys
  std::string_view subsystem;
  std::string_view devtype;
  std::string_view devname;    // udev's form, "/dev/ttyUSB0"
  std::string_view interface;  // the INTERFACE property
};

// The event with the kernel's action name and DEVNAME below /dev as the
// kernel gives it ("ttyUSB0"); a DEVNAME NameBelowDev refuses is left empty,
// and the mapping names the device after its devpath. Nullopt without an
// action, devpath or subsystem.
std::optional<Uevent> UeventFromUdev(const UdevEventFields& fields);

// The same, from the device itself.
std::optional<Uevent> UeventFromDevice(sd_device* device);

}  // namespace platform
