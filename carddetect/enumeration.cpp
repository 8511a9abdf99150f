#include "carddetect/enumeration.h"

#include <cinttypes>
#include <cstdint>

#include "carddetect/device_node.h"
#include "carddetect/device_text.h"
#include "carddetect/standard_card.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"

using platform::CurrentDeviceTree;
using platform::DEVINST;

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegMultiSz = 7;

const char* BusWord(uint32_t bus) {
  switch (bus) {
    case kCardBusPcmcia:
      return "PCMCIA";
    case kCardBusUsb:
      return "USB";
    case kCardBusPci:
      return "PCI";
  }
  return "";
}

// PC-card and USB IDs must match exactly on NT systems: a longer ID names a
// different revision. PCI IDs (and every ID on 9x, where the bus reports
// them differently) carry subsystem and revision suffixes and match by
// prefix.
bool IdsMatch(std::u16string_view entry_ids, const std::vector<std::u16string_view>& device_ids,
              bool exact) {
  for (std::u16string_view wanted : SplitList(entry_ids)) {
    if (wanted.empty()) continue;
    for (std::u16string_view id : device_ids) {
      if (id.empty()) continue;
      if (exact ? EqualsIgnoringCase(id, wanted) : StartsWithIgnoringCase(id, wanted)) return true;
    }
  }
  return false;
}

bool IsExactBus(uint32_t bus) {
  return (bus == kCardBusPcmcia || bus == kCardBusUsb) && !IsWin9xOs(DetermineOsType());
}

}  // namespace

bool CardDbNamesDevice(const std::vector<CardDbEntry>& table, uint32_t bus,
                       const std::vector<std::u16string_view>& device_ids) {
  const bool exact = IsExactBus(bus);
  for (const CardDbEntry& entry : table) {
    if (entry.Bus == bus && IdsMatch(entry.HardwareIds, device_ids, exact)) return true;
  }
  return false;
}

std::optional<CardMatch> HaveCard(uint32_t bus, const std::vector<CardDbEntry>& table) {
  const char* bus_word = BusWord(bus);
  if (*bus_word == '\0') {
    XLogLevel(kXLogError, "Nw: HaveCard: Invalid parameters! (%d/0x%" PRIxPTR "/%d/0x%x/0x%x)",
              static_cast<int>(bus), reinterpret_cast<uintptr_t>(table.data()),
              static_cast<int>(table.size()), 0u, 0u);
    return std::nullopt;
  }
  platform::DeviceTree& tree = CurrentDeviceTree();
  std::vector<DEVINST> devices;
  const uint32_t listed = tree.PresentDevicesOfEnumerator(bus_word, devices);
  if (listed != 0) {
    XLogLevel(kXLogTrace, "Nw: No %s cards detected, rc=0x%x", bus_word, listed);
    return std::nullopt;
  }
  const bool exact = IsExactBus(bus);

  for (DEVINST node : devices) {
    platform::DevicePropertyValue value;
    const uint32_t rc = tree.GetProperty(node, platform::DeviceProperty::HardwareId, value);
    if (rc != 0) {
      XLogLevel(kXLogWarning, "Nw: HaveCard(): Cannot get the device property, rc=0x%x", rc);
      continue;
    }
    if (value.type != kRegSz && value.type != kRegMultiSz) {
      XLogLevel(kXLogWarning, "Nw: HaveCard(): Unexpected property data type: %d",
                static_cast<int>(value.type));
      continue;
    }
    std::vector<std::u16string> ids;
    ids.reserve(value.texts.size());
    for (const std::string& text : value.texts) ids.push_back(OemToUtf16(text));
    std::u16string list;
    for (const std::u16string& id : ids) {
      if (!list.empty()) list += u',';
      list += id;
    }
    // Matching works on the joined list, so a REG_SZ that holds several
    // comma-separated IDs is taken apart the same way.
    const std::vector<std::u16string_view> device_ids = SplitList(list);
    if (XLogPasses(kXLogTrace)) {
      XLogLevel(kXLogTrace, "Nw: Found %s device with hardware ID [%s], checking it...", bus_word,
                Narrow(list).c_str());
    }
    for (size_t index = 0; index < table.size(); ++index) {
      const CardDbEntry& entry = table[index];
      if (!entry.Supported || entry.Bus != bus) continue;
      if (!IdsMatch(entry.HardwareIds, device_ids, exact)) continue;
      if (!IsDeviceNodeActive(node, true)) continue;
      std::u16string first = ids.empty() ? std::u16string() : ids.front();
      return CardMatch{static_cast<int>(index), std::move(first), node};
    }
  }
  return std::nullopt;
}

std::optional<CardMatch> DetectCard(const std::vector<CardDbEntry>& table) {
  std::optional<CardMatch> best;
  for (uint32_t bus : {kCardBusPcmcia, kCardBusUsb, kCardBusPci}) {
    std::optional<CardMatch> match = HaveCard(bus, table);
    if (match && (!best || match->index < best->index)) best = std::move(match);
  }
  return best;
}

