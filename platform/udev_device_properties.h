// Udev properties through libsystemd's sd-device, which reads the device's
// uevent file and its udev database record the way udev itself wrote them.
// Only for the machine's own /sys.
#pragma once

#include "platform/udev_properties.h"

namespace platform {

class UdevDeviceProperties final : public UdevProperties {
 public:
  std::optional<std::string> Get(const std::string& syspath, std::string_view key) const override;
};

}  // namespace platform
