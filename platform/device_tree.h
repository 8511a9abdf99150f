// The system's device tree as card detection sees it: present devices by bus
// enumerator or by setup class, their properties and registry values, node
// status, parent/child/sibling links, instance IDs, driver versions, and the
// device namespace ("\\.\name") in which ports and driver control devices are
// opened.
//
// Two backends implement it: SysfsDeviceTree reads the kernel's sysfs (and
// the udev database where present), SimDeviceTree is an in-memory tree that
// the simulated card and the tests build node by node. The backend is chosen
// once at start-up; everything above asks CurrentDeviceTree().
//
// Every call returns a Win32 error number (0 success). A node handle (DEVINST)
// stays valid while the node exists; a node that has gone away answers 55
// (device does not exist) and its number is never handed out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using DEVINST = uint32_t;  // 0 is "no node"

// Node status flags and problem numbers.
inline constexpr uint32_t DN_DRIVER_LOADED = 0x2;
inline constexpr uint32_t DN_STARTED = 0x8;
inline constexpr uint32_t DN_NEED_TO_ENUM = 0x20;
inline constexpr uint32_t DN_HAS_PROBLEM = 0x400;
inline constexpr uint32_t DN_WILL_BE_REMOVED = 0x40000;
inline constexpr uint32_t CM_PROB_NOT_CONFIGURED = 1;

// Setup classes, as GUID texts in upper case with braces.
inline constexpr std::string_view kDeviceClassModem = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kDeviceClassPorts = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kDeviceClassNet = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kDeviceClassSmartCardReader =
    "{50DD5230-BA8A-11D1-BF5D-0000F805F530}";
inline constexpr std::string_view kDeviceClassMultifunction =
    "{4D36E971-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::string_view kDeviceClassUsb = "{36FC9E60-C465-11CF-8056-444553540000}";

// Bus enumerators.
inline constexpr std::string_view kEnumeratorPcmcia = "PCMCIA";
inline constexpr std::string_view kEnumeratorUsb = "USB";
inline constexpr std::string_view kEnumeratorPci = "PCI";

// The properties card detection reads, numbered as the system numbers them.
enum class DeviceProperty : uint32_t {
  DeviceDesc = 0x0,    // SPDRP_DEVICEDESC
  HardwareId = 0x1,    // SPDRP_HARDWAREID
  FriendlyName = 0xC,  // SPDRP_FRIENDLYNAME
};

// A property as stored: its registry type (REG_SZ, REG_MULTI_SZ or anything
// else) and its texts in the OEM code page (one for REG_SZ, the items of a
// REG_MULTI_SZ in order; none for other types).
struct DevicePropertyValue {
  uint32_t type = 0;
  std::vector<std::string> texts;
};

// The two registry keys of a node: the device's own key (DIREG_DEV, holding
// "PortName") and its driver's key (DIREG_DRV, holding "NetCfgInstanceId").
enum class DeviceKeyKind { Device, Driver };

// Access rights for OpenDevice.
inline constexpr uint32_t kDeviceAccessNone = 0;  // presence only
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;

// A device opened in the device namespace. Closing is destruction.
class DeviceFile {
 public:
  virtual ~DeviceFile() = default;
  // Sends a driver control request. `returned` receives the bytes written
  // to `output`. Devices without a driver interface answer 1 (invalid
  // function).
  virtual uint32_t IoControl(uint32_t code, std::span<const uint8_t> input,
                             std::span<uint8_t> output, uint32_t& returned) = 0;
};

class DeviceTree {
 public:
  virtual ~DeviceTree() = default;

  // The present devices whose enumerator is `enumerator` (any setup class),
  // or of setup class `class_guid`, in a stable order (parents before
  // children, siblings in the order they appeared).
  virtual uint32_t PresentDevicesOfEnumerator(std::string_view enumerator,
                                              std::vector<DEVINST>& nodes) = 0;
  virtual uint32_t PresentDevicesOfClass(std::string_view class_guid,
                                         std::vector<DEVINST>& nodes) = 0;

