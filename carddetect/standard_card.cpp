#include "carddetect/standard_card.h"

#include <algorithm>
#include <string>
#include <vector>

#include "carddetect/card_state.h"
#include "carddetect/detection_state.h"
#include "carddetect/device_node.h"
#include "carddetect/device_text.h"
#include "carddetect/enumeration.h"
#include "carddetect/port_probe.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"

using platform::CurrentDeviceTree;
using platform::DEVINST;

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegMultiSz = 7;
constexpr unsigned kNoInterface = 0x100;  // sorts after every interface number

struct PortCandidate {
  std::u16string port_name;  // below /dev: "ttyUSB2"
  DEVINST port_node = 0;     // the node its probe result is kept by
  DEVINST modem_node = 0;    // its Modem node; 0 when it has none
  unsigned interface_number = kNoInterface;
};

// Shorter names first, so that ttyUSB10 comes after ttyUSB9.
bool NameLess(const std::u16string& a, const std::u16string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::u16string InstanceId(DEVINST node) {
  std::u16string id;
  if (CurrentDeviceTree().GetDeviceId(node, id) != 0) id.clear();
  return id;
}

// The device's hardware IDs, first (reported) one first; empty when they
// cannot be read.
std::vector<std::u16string> HardwareIds(DEVINST node) {
  platform::DevicePropertyValue value;
  if (CurrentDeviceTree().GetProperty(node, platform::DeviceProperty::HardwareId, value) != 0) return {};
  if (value.type != kRegSz && value.type != kRegMultiSz) return {};
  std::u16string list;
  for (const std::string& text : value.texts) {
    if (!list.empty()) list += u',';
    list += OemToUtf16(text);
  }
  std::vector<std::u16string> ids;
  for (std::u16string_view id : SplitList(list)) {
    if (!id.empty()) ids.emplace_back(id);
  }
  return ids;
}

// A tty of the device itself or of one of its interfaces; a tty of a device
// behind a hub belongs to that device, not to the hub.
bool IsPortOfDevice(DEVINST port, DEVINST device) {
  platform::DeviceTree& tree = CurrentDeviceTree();
  DEVINST parent = 0;
  if (tree.GetParent(port, parent) != 0) return false;
  if (parent == device) return true;
  DEVINST grandparent = 0;
  if (tree.GetParent(parent, grandparent) != 0 || grandparent != device) return false;
  return InterfaceNumberInId(InstanceId(parent)).has_value();
}

std::vector<PortCandidate> PortCandidates(DEVINST device) {
  platform::DeviceTree& tree = CurrentDeviceTree();
  std::vector<PortCandidate> candidates;
  for (std::string_view class_guid : {platform::kDeviceClassPorts, platform::kDeviceClassModem}) {
    const bool modem_class = class_guid == platform::kDeviceClassModem;
    std::vector<DEVINST> nodes;
    if (tree.PresentDevicesOfClass(class_guid, nodes) != 0) continue;
    for (DEVINST node : nodes) {
      if (!IsPortOfDevice(node, device)) continue;
      std::u16string name;
      if (tree.ReadDeviceKeyString(node, platform::DeviceKeyKind::Device, u"PortName", name) != 0 || name.empty()) {
        continue;
      }
      auto known = std::find_if(candidates.begin(), candidates.end(),
                                [&name](const PortCandidate& c) { return c.port_name == name; });
      if (known == candidates.end()) {
        PortCandidate candidate;
        candidate.port_name = name;
        candidate.port_node = node;
        std::optional<unsigned> number = InterfaceNumberInId(InstanceId(node));
        DEVINST parent = 0;
        if (!number && tree.GetParent(node, parent) == 0) number = InterfaceNumberInId(InstanceId(parent));
        candidate.interface_number = number.value_or(kNoInterface);
        candidates.push_back(std::move(candidate));
        known = candidates.end() - 1;
      }
      if (modem_class && known->modem_node == 0) known->modem_node = node;
    }
  }
  std::stable_sort(candidates.begin(), candidates.end(), [](const PortCandidate& a, const PortCandidate& b) {
    if (a.interface_number != b.interface_number) return a.interface_number < b.interface_number;
    return NameLess(a.port_name, b.port_name);
  });
  return candidates;
}

// The USB devices (not their interfaces) that no database entry names, with
// their first hardware ID, in the tree's order.
struct UnknownDevice {
  DEVINST node = 0;
  std::u16string first_hardware_id;
};

std::vector<UnknownDevice> UnknownUsbDevices(const std::vector<CardDbEntry>& table) {
  std::vector<DEVINST> nodes;
  if (CurrentDeviceTree().PresentDevicesOfEnumerator(platform::kEnumeratorUsb, nodes) != 0) return {};
  std::vector<UnknownDevice> devices;
  for (DEVINST node : nodes) {
    const std::vector<std::u16string> ids = HardwareIds(node);
    if (ids.empty() || InterfaceNumberInId(ids.front())) continue;
    const std::vector<std::u16string_view> views(ids.begin(), ids.end());
    if (CardDbNamesDevice(table, kCardBusUsb, views)) continue;
    devices.push_back({node, ids.front()});
  }
  return devices;
}

std::u16string FriendlyName(DEVINST node) {
  platform::DevicePropertyValue value;
  if (CurrentDeviceTree().GetProperty(node, platform::DeviceProperty::FriendlyName, value) != 0 ||
      value.texts.empty()) {
    return {};
  }
  return OemToUtf16(value.texts.front());
}

std::u16string PortDeviceName(const PortCandidate& port) {
  return std::u16string(platform::kDeviceNamespacePrefix) + port.port_name;
}

struct DevicePorts {
  std::vector<const PortCandidate*> answering;  // at most two
  const PortCandidate* held = nullptr;          // the first port another program would not give up
};

// The answering ports of the device, probing those that were never probed.
// A port another program holds is taken over from ModemManager where it is
// the holder (held_ports.h).
DevicePorts AnsweringPorts(const std::vector<PortCandidate>& candidates, NwLibraryState& state) {
  std::map<DEVINST, bool>& probed = state.probed_ports;
  DevicePorts ports;
  for (const PortCandidate& candidate : candidates) {
    if (ports.answering.size() == 2) break;
    const auto known = probed.find(candidate.port_node);
    if (known != probed.end()) {
      if (known->second) ports.answering.push_back(&candidate);
      continue;
    }
    const std::string path = CurrentDeviceTree().DevicePath(PortDeviceName(candidate));
    PortProbeResult result = ProbePort(path);
    if (result == PortProbeResult::kBusy) {
      state.held_ports.TakeOver(candidate.port_node, path, [&result, &path] {
        result = ProbePort(path);
        return result == PortProbeResult::kBusy;
      });
    }
    XLogLevel(kXLogTrace, "Nw: Port %s (devnode 0x%x) %s", Narrow(candidate.port_name).c_str(), candidate.port_node,
              PortProbeResultName(result));
    if (result != PortProbeResult::kBusy && state.held_ports.Freed(candidate.port_node)) {
      SendNotification(NwEventReasonCardHeld);
    }
    switch (result) {
      case PortProbeResult::kAnswered:
        probed[candidate.port_node] = true;
        ports.answering.push_back(&candidate);
        break;
      case PortProbeResult::kSilent:
      case PortProbeResult::kNotSerial:
        probed[candidate.port_node] = false;
        break;
      case PortProbeResult::kBusy:
        // Asked again once it is free.
        if (ports.held == nullptr) ports.held = &candidate;
        break;
      case PortProbeResult::kUnavailable:
        // Asked again once its device node is there.
        break;
    }
  }
  return ports;
}

struct PortRoles {
  const PortCandidate* app;
  const PortCandidate* modem;
};

PortRoles ChoosePortRoles(const std::vector<PortCandidate>& candidates,
                          const std::vector<const PortCandidate*>& answering) {
  if (answering.size() > 1) {
    // Where the system tells a modem from a plain port (a Modem node for
    // one of the two only), the modem is the modem, whichever interface
    // comes first.
    if (answering[0]->modem_node != 0 && answering[1]->modem_node == 0) return {answering[1], answering[0]};
    return {answering[0], answering[1]};
  }
  // A CDC-ACM modem's data port may keep quiet until it is used, yet its
  // interface says it speaks AT.
  for (const PortCandidate& candidate : candidates) {
    if (&candidate != answering[0] && candidate.modem_node != 0 && candidate.port_name.starts_with(u"ttyACM")) {
      return {answering[0], &candidate};
    }
  }
  return {answering[0], answering[0]};
}

void FillRecord(NwLibraryState& state, const UnknownDevice& device, const PortCandidate& app,
                const PortCandidate& modem) {
  const bool multiplexing = &app != &modem;
  NwCardInfo& info = state.card_info;
  DetectionState& detection = state.detection;
  detection = DetectionState{};
  detection.standard_card = true;
  detection.first_hardware_id = device.first_hardware_id.substr(0, kNwCardInfoTextMax);
  detection.modem_node = modem.modem_node != 0 ? modem.modem_node : modem.port_node;
  detection.app_port_node = multiplexing ? app.port_node : 0;
  detection.final_port_verified = true;
  detection.subdevices_ready = true;

  const CardDbEntry& entry = StandardCardEntry();
  FillCardRecord(info, device.node, entry);
  if (multiplexing) info.DriverCapabilities |= CardDriverCapabilitiesMultiplexing;
  SetCardInfoText(info.AppPortName, PortDeviceName(app));
  std::u16string modem_name = FriendlyName(detection.modem_node);
  if (modem_name.empty()) modem_name = modem.port_name;
  SetCardInfoText(info.ModemName, modem_name);
  SetCardInfoText(info.WwanNicName, {});
  SetCardInfoText(info.NetCfgInstanceId, {});
}

}  // namespace

