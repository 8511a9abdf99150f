// Udev properties read from the files themselves: the device's uevent file
// in its sysfs directory, then its record in a udev database folder, whose
// properties win as they do in udev. This is what the sysfs tree reads a
// fixture tree with; the machine's own goes through sd-device.
#pragma once

#include "platform/udev_properties.h"

namespace platform {

class UdevDatabaseProperties final : public UdevProperties {
 public:
  explicit UdevDatabaseProperties(std::string udev_data_root);

  std::optional<std::string> Get(const std::string& syspath, std::string_view key) const override;

 private:
  std::string udev_data_;
};

}  // namespace platform
