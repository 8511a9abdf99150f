#include "platform/udev_device_properties.h"

#include <systemd/sd-device.h>

namespace platform {
namespace {

struct DeviceUnref {
  void operator()(sd_device* device) const { sd_device_unref(device); }
};
using DeviceHandle = std::unique_ptr<sd_device, DeviceUnref>;

}  // namespace

std::optional<std::string> UdevDeviceProperties::Get(const std::string& syspath,
                                                     std::string_view key) const {
  // A new device object each time: sd-device caches what it read once, and
  // a driver binds or udev finishes its rules some time after a device
  // appeared.
  sd_device* raw = nullptr;
  if (sd_device_new_from_syspath(&raw, syspath.c_str()) < 0) return std::nullopt;
  const DeviceHandle device(raw);
  const char* value = nullptr;
  if (sd_device_get_property_value(device.get(), std::string(key).c_str(), &value) < 0 ||
      value == nullptr || *value == '\0') {
    return std::nullopt;
  }
  return std::string(value);
}

}  // namespace platform