const CardDbEntry& StandardCardEntry() {
  static const CardDbEntry kEntry = [] {
    CardDbEntry entry;
    entry.Model = kCardModelStandard;
    entry.DriverCapabilities = CardDriverCapabilitiesModem;
    entry.Supported = true;
    entry.Bus = kCardBusUsb;
    entry.Name = u"Standard card";
    return entry;
  }();
  return kEntry;
}

std::optional<unsigned> InterfaceNumberInId(std::u16string_view id) {
  const size_t at = id.find(u"MI_");
  if (at == std::u16string_view::npos || id.size() - at < 5) return std::nullopt;
  unsigned number = 0;
  for (char16_t c : id.substr(at + 3, 2)) {
    unsigned digit = 0;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else {
      return std::nullopt;
    }
    number = number * 16 + digit;
  }
  return number;
}

void ForgetGoneStandardPorts(NwLibraryState& state) {
  if (state.held_ports.ForgetGone()) SendNotification(NwEventReasonCardHeld);
  platform::DeviceTree& tree = CurrentDeviceTree();
  std::map<DEVINST, bool>& probed = state.probed_ports;
  for (auto it = probed.begin(); it != probed.end();) {
    uint32_t status = 0;
    uint32_t problem = 0;
    it = tree.GetStatus(it->first, status, problem) != 0 ? probed.erase(it) : std::next(it);
  }
}

