// An in-memory device tree. The simulated card inserts its nodes into it when
// plugged and removes them when pulled; tests build trees of any shape with it
// and make single calls fail on purpose. Every property, key value and status
// the DeviceTree interface offers can be set per node.
//
// Thread-safe: the simulated card changes the tree on its own thread while
// card detection reads it on the worker thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_tree.h"

namespace platform {

class SimDeviceTree final : public DeviceTree {
 public:
  // Everything a node carries. Texts of properties are in the OEM code page.
  struct Node {
    std::string enumerator;  // "USB", "PCMCIA", "PCI", or empty
    std::string class_guid;  // setup class, or empty
    std::u16string instance_id;
    std::optional<DevicePropertyValue> hardware_id;
    std::optional<DevicePropertyValue> friendly_name;
    std::optional<DevicePropertyValue> device_desc;
    // Values of the device (DIREG_DEV) and driver (DIREG_DRV) keys; a key
    // that is absent cannot be opened.
    std::optional<std::map<std::u16string, std::u16string>> device_key;
    std::optional<std::map<std::u16string, std::u16string>> driver_key;
    // Values of the enumeration key (e.g. "ClassGUID").
    std::map<std::u16string, std::u16string> enum_key;
    uint32_t status = DN_DRIVER_LOADED | DN_STARTED;
    uint32_t problem = 0;
    std::optional<uint64_t> driver_version;
  };

  // Shorthands for the common property forms.
  static DevicePropertyValue Sz(std::string text);
  static DevicePropertyValue MultiSz(std::vector<std::string> texts);

  // What changed, for whoever watches the tree (the notification backend).
  enum class ChangeKind { Arrival, Removal, StatusChange };
  struct Change {
    ChangeKind kind;
    DEVINST node;
    Node what;  // the node as it is (or was, for a removal)
  };
  using ChangeListener = std::function<void(const Change&)>;

  // The calls a test can make fail; `node` 0 means every node.
  enum class Call {
    PresentDevices,  // both enumeration forms
    GetProperty,
    OpenDeviceKey,
    ReadDeviceKeyString,
    GetStatus,
    GetParent,
    GetChild,
    GetSibling,
    GetDeviceId,
    GetCompatibleDriverVersion,
  };

  // A driver control request handler of a virtual device.
  using IoControlHandler = std::function<uint32_t(uint32_t code, std::span<const uint8_t> input,
                                                  std::span<uint8_t> output, uint32_t& returned)>;

  SimDeviceTree();
  ~SimDeviceTree() override;

  // Inserts `node` as the last child of `parent` (0: a root). Returns its
  // handle, or 0 when `parent` does not exist.
  DEVINST Add(DEVINST parent, Node node);
  // Removes the node with its whole subtree, children first. False when the
  // node does not exist.
  bool Remove(DEVINST node);
  // Changes a node in place; false when it does not exist. A change of
  // status is reported to the listener.
  bool Update(DEVINST node, const std::function<void(Node&)>& change);
  bool SetStatus(DEVINST node, uint32_t status, uint32_t problem = 0);
  // A copy of the node, if it exists.
  std::optional<Node> Get(DEVINST node) const;
  size_t NodeCount() const;

  // Device names: `name` ("\\.\VLATP0") opens the file at `path` (e.g. the
  // slave side of a pseudo-terminal) ...
  void AddDeviceName(std::u16string name, std::string path);
  // ... or a virtual device answering control requests with `handler`.
  void AddVirtualDevice(std::u16string name, IoControlHandler handler);
  void RemoveDeviceName(std::u16string_view name);
  // A driver that answers control requests on the serial port at `path`
  // (PortIoControl); one per path, a later one replaces it.
  void AddPortDriver(std::string path, IoControlHandler handler);
  void RemovePortDriver(const std::string& path);

  // From now on `call` (for `node`, or every node with 0) fails with `error`;
  // error 0 clears the fault.
  void FailCall(Call call, DEVINST node, uint32_t error);

  // Called after each change, outside the tree's lock, on the changing
  // thread. One listener; an empty function removes it.
  void SetChangeListener(ChangeListener listener);

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
  // The port driver's answer, outside the tree's lock; 1 for a path without one.
  uint32_t PortIoControl(const std::string& path, uint32_t code, std::span<const uint8_t> input,
                         std::span<uint8_t> output, uint32_t& returned) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
