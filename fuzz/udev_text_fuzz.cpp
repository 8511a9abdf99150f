// Device node names and database record names come from the kernel's uevent
// files and udev's events; whatever bytes they hold, a node name must stay
// below /dev and a record name must stay in the database folder.
//
// The input is split at NULs into the fields subsystem, sysname, major,
// minor, ifindex; the whole input is also taken as one DEVNAME, and the
// first byte picks an action for an event made of the same fields.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/udev_event.h"
#include "platform/udev_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string_view name = platform::NameBelowDev(text);
  if (!name.empty()) {
    if (name.front() == '/' || name.back() == '/' || !text.ends_with(name)) __builtin_trap();
    if (name == ".." || name.starts_with("../") || name.find("/../") != std::string_view::npos ||
        name.ends_with("/..")) {
      __builtin_trap();
    }
  }

  std::vector<std::string_view> fields;
  for (std::string_view rest = text; fields.size() < 5;) {
    const size_t end = rest.find('\0');
    fields.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  fields.resize(5);
  const std::string record =
      platform::UdevRecordName(fields[0], fields[1], fields[2], fields[3], fields[4]);
  if (record.find('/') != std::string::npos || record.find('\0') != std::string::npos) {
    __builtin_trap();
  }

  platform::UdevEventFields event;
  event.action = static_cast<sd_device_action_t>(size == 0 ? -1 : data[0] % 10 - 1);
  event.devpath = fields[0];
  event.subsystem = fields[1];
  event.devtype = fields[2];
  event.devname = fields[3];
  event.interface = fields[4];
  const auto made = platform::UeventFromUdev(event);
  if (made && (made->action.empty() || made->devpath.empty() || made->subsystem.empty())) {
    __builtin_trap();
  }
  return 0;
}