void FillCardRecord(NwCardInfo& info, platform::DEVINST node, const CardDbEntry& entry) {
  info.DevNode = node;
  std::u16string instance_id;
  const uint32_t rc = CurrentDeviceTree().GetDeviceId(node, instance_id);
  if (rc != 0) {
    XLogLevel(kXLogWarning, "Nw: Could not get the device instance ID (0x%x)", rc);
    instance_id.clear();
  }
  SetCardInfoText(info.DeviceInstanceId, instance_id);
  info.Model = entry.Model;
  info.Family = entry.Family;
  info.Stack = entry.Stack;
  info.WwanCapabilities = entry.WwanCapabilities;
  info.WlanCapabilities = entry.WlanCapabilities;
  info.DriverCapabilities = entry.DriverCapabilities;
  info.AppPortType = entry.AppPortType;
}

bool DetectAnyCard(NwLibraryState& state, bool probe_ports) {
  std::optional<CardMatch> match = DetectCard(state.card_db.entries);
  if (!match) {
    state.replug_node = 0;
    return probe_ports && DetectStandardCard(state);
  }
  const CardDbEntry& entry = state.card_db.entries[static_cast<size_t>(match->index)];
  const std::string name = Narrow(entry.Name);
  if (match->first_hardware_id.empty()) {
    XLogLevel(kXLogWarning,
              "Nw: DetectAnyCard(): Inconsistent state, card %s is found but its hardware ID is unknown - skipping it",
              name.c_str());
    state.replug_node = 0;
    return false;
  }
  if (state.replug_node != 0) {
    if (entry.Family == kFamilyReplugged) {
      // Right after resume the old instance is still present; the driver
      // is about to remove it and create the card anew.
      XLogLevel(kXLogWarning, "Nw: Supported card %s is detected but it is ignored since it will be replugged",
                name.c_str());
      return false;
    }
    state.replug_node = 0;
  }

  static constexpr const char* kSeparator =
      "Nw: ------------------------------------------------------------------------------------------------------";
  XLogLevel(kXLogTrace, "%s", kSeparator);
  XLogLevel(kXLogTrace, "Nw: Supported card %s detected with hardware ID [%s] & devnode 0x%x", name.c_str(),
            Narrow(match->first_hardware_id).c_str(), match->node);
  XLogLevel(kXLogTrace, "%s", kSeparator);

  NwCardInfo& info = state.card_info;
  DetectionState& detection = state.detection;
  detection.card_index = match->index;
  detection.first_hardware_id = match->first_hardware_id.substr(0, kNwCardInfoTextMax);
  FillCardRecord(info, match->node, entry);
  detection.slow_wake_up = entry.SlowWakeUp;
  SetCardInfoText(info.AppPortName, {});
  SetCardInfoText(info.ModemName, {});
  SetCardInfoText(info.WwanNicName, {});
  SetCardInfoText(info.NetCfgInstanceId, {});
  detection.modem_node = 0;
  detection.app_port_node = 0;
  detection.app2_port_node = 0;
  detection.dbg_port_node = 0;
  detection.wwan_nic_node = 0;
  detection.smart_card_reader_node = 0;
  detection.final_port_verified = false;
  detection.subdevices_classified = false;

  detection.subdevices_ready = AreSubdevicesReady(state);

  if (!HasTaggedApplicationPorts(info.Model)) {
    info.DriverCapabilities |= CardDriverCapabilitiesAppPort;
  }

  detection.modem_method = DetermineModemDetectionMethod(&entry);
  LogModemDetectionMethod(detection.modem_method);
  detection.app_port_method = DetermineAppPortDetectionMethod(&entry);
  LogAppPortDetectionMethod(detection.app_port_method);
  detection.app2_port_method = DetermineApp2PortDetectionMethod(&entry);
  LogApp2PortDetectionMethod(detection.app2_port_method);
  detection.dbg_port_method = DetermineDbgPortDetectionMethod(&entry);
  LogDbgPortDetectionMethod(detection.dbg_port_method);
  return true;
}

bool AreSubdevicesReady(const NwLibraryState& state) {
  const uint32_t model = state.card_info.Model;
  const DEVINST card = state.card_info.DevNode;
  if (IsCompositeInterfaceModel(model)) {
    if (HasDeviceNameSubString(card, u"_FF_NET")) return true;
    std::u16string class_guid;
    return QueryFirstInterfaceClassGuid(card, class_guid) == 0;
  }
  if (!IsClassifiedModel(model)) return true;

  platform::DeviceTree& tree = CurrentDeviceTree();
  DEVINST child = 0;
  if (tree.GetChild(card, child) != 0) return false;
  while (child != 0) {
    if (!IsDeviceNodeActive(child, true)) return false;
    DEVINST next = 0;
    if (tree.GetSibling(child, next) != 0) break;
    child = next;
  }
  XLogLevel(kXLogTrace, "Nw: All subdevices are active");
  return true;
}
