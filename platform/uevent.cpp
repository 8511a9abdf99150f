#include "platform/uevent.h"

namespace platform {
namespace {

constexpr uint32_t kInterfaceHeaderSize = 28;  // size, type, reserved, class
constexpr uint32_t kPortHeaderSize = 12;       // size, type, reserved

uint32_t NameBytes(std::string_view name) {
  return static_cast<uint32_t>(2 * (name.size() + 1));  // UTF-16 with terminator
}

DeviceBroadcast Interface(uint32_t event, std::string_view interface_class, std::string name) {
  const uint32_t size = kInterfaceHeaderSize + NameBytes(name);
  return DeviceBroadcast{event, DBT_DEVTYP_DEVICEINTERFACE, std::string(interface_class),
                         std::move(name), size};
}

DeviceBroadcast Port(uint32_t event, std::string name) {
  const uint32_t size = kPortHeaderSize + NameBytes(name);
  return DeviceBroadcast{event, DBT_DEVTYP_PORT, {}, std::move(name), size};
}

bool IsVirtual(const Uevent& event) {
  return event.devpath.starts_with("/devices/virtual/");
}

// The last element of a sysfs path.
std::string_view BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<Uevent> ParseUevent(std::string_view message) {
  const size_t header_end = message.find('\0');
  const std::string_view header = message.substr(0, header_end);
  const size_t at = header.find('@');
  if (at == std::string_view::npos || at == 0) return std::nullopt;  // also udev's "libudev"

  Uevent event;
  bool has_action = false, has_devpath = false, has_subsystem = false;
  size_t pos = header_end == std::string_view::npos ? message.size() : header_end + 1;
  while (pos < message.size()) {
    size_t end = message.find('\0', pos);
    if (end == std::string_view::npos) end = message.size();
    const std::string_view field = message.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = field.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = field.substr(0, eq);
    const std::string_view value = field.substr(eq + 1);
    if (key == "ACTION") {
      event.action = value;
      has_action = true;
    } else if (key == "DEVPATH") {
      event.devpath = value;
      has_devpath = true;
    } else if (key == "SUBSYSTEM") {
      event.subsystem = value;
      has_subsystem = true;
    } else if (key == "DEVTYPE") {
      event.devtype = value;
    } else if (key == "DEVNAME") {
      event.devname = value;
    } else if (key == "INTERFACE") {
      event.interface = value;
    }
  }
  if (!has_action || !has_devpath || !has_subsystem) return std::nullopt;
  if (event.action.empty() || event.devpath.empty()) return std::nullopt;
  if (header.substr(0, at) != event.action || header.substr(at + 1) != event.devpath) {
    return std::nullopt;
  }
  return event;
}

std::vector<DeviceBroadcast> BroadcastsForUevent(
    const Uevent& event, const std::function<bool(std::string_view devname)>& is_modem) {
  std::vector<DeviceBroadcast> out;
  uint32_t kind;
  if (event.action == "add") {
    kind = DBT_DEVICEARRIVAL;
  } else if (event.action == "remove") {
    kind = DBT_DEVICEREMOVECOMPLETE;
  } else {
    if ((event.action == "bind" || event.action == "unbind") &&
        (event.subsystem == "usb" || event.subsystem == "pci" || event.subsystem == "pcmcia")) {
      out.push_back(DeviceBroadcast{DBT_DEVNODES_CHANGED, 0, {}, {}, 0});
    }
    return out;
  }

  if (event.subsystem == "tty") {
    if (IsVirtual(event)) return out;
    const std::string name = event.devname.empty() ? std::string(BaseName(event.devpath))
                                                   : event.devname;
    out.push_back(Interface(kind, kInterfaceComPort, "/dev/" + name));
    out.push_back(Port(kind, name));
    if (is_modem && is_modem(name)) out.push_back(Interface(kind, kInterfaceModem, "/dev/" + name));
  } else if (event.subsystem == "usb-serial") {
    out.push_back(Interface(kind, kInterfaceSerialEnumerator, "/sys" + event.devpath));
  } else if (event.subsystem == "net") {
    if (IsVirtual(event)) return out;
    const std::string name =
        event.interface.empty() ? std::string(BaseName(event.devpath)) : event.interface;
    out.push_back(Interface(kind, kInterfaceNetwork, name));
  } else if (event.subsystem == "usb") {
    if (event.devtype == "usb_device") {
      out.push_back(Interface(kind, kInterfaceUsbDevice, "/sys" + event.devpath));
    } else if (event.devtype == "usb_interface" && event.interface.starts_with("11/")) {
      out.push_back(Interface(kind, kInterfaceSmartCardReader, "/sys" + event.devpath));
    }
    out.push_back(DeviceBroadcast{DBT_DEVNODES_CHANGED, 0, {}, {}, 0});
  } else if (event.subsystem == "pci" || event.subsystem == "pcmcia") {
    out.push_back(DeviceBroadcast{DBT_DEVNODES_CHANGED, 0, {}, {}, 0});
  }
  return out;
}

}  // namespace platform
