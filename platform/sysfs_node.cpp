#include "platform/sysfs_node.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/device_tree.h"
#include "platform/sysfs_file.h"
#include "platform/sysfs_text.h"
#include "platform/udev_text.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

constexpr size_t kAttributeLimit = kSysfsAttributeLimit;
// A serial number longer than this is cut in the instance ID (the program
// reads instance IDs of at most 127 characters in places).
constexpr size_t kMaxSerialInId = 64;
// How far above a tty or network interface its USB interface or PCI/PC-card
// device may sit (".../1-1.2:1.2/ttyUSB2/tty/ttyUSB2": two levels).
constexpr int kMaxFunctionDepth = 3;

std::optional<std::string> Attribute(const std::string& dir, std::string_view name) {
  auto text = ReadSysfsFile(dir + "/" + std::string(name), kAttributeLimit);
  if (!text) return std::nullopt;
  return std::string(TrimAttribute(*text));
}

std::optional<uint32_t> HexAttribute(const std::string& dir, std::string_view name,
                                     size_t max_digits) {
  auto text = Attribute(dir, name);
  if (!text) return std::nullopt;
  return ParseHexAttribute(*text, max_digits);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// A real directory: the links sysfs is full of ("driver", "subsystem",
// "port", "firmware_node") lead elsewhere, often upwards, and are not followed.
bool IsRealDir(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string DirName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos || slash == 0 ? path.substr(0, 1)
                                                                   : path.substr(0, slash));
}

std::string LinkBaseName(const std::string& link) {
  char target[4096];
  const ssize_t size = ::readlink(link.c_str(), target, sizeof target - 1);
  if (size <= 0) return {};
  return BaseName(std::string_view(target, static_cast<size_t>(size)));
}

std::optional<std::string> RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return std::nullopt;
  std::string out(real);
  std::free(real);
  return out;
}

