// The device tree of a Linux machine, read from sysfs (and the udev database
// where present). The roots are parameters so tests can point the tree at a
// fixture folder built to look like /sys, /dev and /run/udev.
//
// How sysfs maps onto the tree is written down in docs/architecture.md.
#pragma once

#include <memory>
#include <string>

#include "platform/device_tree.h"

namespace platform {

class SysfsDeviceTree final : public DeviceTree {
 public:
  struct Roots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string udev_data = "/run/udev/data";
  };

  SysfsDeviceTree();
  explicit SysfsDeviceTree(Roots roots);
  ~SysfsDeviceTree() override;

  uint32_t PresentDevicesOfEnumerator(std::string_view enumerator,
                                      std::vector<DEVINST>& nodes) override;
  uint32_t PresentDevicesOfClass(std::string_view class_guid, std::vector<DEVINST>& nodes) override;
  uint32_t GetProperty(DEVINST node, DeviceProperty property, DevicePropertyValue& value) override;
  uint32_t OpenDeviceKey(DEVINST node, DeviceKeyKind kind) override;
  uint32_t ReadDeviceKeyString(DEVINST node, DeviceKeyKind kind, std::u16string_view name,
                               std::u16string& value) override;
  uint32_t ReadEnumKeyString(std::u16string_view instance_id, std::u16string_view name,
                             std::u16string& value) override;
  uint32_t GetStatus(DEVINST node, uint32_t& status, uint32_t& problem) override;
  uint32_t GetParent(DEVINST node, DEVINST& parent) override;
  uint32_t GetChild(DEVINST node, DEVINST& child) override;
  uint32_t GetSibling(DEVINST node, DEVINST& sibling) override;
  uint32_t GetDeviceId(DEVINST node, std::u16string& instance_id) override;
  uint32_t GetCompatibleDriverVersion(DEVINST node, uint64_t& version) override;
  std::string DevicePath(std::u16string_view name) override;
  uint32_t OpenDevice(std::u16string_view name, uint32_t access,
                      std::unique_ptr<DeviceFile>& file) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The machine's own tree (sysfs at /sys), created on first use.
DeviceTree& SystemDeviceTree();

}  // namespace platform
