#include "platform/sim_device_tree.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/ascii.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// Instance IDs and device names are compared as the system compares them:
// without regard to letter case.
std::u16string Folded(std::u16string_view text) {
  std::u16string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](char16_t c) { return AsciiToUpper(c); });
  return out;
}

class VirtualDeviceFile final : public DeviceFile {
 public:
  explicit VirtualDeviceFile(SimDeviceTree::IoControlHandler handler)
      : handler_(std::move(handler)) {}
  uint32_t IoControl(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                     uint32_t& returned) override {
    returned = 0;
    return handler_(code, input, output, returned);
  }

 private:
  SimDeviceTree::IoControlHandler handler_;
};

}  // namespace

struct SimDeviceTree::State {
  struct Entry {
    Node node;
    DEVINST parent = 0;
    std::vector<DEVINST> children;  // in the order they were added
  };

  mutable std::mutex mutex;
  // Keyed by handle; handles only grow, so this is also insertion order,
  // which puts every parent before its children.
  std::map<DEVINST, Entry> nodes;
  DEVINST next_handle = 1;
  std::map<std::u16string, std::string> device_paths;         // folded name -> path
  std::map<std::u16string, IoControlHandler> virtual_devices;  // folded name -> handler
  std::map<std::string, IoControlHandler> port_drivers;        // port path -> handler
  std::map<std::pair<Call, DEVINST>, uint32_t> faults;
  ChangeListener listener;

  // The fault set for `call` on `node`, else the one for every node; 0 none.
  uint32_t Fault(Call call, DEVINST node) const {
    auto it = faults.find({call, node});
    if (it == faults.end() && node != 0) it = faults.find({call, 0});
    return it == faults.end() ? 0 : it->second;
  }

  // Looks the node up after the fault check; null when it has gone.
  const Entry* Find(DEVINST node) const {
    auto it = nodes.find(node);
    return it == nodes.end() ? nullptr : &it->second;
  }

  // The subtree of `node`, children before their parents.
  void CollectPostOrder(DEVINST node, std::vector<DEVINST>& out) const {
    const Entry& entry = nodes.at(node);
    for (DEVINST child : entry.children) CollectPostOrder(child, out);
    out.push_back(node);
  }
};

DevicePropertyValue SimDeviceTree::Sz(std::string text) {
  DevicePropertyValue value;
  value.type = 1;  // REG_SZ
  value.texts.push_back(std::move(text));
  return value;
}

DevicePropertyValue SimDeviceTree::MultiSz(std::vector<std::string> texts) {
  DevicePropertyValue value;
  value.type = 7;  // REG_MULTI_SZ
  value.texts = std::move(texts);
  return value;
}

SimDeviceTree::SimDeviceTree() : state_(std::make_unique<State>()) {}
SimDeviceTree::~SimDeviceTree() = default;

DEVINST SimDeviceTree::Add(DEVINST parent, Node node) {
  ChangeListener listener;
  Change change{ChangeKind::Arrival, 0, {}};
  {
    std::lock_guard lock(state_->mutex);
    if (parent != 0 && state_->nodes.find(parent) == state_->nodes.end()) return 0;
    const DEVINST handle = state_->next_handle++;
    if (parent != 0) state_->nodes[parent].children.push_back(handle);
    state_->nodes[handle] = State::Entry{std::move(node), parent, {}};
    change.node = handle;
    listener = state_->listener;
    if (listener) change.what = state_->nodes[handle].node;
  }
  if (listener) listener(change);
  return change.node;
}

bool SimDeviceTree::Remove(DEVINST node) {
  ChangeListener listener;
  std::vector<Change> changes;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->nodes.find(node) == state_->nodes.end()) return false;
    std::vector<DEVINST> order;
    state_->CollectPostOrder(node, order);
    const DEVINST parent = state_->nodes[node].parent;
    if (parent != 0) std::erase(state_->nodes[parent].children, node);
    for (DEVINST gone : order) {
      auto it = state_->nodes.find(gone);
      changes.push_back(Change{ChangeKind::Removal, gone, std::move(it->second.node)});
      state_->nodes.erase(it);
    }
    listener = state_->listener;
  }
  if (listener) {
    for (const Change& change : changes) listener(change);
  }
  return true;
}

