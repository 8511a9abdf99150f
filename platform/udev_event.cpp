#include "platform/udev_event.h"

#include "platform/udev_text.h"

namespace platform {
namespace {

// The action as the kernel spells it in ACTION; empty for none.
std::string_view ActionName(sd_device_action_t action) {
  switch (action) {
    case SD_DEVICE_ADD:
      return "add";
    case SD_DEVICE_REMOVE:
      return "remove";
    case SD_DEVICE_CHANGE:
      return "change";
    case SD_DEVICE_MOVE:
      return "move";
    case SD_DEVICE_ONLINE:
      return "online";
    case SD_DEVICE_OFFLINE:
      return "offline";
    case SD_DEVICE_BIND:
      return "bind";
    case SD_DEVICE_UNBIND:
      return "unbind";
    case _SD_DEVICE_ACTION_MAX:
    case _SD_DEVICE_ACTION_INVALID:
    case _SD_DEVICE_ACTION_INT64_MIN:
    case _SD_DEVICE_ACTION_INT64_MAX:
      return {};
  }
  return {};
}

// A field the device lacks reads as empty.
template <typename Getter>
std::string_view Field(sd_device* device, Getter getter) {
  const char* value = nullptr;
  if (getter(device, &value) < 0 || value == nullptr) return {};
  return value;
}

}  // namespace

std::optional<Uevent> UeventFromUdev(const UdevEventFields& fields) {
  const std::string_view action = ActionName(fields.action);
  if (action.empty() || fields.devpath.empty() || fields.subsystem.empty()) return std::nullopt;
  Uevent event;
  event.action = action;
  event.devpath = fields.devpath;
  event.subsystem = fields.subsystem;
  event.devtype = fields.devtype;
  event.devname = NameBelowDev(fields.devname);
  event.interface = fields.interface;
  return event;
}

std::optional<Uevent> UeventFromDevice(sd_device* device) {
  UdevEventFields fields;
  if (sd_device_get_action(device, &fields.action) < 0) return std::nullopt;
  fields.devpath = Field(device, sd_device_get_devpath);
  fields.subsystem = Field(device, sd_device_get_subsystem);
  fields.devtype = Field(device, sd_device_get_devtype);
  fields.devname = Field(device, sd_device_get_devname);
  fields.interface = Field(device, [](sd_device* d, const char** value) {
    return sd_device_get_property_value(d, "INTERFACE", value);
  });
  return UeventFromUdev(fields);
}

}  // namespace platform