// Orders "1-1.10" after "1-1.2" and "ttyUSB10" after "ttyUSB2".
bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t ei = i;
      size_t ej = j;
      while (ei < a.size() && digit(a[ei])) ++ei;
      while (ej < b.size() && digit(b[ej])) ++ej;
      std::string_view na = a.substr(i, ei - i);
      std::string_view nb = b.substr(j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The entries of `dir` (none when it cannot be read), in natural order.
std::vector<std::string> EntryNames(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> handle(::opendir(dir.c_str()));
  if (!handle) return names;
  while (const dirent* entry = ::readdir(handle.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

// The names of the real sub-directories of `dir`, in natural order.
std::vector<std::string> SubDirs(const std::string& dir) {
  std::vector<std::string> names = EntryNames(dir);
  std::erase_if(names, [&](const std::string& name) { return !IsRealDir(dir + "/" + name); });
  return names;
}

// The bus devices this tree knows, told apart by their "subsystem" link and
// the attributes each kind carries.
std::optional<SysfsNodeKind> DeviceKind(const std::string& dir) {
  const std::string subsystem = LinkBaseName(dir + "/subsystem");
  if (subsystem == "usb") {
    if (Exists(dir + "/idVendor")) return SysfsNodeKind::UsbDevice;
    if (Exists(dir + "/bInterfaceNumber")) return SysfsNodeKind::UsbInterface;
  } else if (subsystem == "pci") {
    if (Exists(dir + "/vendor")) return SysfsNodeKind::PciDevice;
  } else if (subsystem == "pcmcia") {
    return SysfsNodeKind::PcmciaDevice;
  }
  return std::nullopt;
}

bool IsFunctionKind(SysfsNodeKind kind) {
  return kind == SysfsNodeKind::UsbInterface || kind == SysfsNodeKind::PciDevice ||
         kind == SysfsNodeKind::PcmciaDevice;
}

// Instance IDs hold no blanks, controls or backslashes (the backslash
// separates their parts).
std::string IdText(std::string_view text, size_t limit) {
  std::string out;
  for (char c : text.substr(0, std::min(limit, text.size()))) {
    const auto byte = static_cast<unsigned char>(c);
    out += (byte <= 0x20 || byte >= 0x7F || c == '\\' || c == ',') ? '_' : c;
  }
  return out;
}

std::string Format(const char* format, uint32_t a, uint32_t b, uint32_t c = 0, uint32_t d = 0) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, format, a, b, c, d);
  return buffer;
}

// The bound driver and the kernel module behind it.
void ReadDriver(const std::string& dir, SysfsNodeInfo& info) {
  info.driver = LinkBaseName(dir + "/driver");
  if (info.driver.empty()) return;
  info.module = LinkBaseName(dir + "/driver/module");
  if (info.module.empty()) info.module = info.driver;
}

// What the sub-devices of a USB interface or PCI/PC-card device are named and
// identified after.
struct Function {
  SysfsNodeRef ref;
  SysfsNodeInfo info;
  std::string name_id;  // hardware ID without revision: "USB\VID_F1A1&PID_0101&MI_02"
};

// Which ttys stand for a modem as well as a port. Linux has no modem class,
// so the interface says it: a CDC-ACM interface with an AT command protocol,
// a vendor-specific interface served by a USB serial driver (the data cards'
// modem, AT and diagnostics ports all look like that; the card database's
// name picks the modem among them), every tty of a PC card (their modems are
// plain UARTs), and a PCI device of the modem class.
bool IsModemTty(const SysfsNodeRef& function, const std::string& tty_dir) {
  switch (function.kind) {
    case SysfsNodeKind::UsbInterface: {
      const auto cls = HexAttribute(function.path, "bInterfaceClass", 2);
      const auto sub = HexAttribute(function.path, "bInterfaceSubClass", 2);
      const auto protocol = HexAttribute(function.path, "bInterfaceProtocol", 2);
      if (cls == 0x02u && sub == 0x02u && protocol && *protocol >= 0x01 && *protocol <= 0x06) {
        return true;
      }
      return cls == 0xFFu && LinkBaseName(DirName(DirName(tty_dir)) + "/subsystem") == "usb-serial";
    }
    case SysfsNodeKind::PcmciaDevice:
      return true;
    case SysfsNodeKind::PciDevice: {
      const auto cls = HexAttribute(function.path, "class", 6);
      return cls && (*cls >> 8) == 0x0703;
    }
    case SysfsNodeKind::UsbDevice:
    case SysfsNodeKind::Port:
    case SysfsNodeKind::Modem:
    case SysfsNodeKind::Net:
      return false;
  }
  return false;
}

// The tty and network class devices a function's drivers created: in its own
// directory ("tty/ttyACM0", "net/wwan0") or one level down in a device that is
// none of ours ("ttyUSB2/tty/ttyUSB2" of a USB serial port, "virtio0/net/eth0").
std::vector<SysfsNodeRef> ClassDevices(const SysfsNodeRef& function) {
  std::vector<std::string> holders{function.path};
  for (const std::string& sub : SubDirs(function.path)) {
    if (sub == "tty" || sub == "net") continue;
    const std::string dir = function.path + "/" + sub;
    if (!DeviceKind(dir)) holders.push_back(dir);
  }
  std::vector<std::string> ttys;
  std::vector<std::string> nets;
  for (const std::string& holder : holders) {
    for (const std::string& name : SubDirs(holder + "/tty"))
      ttys.push_back(holder + "/tty/" + name);
    for (const std::string& name : SubDirs(holder + "/net"))
      nets.push_back(holder + "/net/" + name);
  }
  auto by_name = [](const std::string& a, const std::string& b) {
    return NaturalLess(BaseName(a), BaseName(b));
  };
  std::sort(ttys.begin(), ttys.end(), by_name);
  std::sort(nets.begin(), nets.end(), by_name);
  std::vector<SysfsNodeRef> nodes;
  for (const std::string& tty : ttys) {
    nodes.push_back({SysfsNodeKind::Port, tty});
    if (IsModemTty(function, tty)) nodes.push_back({SysfsNodeKind::Modem, tty});
  }
  for (const std::string& net : nets) nodes.push_back({SysfsNodeKind::Net, net});
  return nodes;
}

std::optional<SysfsNodeRef> FunctionOf(const std::string& class_device) {
  std::string dir = class_device;
  for (int level = 0; level < kMaxFunctionDepth; ++level) {
    const std::string up = DirName(dir);
    if (up == dir) break;
    dir = up;
    const auto kind = DeviceKind(dir);
    if (kind && IsFunctionKind(*kind)) return SysfsNodeRef{*kind, dir};
  }
  return std::nullopt;
}

}  // namespace

SysfsReader::SysfsReader(std::string sys_root, std::string udev_data_root)
    : sys_(std::move(sys_root)), udev_(MakeUdevProperties(sys_, udev_data_root)) {}

std::vector<SysfsNodeRef> SysfsReader::BusDevices(std::string_view enumerator) const {
  std::string bus;
  SysfsNodeKind kind;
  if (enumerator == kEnumeratorUsb) {
    bus = "usb";
    kind = SysfsNodeKind::UsbDevice;
  } else if (enumerator == kEnumeratorPci) {
    bus = "pci";
    kind = SysfsNodeKind::PciDevice;
  } else if (enumerator == kEnumeratorPcmcia) {
    bus = "pcmcia";
    kind = SysfsNodeKind::PcmciaDevice;
  } else {
    return {};
  }
  const std::string devices = sys_ + "/bus/" + bus + "/devices";
  std::vector<SysfsNodeRef> nodes;
  for (const std::string& name : EntryNames(devices)) {
    auto path = RealPath(devices + "/" + name);
    if (path && DeviceKind(*path) == kind) nodes.push_back({kind, *path});
  }
  return nodes;
}

std::vector<SysfsNodeRef> SysfsReader::Children(const SysfsNodeRef& node) const {
  switch (node.kind) {
    case SysfsNodeKind::UsbDevice: {
      std::vector<SysfsNodeRef> interfaces;
      for (const std::string& sub : SubDirs(node.path)) {
        const std::string dir = node.path + "/" + sub;
        if (DeviceKind(dir) == SysfsNodeKind::UsbInterface) {
          interfaces.push_back({SysfsNodeKind::UsbInterface, dir});
        }
      }
      return interfaces;
    }
    case SysfsNodeKind::UsbInterface:
    case SysfsNodeKind::PciDevice:
    case SysfsNodeKind::PcmciaDevice:
      return ClassDevices(node);
    case SysfsNodeKind::Port:
    case SysfsNodeKind::Modem:
    case SysfsNodeKind::Net:
      return {};
  }
  return {};
}

std::optional<SysfsNodeRef> SysfsReader::Parent(const SysfsNodeRef& node) const {
  switch (node.kind) {
    case SysfsNodeKind::UsbDevice:
    case SysfsNodeKind::PciDevice:
    case SysfsNodeKind::PcmciaDevice:
      return std::nullopt;
    case SysfsNodeKind::UsbInterface: {
      const std::string up = DirName(node.path);
      if (DeviceKind(up) == SysfsNodeKind::UsbDevice) {
        return SysfsNodeRef{SysfsNodeKind::UsbDevice, up};
      }
      return std::nullopt;
    }
    case SysfsNodeKind::Port:
    case SysfsNodeKind::Modem:
    case SysfsNodeKind::Net:
      return FunctionOf(node.path);
  }
  return std::nullopt;
}

std::optional<uint64_t> SysfsReader::ModuleVersion(const std::string& module) const {
  if (module.empty() || module.find('/') != std::string::npos) return std::nullopt;
  auto text = ReadSysfsFile(sys_ + "/module/" + module + "/version", kAttributeLimit);
  if (!text) return std::nullopt;
  return ParseVersionNumbers(*text);
}

std::optional<SysfsNodeInfo> SysfsReader::Read(const SysfsNodeRef& node) const {
  return ReadNode(node, true);
}

std::optional<SysfsNodeInfo> SysfsReader::ReadNode(const SysfsNodeRef& node,
                                                   bool with_functions) const {
  if (!IsRealDir(node.path)) return std::nullopt;

  // A USB device's vendor, product and revision, "VID_12D1&PID_1001".
  struct UsbIds {
    uint32_t vid, pid, rev;
  };
  auto usb_ids = [&](const std::string& dir) -> std::optional<UsbIds> {
    const auto vid = HexAttribute(dir, "idVendor", 4);
    const auto pid = HexAttribute(dir, "idProduct", 4);
    if (!vid || !pid) return std::nullopt;
    return UsbIds{*vid, *pid, HexAttribute(dir, "bcdDevice", 4).value_or(0)};
  };

  SysfsNodeInfo info;
  switch (node.kind) {
    case SysfsNodeKind::UsbDevice: {
      if (DeviceKind(node.path) != node.kind) return std::nullopt;
      const auto ids = usb_ids(node.path);
      if (!ids) return std::nullopt;
      info.enumerator = kEnumeratorUsb;
      info.class_guid = kDeviceClassUsb;
      info.enum_class_guid = info.class_guid;
      info.hardware_ids = {Format("USB\\VID_%04X&PID_%04X&REV_%04X", ids->vid, ids->pid, ids->rev),
                           Format("USB\\VID_%04X&PID_%04X", ids->vid, ids->pid)};
      const auto serial = Attribute(node.path, "serial");
      info.instance_id = info.hardware_ids[1] + "\\" +
                         (serial && !serial->empty() ? IdText(*serial, kMaxSerialInId)
                                                     : IdText(BaseName(node.path), kMaxSerialInId));
      info.device_desc = Attribute(node.path, "product");
      if (!info.device_desc || info.device_desc->empty()) {
        info.device_desc = udev_->Get(node.path, "ID_MODEL_FROM_DATABASE");
      }
      ReadDriver(node.path, info);
      return info;
    }
    case SysfsNodeKind::UsbInterface: {
      if (DeviceKind(node.path) != node.kind) return std::nullopt;
      const auto ids = usb_ids(DirName(node.path));
      const auto number = HexAttribute(node.path, "bInterfaceNumber", 2);
      if (!ids || !number) return std::nullopt;
      info.enumerator = kEnumeratorUsb;
      info.hardware_ids = {
          Format("USB\\VID_%04X&PID_%04X&REV_%04X&MI_%02X", ids->vid, ids->pid, ids->rev, *number),
          Format("USB\\VID_%04X&PID_%04X&MI_%02X", ids->vid, ids->pid, *number)};
      info.instance_id = info.hardware_ids[1] + "\\" + IdText(BaseName(node.path), kMaxSerialInId);
      if (auto text = Attribute(node.path, "interface"); text && !text->empty()) {
        info.device_desc = std::move(text);
      }
      ReadDriver(node.path, info);
      if (!with_functions) return info;
      // The setup class the interface's functions add up to, which is what
      // the card's composite driver would have registered for it.
      bool modem = false;
      bool net = false;
      bool port = false;
      for (const SysfsNodeRef& child : ClassDevices(node)) {
        modem = modem || child.kind == SysfsNodeKind::Modem;
        net = net || child.kind == SysfsNodeKind::Net;
        port = port || child.kind == SysfsNodeKind::Port;
      }
      if (modem && net) {
        info.enum_class_guid = std::string(kDeviceClassMultifunction);
      } else if (modem) {
        info.enum_class_guid = std::string(kDeviceClassModem);
      } else if (net) {
        info.enum_class_guid = std::string(kDeviceClassNet);
      } else if (port) {
        info.enum_class_guid = std::string(kDeviceClassPorts);
      }
      return info;
    }
    case SysfsNodeKind::PciDevice: {
      if (DeviceKind(node.path) != node.kind) return std::nullopt;
      const auto vendor = HexAttribute(node.path, "vendor", 4);
      const auto device = HexAttribute(node.path, "device", 4);
      if (!vendor || !device) return std::nullopt;
      const uint32_t subsystem = HexAttribute(node.path, "subsystem_device", 4).value_or(0) << 16 |
                                 HexAttribute(node.path, "subsystem_vendor", 4).value_or(0);
      const uint32_t cls = HexAttribute(node.path, "class", 6).value_or(0);
      const uint32_t revision = HexAttribute(node.path, "revision", 2).value_or(0);
      info.enumerator = kEnumeratorPci;
      info.hardware_ids = {
          Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X&REV_%02X", *vendor, *device, subsystem,
                 revision),
          Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X", *vendor, *device, subsystem),
          Format("PCI\\VEN_%04X&DEV_%04X&CC_%06X", *vendor, *device, cls),
          Format("PCI\\VEN_%04X&DEV_%04X", *vendor, *device)};
      info.instance_id = info.hardware_ids[0] + "\\" + IdText(BaseName(node.path), kMaxSerialInId);
      info.device_desc = udev_->Get(node.path, "ID_MODEL_FROM_DATABASE");
      ReadDriver(node.path, info);
      return info;
    }
    case SysfsNodeKind::PcmciaDevice: {
      if (DeviceKind(node.path) != node.kind) return std::nullopt;
      const uint32_t manf = HexAttribute(node.path, "manf_id", 4).value_or(0);
      const uint32_t card = HexAttribute(node.path, "card_id", 4).value_or(0);
      const auto vendor_text = Attribute(node.path, "prod_id1");
      const auto product_text = Attribute(node.path, "prod_id2");
      info.enumerator = kEnumeratorPcmcia;
      if (vendor_text && product_text && !vendor_text->empty() && !product_text->empty()) {
        info.hardware_ids.push_back("PCMCIA\\" + IdText(*vendor_text, kMaxSerialInId) + "-" +
                                    IdText(*product_text, kMaxSerialInId));
        info.device_desc = *vendor_text + " " + *product_text;
      }
      info.hardware_ids.push_back(Format("PCMCIA\\MANF_%04X&CARD_%04X", manf, card));
      info.instance_id =
          info.hardware_ids.back() + "\\" + IdText(BaseName(node.path), kMaxSerialInId);
      ReadDriver(node.path, info);
      return info;
    }
    case SysfsNodeKind::Port:
    case SysfsNodeKind::Modem:
    case SysfsNodeKind::Net: {
      const auto function_ref = FunctionOf(node.path);
      if (!function_ref) return std::nullopt;
      auto function = ReadNode(*function_ref, false);
      if (!function) return std::nullopt;
      const bool tty = node.kind != SysfsNodeKind::Net;
      if (node.kind == SysfsNodeKind::Modem && !IsModemTty(*function_ref, node.path)) {
        return std::nullopt;
      }
      if (tty && BaseName(DirName(node.path)) != "tty") return std::nullopt;
      if (!tty && BaseName(DirName(node.path)) != "net") return std::nullopt;
      // The name the system knows it by: the /dev name of a tty, the
      // interface name of a network adapter.
      std::string name = BaseName(node.path);
      if (tty) {
        if (const auto devname = udev_->Get(node.path, "DEVNAME")) {
          if (const std::string_view below = NameBelowDev(*devname); !below.empty()) {
            name = below;
          }
        }
      }
      // The function's hardware ID without its revision: the name the card
      // database picks sub-devices by.
      const std::string& name_id =
          function->hardware_ids.size() > 1 && function_ref->kind != SysfsNodeKind::PcmciaDevice
              ? function->hardware_ids[1]
              : function->hardware_ids.back();
      const std::string shown = name_id + " (" + name + ")";
      const size_t bus_end = name_id.find('\\');
      const std::string id_body =
          bus_end == std::string::npos ? name_id : name_id.substr(bus_end + 1);
      if (node.kind == SysfsNodeKind::Port) {
        info.enumerator = "TTY";
        info.class_guid = kDeviceClassPorts;
      } else if (node.kind == SysfsNodeKind::Modem) {
        info.enumerator = "MODEM";
        info.class_guid = kDeviceClassModem;
      } else {
        info.enumerator = "NET";
        info.class_guid = kDeviceClassNet;
      }
      info.enum_class_guid = info.class_guid;
      info.instance_id = info.enumerator + "\\" + id_body + "\\" + IdText(name, kMaxSerialInId);
      info.hardware_ids = function->hardware_ids;
      info.device_desc = shown;
      info.friendly_name = shown;
      if (tty) {
        info.port_name = name;
      } else {
        info.net_cfg_instance_id = name;
      }
      // The driver nearest to the class device: a USB serial port's own
      // ("option1"), else the function's.
      for (std::string dir = DirName(node.path); dir != function_ref->path && dir.size() > 1;
           dir = DirName(dir)) {
        ReadDriver(dir, info);
        if (!info.driver.empty()) break;
      }
      if (info.driver.empty()) {
        info.driver = function->driver;
        info.module = function->module;
      }
      return info;
    }
  }
  return std::nullopt;
}

}  // namespace platform
