#include "platform/udev_properties.h"

#include "platform/udev_database_properties.h"
#include "platform/udev_device_properties.h"

namespace platform {

std::unique_ptr<UdevProperties> MakeUdevProperties(const std::string& sys_root,
                                                   const std::string& udev_data_root) {
  // sd-device knows no other roots than these: it always reads /sys and
  // /run/udev/data.
  if (sys_root == "/sys" && udev_data_root == "/run/udev/data") {
    return std::make_unique<UdevDeviceProperties>();
  }
  return std::make_unique<UdevDatabaseProperties>(udev_data_root);
}

}  // namespace platform
