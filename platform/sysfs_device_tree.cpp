#include "platform/sysfs_device_tree.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <cerrno>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/serial_port.h"
#include "platform/sysfs_node.h"
#include "platform/sysfs_text.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// sysfs texts are UTF-8; properties travel in the OEM code page.
std::string ToOem(std::string_view utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(kCpOemCp, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(kCpOemCp, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// The running kernel's release numbers ("6.1.0-18-amd64" → 6.1.0.18).
std::optional<uint64_t> KernelVersion() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return ParseVersionNumbers(names.release);
}

constexpr std::string_view kBusEnumerators[] = {kEnumeratorUsb, kEnumeratorPci, kEnumeratorPcmcia};

}  // namespace

struct SysfsDeviceTree::State {
  explicit State(Roots r) : roots(std::move(r)), reader(roots.sys, roots.udev_data) {}

  // A number is tied to a node's directory as it was when the number was
  // handed out: a directory made anew under the same path (a card pulled and
  // plugged back) is a new node.
  struct Identity {
    DEVINST number;
    dev_t device;
    ino_t inode;
  };

  // The node's number, handed out on first sight; 0 when its directory is
  // gone (or the numbers ran out).
  DEVINST Assign(const SysfsNodeRef& ref) {
    struct stat info {};
    if (::stat(ref.path.c_str(), &info) != 0) return 0;
    auto it = numbers.find(ref);
    if (it != numbers.end()) {
      if (it->second.device == info.st_dev && it->second.inode == info.st_ino) {
        return it->second.number;
      }
      nodes.erase(it->second.number);
      numbers.erase(it);
    }
    if (next == std::numeric_limits<DEVINST>::max()) return 0;
    const DEVINST number = next++;
    numbers.emplace(ref, Identity{number, info.st_dev, info.st_ino});
    nodes.emplace(number, ref);
    return number;
  }

  void Forget(DEVINST number) {
    auto it = nodes.find(number);
    if (it == nodes.end()) return;
    numbers.erase(it->second);
    nodes.erase(it);
  }

  // The node behind a number while its directory is the one it was.
  std::optional<SysfsNodeRef> Resolve(DEVINST number) {
    auto it = nodes.find(number);
    if (it == nodes.end()) return std::nullopt;
    const SysfsNodeRef ref = it->second;
    const Identity& identity = numbers.at(ref);
    struct stat info {};
    if (::stat(ref.path.c_str(), &info) != 0 || info.st_dev != identity.device ||
        info.st_ino != identity.inode) {
      Forget(number);
      return std::nullopt;
    }
    return ref;
  }

  // Resolve and read: nullopt (55) for a node that has gone.
  std::optional<SysfsNodeInfo> ReadNode(DEVINST number) {
    auto ref = Resolve(number);
    if (!ref) return std::nullopt;
    auto info = reader.Read(*ref);
    if (!info) Forget(number);
    return info;
  }

  // Every node present, parents before children, with its number. Numbers
  // of nodes no longer present are dropped on the way: they are never
  // handed out again.
  struct Present {
    DEVINST number;
    SysfsNodeInfo info;
  };
  std::vector<Present> Walk() {
    std::vector<Present> present;
    std::set<DEVINST> seen;
    auto visit = [&](auto& self, const SysfsNodeRef& ref) -> void {
      auto info = reader.Read(ref);
      if (!info) return;
      const DEVINST number = Assign(ref);
      if (number == 0) return;
      seen.insert(number);
      present.push_back({number, std::move(*info)});
      for (const SysfsNodeRef& child : reader.Children(ref)) self(self, child);
    };
    for (std::string_view bus : kBusEnumerators) {
      for (const SysfsNodeRef& root : reader.BusDevices(bus)) visit(visit, root);
    }
    for (auto it = nodes.begin(); it != nodes.end();) {
      if (seen.count(it->first) == 0) {
        numbers.erase(it->second);
        it = nodes.erase(it);
      } else {
        ++it;
      }
    }
    return present;
  }

  Roots roots;
  SysfsReader reader;
  std::mutex mutex;
  std::map<SysfsNodeRef, Identity> numbers;
  std::map<DEVINST, SysfsNodeRef> nodes;
  DEVINST next = 1;
};

SysfsDeviceTree::SysfsDeviceTree() : SysfsDeviceTree(Roots{}) {}

SysfsDeviceTree::SysfsDeviceTree(Roots roots) : state_(std::make_unique<State>(std::move(roots))) {}

SysfsDeviceTree::~SysfsDeviceTree() = default;

uint32_t SysfsDeviceTree::PresentDevicesOfEnumerator(std::string_view enumerator,
                                                     std::vector<DEVINST>& nodes) {
  std::lock_guard lock(state_->mutex);
  nodes.clear();
  for (const State::Present& node : state_->Walk()) {
    if (AsciiEqualsIgnoreCase(node.info.enumerator, enumerator)) nodes.push_back(node.number);
  }
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::PresentDevicesOfClass(std::string_view class_guid,
                                                std::vector<DEVINST>& nodes) {
  std::lock_guard lock(state_->mutex);
  nodes.clear();
  for (const State::Present& node : state_->Walk()) {
    if (!node.info.class_guid.empty() && AsciiEqualsIgnoreCase(node.info.class_guid, class_guid)) {
      nodes.push_back(node.number);
    }
  }
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::GetProperty(DEVINST node, DeviceProperty property,
                                      DevicePropertyValue& value) {
  std::lock_guard lock(state_->mutex);
  const auto info = state_->ReadNode(node);
  if (!info) return kErrorDevNotExist;
  const std::optional<std::string>* text = nullptr;
  switch (property) {
    case DeviceProperty::HardwareId:
      if (info->hardware_ids.empty()) return kErrorInvalidData;
      value.type = REG_MULTI_SZ;
      value.texts.clear();
      for (const std::string& id : info->hardware_ids) value.texts.push_back(ToOem(id));
      return kErrorSuccess;
    case DeviceProperty::DeviceDesc:
      text = &info->device_desc;
      break;
    case DeviceProperty::FriendlyName:
      text = &info->friendly_name;
      break;
  }
  if (text == nullptr || !text->has_value()) return kErrorInvalidData;
  value.type = REG_SZ;
  value.texts = {ToOem(**text)};
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::OpenDeviceKey(DEVINST node, DeviceKeyKind kind) {
  std::lock_guard lock(state_->mutex);
  const auto info = state_->ReadNode(node);
  if (!info) return kErrorDevNotExist;
  // Every node has its own key; the driver's key exists once a driver is bound.
  if (kind == DeviceKeyKind::Driver && info->driver.empty()) return kErrorFileNotFound;
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::ReadDeviceKeyString(DEVINST node, DeviceKeyKind kind,
                                              std::u16string_view name, std::u16string& value) {
  std::lock_guard lock(state_->mutex);
  const auto info = state_->ReadNode(node);
  if (!info) return kErrorDevNotExist;
  const std::optional<std::string>* found = nullptr;
  switch (kind) {
    case DeviceKeyKind::Device:
      if (AsciiEqualsIgnoreCase(name, u"PortName")) found = &info->port_name;
      break;
    case DeviceKeyKind::Driver:
      if (info->driver.empty()) return kErrorFileNotFound;
      if (AsciiEqualsIgnoreCase(name, u"NetCfgInstanceId")) found = &info->net_cfg_instance_id;
      break;
  }
  if (found == nullptr || !found->has_value()) return kErrorFileNotFound;
  value = Utf8ToUtf16(**found);
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::ReadEnumKeyString(std::u16string_view instance_id,
                                            std::u16string_view name, std::u16string& value) {
  std::lock_guard lock(state_->mutex);
  if (!AsciiEqualsIgnoreCase(name, u"ClassGUID")) return kErrorFileNotFound;
  for (const State::Present& node : state_->Walk()) {
    if (!AsciiEqualsIgnoreCase(Utf8ToUtf16(node.info.instance_id), instance_id)) continue;
    if (!node.info.enum_class_guid) return kErrorFileNotFound;
    value = Utf8ToUtf16(*node.info.enum_class_guid);
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

uint32_t SysfsDeviceTree::GetStatus(DEVINST node, uint32_t& status, uint32_t& problem) {
  std::lock_guard lock(state_->mutex);
  const auto info = state_->ReadNode(node);
  if (!info) return kErrorDevNotExist;
  // A device without a bound driver is one the system has not set up (yet).
  if (info->driver.empty()) {
    status = DN_HAS_PROBLEM;
    problem = CM_PROB_NOT_CONFIGURED;
  } else {
    status = DN_DRIVER_LOADED | DN_STARTED;
    problem = 0;
  }
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::GetParent(DEVINST node, DEVINST& parent) {
  std::lock_guard lock(state_->mutex);
  const auto ref = state_->Resolve(node);
  if (!ref) return kErrorDevNotExist;
  const auto up = state_->reader.Parent(*ref);
  const DEVINST number = up ? state_->Assign(*up) : 0;
  if (number == 0) return kErrorFileNotFound;
  parent = number;
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::GetChild(DEVINST node, DEVINST& child) {
  std::lock_guard lock(state_->mutex);
  const auto ref = state_->Resolve(node);
  if (!ref) return kErrorDevNotExist;
  for (const SysfsNodeRef& down : state_->reader.Children(*ref)) {
    if (const DEVINST number = state_->Assign(down)) {
      child = number;
      return kErrorSuccess;
    }
  }
  return kErrorFileNotFound;
}

uint32_t SysfsDeviceTree::GetSibling(DEVINST node, DEVINST& sibling) {
  std::lock_guard lock(state_->mutex);
  const auto ref = state_->Resolve(node);
  if (!ref) return kErrorDevNotExist;
  // Devices at the top of the tree (USB, PCI and PC-card devices) have no
  // parent and so no siblings.
  const auto up = state_->reader.Parent(*ref);
  if (!up) return kErrorFileNotFound;
  const std::vector<SysfsNodeRef> family = state_->reader.Children(*up);
  for (auto it = family.begin(); it != family.end(); ++it) {
    if (*it != *ref) continue;
    for (++it; it != family.end(); ++it) {
      if (const DEVINST number = state_->Assign(*it)) {
        sibling = number;
        return kErrorSuccess;
      }
    }
    break;
  }
  return kErrorFileNotFound;
}

uint32_t SysfsDeviceTree::GetDeviceId(DEVINST node, std::u16string& instance_id) {
  std::lock_guard lock(state_->mutex);
  const auto info = state_->ReadNode(node);
  if (!info) return kErrorDevNotExist;
  instance_id = Utf8ToUtf16(info->instance_id);
  return kErrorSuccess;
}

uint32_t SysfsDeviceTree::GetCompatibleDriverVersion(DEVINST node, uint64_t& version) {
  std::lock_guard lock(state_->mutex);
  const auto info = state_->ReadNode(node);
  if (!info) return kErrorDevNotExist;
  if (info->driver.empty()) return kErrorFileNotFound;
  // Most modules of the kernel's own tree carry no version of their own: they
  // are as new as the kernel they came with.
  auto found = state_->reader.ModuleVersion(info->module);
  if (!found) found = KernelVersion();
  if (!found) return kErrorFileNotFound;
  version = *found;
  return kErrorSuccess;
}

std::string SysfsDeviceTree::DevicePath(std::u16string_view name) {
  if (!name.starts_with(kDeviceNamespacePrefix)) return Utf16ToUtf8(name);
  std::string rest = Utf16ToUtf8(name.substr(kDeviceNamespacePrefix.size()));
  if (rest.starts_with('/')) return rest;
  return state_->roots.dev + "/" + rest;
}

uint32_t SysfsDeviceTree::OpenDevice(std::u16string_view name, uint32_t access,
                                     std::unique_ptr<DeviceFile>& file) {
  file.reset();
  return OpenDevicePath(DevicePath(name), access, file);
}

DeviceTree& SystemDeviceTree() {
  static SysfsDeviceTree tree;
  return tree;
}

}  // namespace platform