  // 13 (invalid data) when the node has no such property.
  virtual uint32_t GetProperty(DEVINST node, DeviceProperty property,
                               DevicePropertyValue& value) = 0;

  // 0 when the node has a key of that kind (it may hold no values).
  virtual uint32_t OpenDeviceKey(DEVINST node, DeviceKeyKind kind) = 0;
  // A string value of that key; 2 when the value is absent.
  virtual uint32_t ReadDeviceKeyString(DEVINST node, DeviceKeyKind kind, std::u16string_view name,
                                       std::u16string& value) = 0;
  // A string value of the enumeration key of the device whose instance ID is
  // `instance_id` (case-insensitive), e.g. "ClassGUID". 2 when absent.
  virtual uint32_t ReadEnumKeyString(std::u16string_view instance_id, std::u16string_view name,
                                     std::u16string& value) = 0;

  virtual uint32_t GetStatus(DEVINST node, uint32_t& status, uint32_t& problem) = 0;
  // 2 when there is no such relative (no parent, no child, last sibling).
  virtual uint32_t GetParent(DEVINST node, DEVINST& parent) = 0;
  virtual uint32_t GetChild(DEVINST node, DEVINST& child) = 0;
  virtual uint32_t GetSibling(DEVINST node, DEVINST& sibling) = 0;
  virtual uint32_t GetDeviceId(DEVINST node, std::u16string& instance_id) = 0;

  // The version of the node's first compatible driver: major << 48 |
  // minor << 32 | build << 16 | revision. 2 when the node has no driver.
  virtual uint32_t GetCompatibleDriverVersion(DEVINST node, uint64_t& version) = 0;

  // The file-system path behind a device name: "\\.\ttyUSB2" is
  // /dev/ttyUSB2, an absolute path stands for itself, and a backend may
  // know names of its own. Any other text is returned as it is.
  virtual std::string DevicePath(std::u16string_view name) = 0;

  // Opens a device by name. With kDeviceAccessNone only its presence is
  // tested; with read/write access it is opened for this process alone, so
  // a device another program holds answers 5 (access denied). A missing
  // device answers 2.
  virtual uint32_t OpenDevice(std::u16string_view name, uint32_t access,
                              std::unique_ptr<DeviceFile>& file) = 0;

  // A driver control request sent on an open serial port (the port at
  // `path`): some card drivers answer requests on their application port.
  // Ports without such a driver answer 1 (invalid function).
  virtual uint32_t PortIoControl(const std::string& path, uint32_t code, std::span<const uint8_t> input,
                                 std::span<uint8_t> output, uint32_t& returned);
};

// The device tree of the running program (the sysfs one unless a test or
// the simulation mode installed another).
DeviceTree& CurrentDeviceTree();

// Installs `tree` as the current one for the life of the object.
class ScopedDeviceTree {
 public:
  explicit ScopedDeviceTree(DeviceTree& tree);
  ~ScopedDeviceTree();
  ScopedDeviceTree(const ScopedDeviceTree&) = delete;
  ScopedDeviceTree& operator=(const ScopedDeviceTree&) = delete;

 private:
  DeviceTree* previous_;
};

// The "\\.\" prefix of device names.
inline constexpr std::u16string_view kDeviceNamespacePrefix = u"\\\\.\\";

// "\\.\X" → "/dev/X" (X itself when absolute); other names unchanged. The
// rule both backends share.
std::string DefaultDevicePath(std::u16string_view name);

// Opens the device file at `path` as OpenDevice documents (presence only, or
// exclusively for reading and writing). The device has no driver interface:
// its IoControl answers 1. Both backends open paths this way.
uint32_t OpenDevicePath(const std::string& path, uint32_t access,
                        std::unique_ptr<DeviceFile>& file);

}  // namespace platform
