#include "platform/sim_device_events.h"

#include "platform/device_notification.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr uint32_t kInterfaceHeaderSize = 28;
constexpr uint32_t kPortHeaderSize = 12;

uint32_t NameBytes(const std::string& name) { return static_cast<uint32_t>(2 * (name.size() + 1)); }

DeviceBroadcast Interface(uint32_t event, std::string_view interface_class, std::string name) {
  const uint32_t size = kInterfaceHeaderSize + NameBytes(name);
  return DeviceBroadcast{event, DBT_DEVTYP_DEVICEINTERFACE, std::string(interface_class),
                         std::move(name), size};
}

std::string KeyValue(const std::optional<std::map<std::u16string, std::u16string>>& key,
                     const std::u16string& name) {
  if (!key) return {};
  auto it = key->find(name);
  return it == key->end() ? std::string() : Utf16ToUtf8(it->second);
}

}  // namespace

std::vector<DeviceBroadcast> BroadcastsForSimChange(const SimDeviceTree::Change& change) {
  std::vector<DeviceBroadcast> out;
  const DeviceBroadcast nodes_changed{DBT_DEVNODES_CHANGED, 0, {}, {}, 0};
  if (change.kind == SimDeviceTree::ChangeKind::StatusChange) {
    out.push_back(nodes_changed);
    return out;
  }
  const uint32_t event = change.kind == SimDeviceTree::ChangeKind::Arrival
                             ? DBT_DEVICEARRIVAL
                             : DBT_DEVICEREMOVECOMPLETE;
  const SimDeviceTree::Node& node = change.what;
  const std::string instance = Utf16ToUtf8(node.instance_id);
  if (node.class_guid == kDeviceClassPorts) {
    const std::string port = KeyValue(node.device_key, u"PortName");
    out.push_back(Interface(event, kInterfaceComPort, instance));
    if (!port.empty()) {
      out.push_back(DeviceBroadcast{event, DBT_DEVTYP_PORT, {}, port, kPortHeaderSize + NameBytes(port)});
    }
  } else if (node.class_guid == kDeviceClassModem) {
    out.push_back(Interface(event, kInterfaceModem, instance));
  } else if (node.class_guid == kDeviceClassNet) {
    std::string name = KeyValue(node.driver_key, u"NetCfgInstanceId");
    out.push_back(Interface(event, kInterfaceNetwork, name.empty() ? instance : name));
  } else if (node.class_guid == kDeviceClassSmartCardReader) {
    out.push_back(Interface(event, kInterfaceSmartCardReader, instance));
  } else if (node.class_guid == kDeviceClassUsb) {
    out.push_back(Interface(event, kInterfaceUsbDevice, instance));
  }
  out.push_back(nodes_changed);
  return out;
}

SimDeviceEvents::SimDeviceEvents(SimDeviceTree& tree) : tree_(tree) {
  tree_.SetChangeListener([](const SimDeviceTree::Change& change) {
    for (const DeviceBroadcast& broadcast : BroadcastsForSimChange(change)) {
      BroadcastDeviceChange(broadcast);
    }
  });
}

SimDeviceEvents::~SimDeviceEvents() { tree_.SetChangeListener({}); }

}  // namespace platform
