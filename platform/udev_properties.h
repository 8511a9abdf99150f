// The udev properties of a device by its sysfs directory: what the kernel's
// uevent file says of it (DEVNAME, INTERFACE, MAJOR, …) and what udev's rules
// added to its database record (ID_MODEL_FROM_DATABASE, …). DEVNAME is in
// udev's form, a path below /dev.
//
// Two backends: sd-device for the machine's own /sys and udev database, and
// the files read directly for any other roots (the test fixture trees, which
// sd-device cannot be pointed at).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UdevProperties {
 public:
  virtual ~UdevProperties() = default;

  // The property's value, read afresh; nullopt when the device is gone, has
  // no such property, or its value is empty.
  virtual std::optional<std::string> Get(const std::string& syspath,
                                         std::string_view key) const = 0;
};

// sd-device when the roots are the machine's own ("/sys", "/run/udev/data"),
// else the files below the given roots.
std::unique_ptr<UdevProperties> MakeUdevProperties(const std::string& sys_root,
                                                   const std::string& udev_data_root);

}  // namespace platform
