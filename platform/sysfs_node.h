// The nodes of the device tree as sysfs holds them, and how each one reads:
// USB devices and their interfaces, PCI and PC-card devices, and the tty and
// network interfaces their drivers create (a tty may stand for a port and a
// modem at once). Every call reads the files afresh: devices come and go, and
// a driver binds some time after its device appeared.
//
// This is the file I/O half of the sysfs device tree; it knows nothing of node
// numbers (SysfsDeviceTree hands those out).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/udev_properties.h"

namespace platform {

enum class SysfsNodeKind { UsbDevice, UsbInterface, PciDevice, PcmciaDevice, Port, Modem, Net };

// A node: its kind and its sysfs directory (for ports, modems and network
// adapters the class device's: ".../1-1.2:1.2/ttyUSB2/tty/ttyUSB2"). A port
// and a modem share one directory.
struct SysfsNodeRef {
  SysfsNodeKind kind = SysfsNodeKind::UsbDevice;
  std::string path;
  auto operator<=>(const SysfsNodeRef&) const = default;
};

// What a node shows of itself. Texts are UTF-8 as sysfs holds them.
struct SysfsNodeInfo {
  std::string enumerator;
  std::string class_guid;  // setup class; empty for none
  std::string instance_id;
  std::vector<std::string> hardware_ids;
  std::optional<std::string> device_desc;
  std::optional<std::string> friendly_name;
  std::optional<std::string> port_name;            // device key "PortName"
  std::optional<std::string> net_cfg_instance_id;  // driver key "NetCfgInstanceId"
  std::optional<std::string> enum_class_guid;      // enumeration key "ClassGUID"
  std::string driver;  // name of the bound driver; empty when none is bound
  std::string module;  // the kernel module behind that driver, when known
};

class SysfsReader {
 public:
  SysfsReader(std::string sys_root, std::string udev_data_root);

  // The devices of the bus the enumerator names ("USB", "PCI", "PCMCIA"),
  // interfaces left out, in name order. A bus the kernel lacks has none.
  std::vector<SysfsNodeRef> BusDevices(std::string_view enumerator) const;
  std::vector<SysfsNodeRef> Children(const SysfsNodeRef& node) const;
  std::optional<SysfsNodeRef> Parent(const SysfsNodeRef& node) const;
  // nullopt when the node's directory is gone or no longer reads as a node
  // of its kind.
  std::optional<SysfsNodeInfo> Read(const SysfsNodeRef& node) const;
  // The version of `module` (<sys>/module/<module>/version), when it has one.
  std::optional<uint64_t> ModuleVersion(const std::string& module) const;

 private:
  // Without `with_functions` an interface's class is left unread (what its
  // ttys and network interfaces are named after needs no more).
  std::optional<SysfsNodeInfo> ReadNode(const SysfsNodeRef& node, bool with_functions) const;

  std::string sys_;
  std::unique_ptr<UdevProperties> udev_;
};

}  // namespace platform
