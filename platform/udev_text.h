// Texts of udev's making: device node names as udev and the kernel give them,
// and the names of the records in udev's database. Text in, text out; the
// property backends and the event monitor do the I/O.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The name below /dev of a device node. udev gives DEVNAME as a path
// ("/dev/ttyUSB2"), the kernel's uevent file as a name below /dev
// ("ttyUSB2"); both are "ttyUSB2", and "/dev/bus/usb/001/002" is
// "bus/usb/001/002". Empty for a path outside /dev, for /dev itself, and for
// a name with an empty, "." or ".." part: no device node is named so, and a
// port name made of it must not lead out of /dev.
std::string_view NameBelowDev(std::string_view devname);

// The name of a device's record in udev's database (/run/udev/data/<name>),
// as udev names it: "c189:2" for a device with a number ("b…" in the block
// subsystem), else "n3" for a network interface by its index, else
// "+usb:1-1.2". `major`, `minor` and `ifindex` are the uevent's values, empty
// when it has none. Empty when the values make no file name of that form
// (no subsystem or sysname, a '/' in either, numbers that are not numbers).
std::string UdevRecordName(std::string_view subsystem, std::string_view sysname,
                           std::string_view major, std::string_view minor,
                           std::string_view ifindex);

}  // namespace platform