bool DetectStandardCard(NwLibraryState& state) {
  ForgetGoneStandardPorts(state);
  bool held_noted = false;
  for (const UnknownDevice& device : UnknownUsbDevices(state.card_db.entries)) {
    const std::vector<PortCandidate> candidates = PortCandidates(device.node);
    if (candidates.empty() || !IsDeviceNodeActive(device.node, true)) continue;
    const DevicePorts ports = AnsweringPorts(candidates, state);
    if (ports.answering.empty()) {
      // A card whose every AT port is held: the user is told who holds it,
      // once per card.
      if (ports.held != nullptr && !held_noted) {
        held_noted = true;
        const std::string path = CurrentDeviceTree().DevicePath(PortDeviceName(*ports.held));
        if (state.held_ports.SetHeld(ports.held->port_node, path)) SendNotification(NwEventReasonCardHeld);
      }
      continue;
    }
    const PortRoles roles = ChoosePortRoles(candidates, ports.answering);
    const PortCandidate& app = *roles.app;
    const PortCandidate& modem = *roles.modem;

    static constexpr const char* kSeparator =
        "Nw: ------------------------------------------------------------------------------------------------------";
    XLogLevel(kXLogTrace, "%s", kSeparator);
    XLogLevel(kXLogTrace, "Nw: Standard card detected with hardware ID [%s] & devnode 0x%x",
              Narrow(device.first_hardware_id).c_str(), device.node);
    XLogLevel(kXLogTrace, "%s", kSeparator);
    XLogLevel(kXLogTrace, "Nw: Standard card's application port is %s, its modem port %s",
              Narrow(app.port_name).c_str(), Narrow(modem.port_name).c_str());
    FillRecord(state, device, app, modem);
    // Found again from the probe results after a suspension or a restart of
    // ModemManager: it is asked again to leave the card alone.
    state.held_ports.Resume(app.port_node);
    if (&modem != &app) state.held_ports.Resume(modem.port_node);
    return true;
  }
  return false;
}

bool HasUnprobedStandardPorts(const NwLibraryState& state) {
  for (const UnknownDevice& device : UnknownUsbDevices(state.card_db.entries)) {
    for (const PortCandidate& candidate : PortCandidates(device.node)) {
      if (state.probed_ports.count(candidate.port_node) == 0) return true;
    }
  }
  return false;
}