bool SimDeviceTree::Update(DEVINST node, const std::function<void(Node&)>& change) {
  ChangeListener listener;
  Change report{ChangeKind::StatusChange, node, {}};
  bool status_changed = false;
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->nodes.find(node);
    if (it == state_->nodes.end()) return false;
    Node& target = it->second.node;
    const uint32_t status = target.status;
    const uint32_t problem = target.problem;
    change(target);
    status_changed = target.status != status || target.problem != problem;
    if (status_changed) {
      listener = state_->listener;
      if (listener) report.what = target;
    }
  }
  if (listener) listener(report);
  return true;
}

bool SimDeviceTree::SetStatus(DEVINST node, uint32_t status, uint32_t problem) {
  return Update(node, [&](Node& target) {
    target.status = status;
    target.problem = problem;
  });
}

std::optional<SimDeviceTree::Node> SimDeviceTree::Get(DEVINST node) const {
  std::lock_guard lock(state_->mutex);
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return std::nullopt;
  return entry->node;
}

size_t SimDeviceTree::NodeCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->nodes.size();
}

void SimDeviceTree::AddDeviceName(std::u16string name, std::string path) {
  std::lock_guard lock(state_->mutex);
  const std::u16string key = Folded(name);
  state_->virtual_devices.erase(key);
  state_->device_paths[key] = std::move(path);
}

void SimDeviceTree::AddVirtualDevice(std::u16string name, IoControlHandler handler) {
  std::lock_guard lock(state_->mutex);
  const std::u16string key = Folded(name);
  state_->device_paths.erase(key);
  state_->virtual_devices[key] = std::move(handler);
}

void SimDeviceTree::RemoveDeviceName(std::u16string_view name) {
  std::lock_guard lock(state_->mutex);
  const std::u16string key = Folded(name);
  state_->device_paths.erase(key);
  state_->virtual_devices.erase(key);
}

void SimDeviceTree::AddPortDriver(std::string path, IoControlHandler handler) {
  std::lock_guard lock(state_->mutex);
  state_->port_drivers[std::move(path)] = std::move(handler);
}

void SimDeviceTree::RemovePortDriver(const std::string& path) {
  std::lock_guard lock(state_->mutex);
  state_->port_drivers.erase(path);
}

uint32_t SimDeviceTree::PortIoControl(const std::string& path, uint32_t code, std::span<const uint8_t> input,
                                      std::span<uint8_t> output, uint32_t& returned) {
  IoControlHandler handler;
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->port_drivers.find(path);
    if (it != state_->port_drivers.end()) handler = it->second;
  }
  if (!handler) return DeviceTree::PortIoControl(path, code, input, output, returned);
  returned = 0;
  return handler(code, input, output, returned);
}

void SimDeviceTree::FailCall(Call call, DEVINST node, uint32_t error) {
  std::lock_guard lock(state_->mutex);
  if (error == 0) {
    state_->faults.erase({call, node});
  } else {
    state_->faults[{call, node}] = error;
  }
}

void SimDeviceTree::SetChangeListener(ChangeListener listener) {
  std::lock_guard lock(state_->mutex);
  state_->listener = std::move(listener);
}

uint32_t SimDeviceTree::PresentDevicesOfEnumerator(std::string_view enumerator,
                                                   std::vector<DEVINST>& nodes) {
  nodes.clear();
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::PresentDevices, 0)) return fault;
  for (const auto& [handle, entry] : state_->nodes) {
    if (entry.node.enumerator == enumerator) nodes.push_back(handle);
  }
  return kErrorSuccess;
}

uint32_t SimDeviceTree::PresentDevicesOfClass(std::string_view class_guid,
                                              std::vector<DEVINST>& nodes) {
  nodes.clear();
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::PresentDevices, 0)) return fault;
  for (const auto& [handle, entry] : state_->nodes) {
    if (entry.node.class_guid == class_guid) nodes.push_back(handle);
  }
  return kErrorSuccess;
}

uint32_t SimDeviceTree::GetProperty(DEVINST node, DeviceProperty property,
                                    DevicePropertyValue& value) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetProperty, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  const std::optional<DevicePropertyValue>* stored = nullptr;
  switch (property) {
    case DeviceProperty::DeviceDesc:
      stored = &entry->node.device_desc;
      break;
    case DeviceProperty::HardwareId:
      stored = &entry->node.hardware_id;
      break;
    case DeviceProperty::FriendlyName:
      stored = &entry->node.friendly_name;
      break;
  }
  if (stored == nullptr || !stored->has_value()) return kErrorInvalidData;
  value = **stored;
  return kErrorSuccess;
}

namespace {

const std::optional<std::map<std::u16string, std::u16string>>& KeyOf(
    const SimDeviceTree::Node& node, DeviceKeyKind kind) {
  return kind == DeviceKeyKind::Device ? node.device_key : node.driver_key;
}

}  // namespace

uint32_t SimDeviceTree::OpenDeviceKey(DEVINST node, DeviceKeyKind kind) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::OpenDeviceKey, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  return KeyOf(entry->node, kind).has_value() ? kErrorSuccess : kErrorFileNotFound;
}

uint32_t SimDeviceTree::ReadDeviceKeyString(DEVINST node, DeviceKeyKind kind,
                                            std::u16string_view name, std::u16string& value) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::ReadDeviceKeyString, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  const auto& key = KeyOf(entry->node, kind);
  if (!key) return kErrorFileNotFound;
  auto it = key->find(std::u16string(name));
  if (it == key->end()) return kErrorFileNotFound;
  value = it->second;
  return kErrorSuccess;
}

uint32_t SimDeviceTree::ReadEnumKeyString(std::u16string_view instance_id,
                                          std::u16string_view name, std::u16string& value) {
  std::lock_guard lock(state_->mutex);
  const std::u16string wanted = Folded(instance_id);
  for (const auto& [handle, entry] : state_->nodes) {
    if (Folded(entry.node.instance_id) != wanted) continue;
    auto it = entry.node.enum_key.find(std::u16string(name));
    if (it == entry.node.enum_key.end()) return kErrorFileNotFound;
    value = it->second;
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

uint32_t SimDeviceTree::GetStatus(DEVINST node, uint32_t& status, uint32_t& problem) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetStatus, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  status = entry->node.status;
  problem = entry->node.problem;
  return kErrorSuccess;
}

uint32_t SimDeviceTree::GetParent(DEVINST node, DEVINST& parent) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetParent, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  if (entry->parent == 0) return kErrorFileNotFound;
  parent = entry->parent;
  return kErrorSuccess;
}

uint32_t SimDeviceTree::GetChild(DEVINST node, DEVINST& child) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetChild, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  if (entry->children.empty()) return kErrorFileNotFound;
  child = entry->children.front();
  return kErrorSuccess;
}

uint32_t SimDeviceTree::GetSibling(DEVINST node, DEVINST& sibling) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetSibling, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  // Roots are siblings of one another too, in the order they were added.
  std::vector<DEVINST> roots;
  const std::vector<DEVINST>* siblings = &roots;
  if (entry->parent != 0) {
    siblings = &state_->nodes.at(entry->parent).children;
  } else {
    for (const auto& [handle, other] : state_->nodes) {
      if (other.parent == 0) roots.push_back(handle);
    }
  }
  auto it = std::find(siblings->begin(), siblings->end(), node);
  if (it == siblings->end() || ++it == siblings->end()) return kErrorFileNotFound;
  sibling = *it;
  return kErrorSuccess;
}

uint32_t SimDeviceTree::GetDeviceId(DEVINST node, std::u16string& instance_id) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetDeviceId, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  instance_id = entry->node.instance_id;
  return kErrorSuccess;
}

uint32_t SimDeviceTree::GetCompatibleDriverVersion(DEVINST node, uint64_t& version) {
  std::lock_guard lock(state_->mutex);
  if (uint32_t fault = state_->Fault(Call::GetCompatibleDriverVersion, node)) return fault;
  const State::Entry* entry = state_->Find(node);
  if (entry == nullptr) return kErrorDevNotExist;
  if (!entry->node.driver_version) return kErrorFileNotFound;
  version = *entry->node.driver_version;
  return kErrorSuccess;
}

std::string SimDeviceTree::DevicePath(std::u16string_view name) {
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->device_paths.find(Folded(name));
    if (it != state_->device_paths.end()) return it->second;
  }
  return DefaultDevicePath(name);
}

uint32_t SimDeviceTree::OpenDevice(std::u16string_view name, uint32_t access,
                                   std::unique_ptr<DeviceFile>& file) {
  file.reset();
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->virtual_devices.find(Folded(name));
    if (it != state_->virtual_devices.end()) {
      file = std::make_unique<VirtualDeviceFile>(it->second);
      return kErrorSuccess;
    }
  }
  return OpenDevicePath(DevicePath(name), access, file);
}

}  // namespace platform
