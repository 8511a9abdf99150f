#include "carddetect/subdevice_search.h"

#include <string_view>
#include <vector>

#include "carddetect/device_node.h"
#include "carddetect/device_text.h"
#include "foundation/xlog.h"

using platform::CurrentDeviceTree;
using platform::DEVINST;
using platform::DeviceKeyKind;
using platform::DeviceProperty;

namespace {

constexpr uint32_t kRegSz = 1;

// What one search reads and how it talks about it.
struct SearchKind {
  const char* function;     // "HaveModem"
  const char* searching;    // "modem" in "Nw: Searching for modem [%s] ..."
  const char* checking;     // "modem" in "Nw: Checking modem #%d [%s]"
  const char* none_present; // "Nw: No modems detected, rc=0x%x"
  const char* not_found;    // "Nw: Modem not found!"
  const char* no_key;       // the unopenable-key line, null when no key is read
  std::string_view class_guid;
  DeviceProperty property;
  DeviceKeyKind key;
  const char16_t* value_name;  // null: nothing is read from a key
  const char* value_text;      // the value's name in the "Could not find" line
};

constexpr SearchKind kModem{
    "HaveModem", "modem", "modem", "Nw: No modems detected, rc=0x%x", "Nw: Modem not found!",
    "Nw: HaveModem(): Invalid HKEY returned for the modem registry path (0x%x)",
    platform::kDeviceClassModem, DeviceProperty::FriendlyName, DeviceKeyKind::Device, u"PortName",
    "PortName"};
constexpr SearchKind kPort{
    "HavePort", "port", "port", "Nw: No ports detected, rc=0x%x", "Nw: Port not found!",
    "Nw: HavePort(): Invalid HKEY returned for the port registry path (0x%x)",
    platform::kDeviceClassPorts, DeviceProperty::FriendlyName, DeviceKeyKind::Device, u"PortName",
    "PortName"};
constexpr SearchKind kNetAdapter{
    "HaveNetAdapter", "network adapter", "network adapter", "Nw: No network cards detected, rc=0x%x",
    "Network adapter not found!",
    "Nw: HaveNetAdapter(): Invalid HKEY returned for the port registry path (0x%x)",
    platform::kDeviceClassNet, DeviceProperty::DeviceDesc, DeviceKeyKind::Driver,
    u"NetCfgInstanceId", "NetCfgInstanceId"};
constexpr SearchKind kSmartCardReader{
    "HaveSmartCardReader", "smart card reader", "smart card reader",
    "Nw: No smart card readers detected, rc=0x%x", "Smart card reader not found!", nullptr,
    platform::kDeviceClassSmartCardReader, DeviceProperty::DeviceDesc, DeviceKeyKind::Device,
    nullptr, nullptr};

struct Found {
  std::u16string property;
  std::u16string value;
  DEVINST node = 0;
};

// Any non-empty list item, cut to its first 64 characters, inside `text`.
// An empty item would be inside every text, so it never matches.
bool ContainsAnyName(std::u16string_view text, const std::vector<std::u16string_view>& names) {
  for (std::u16string_view name : names) {
    name = name.substr(0, kMaxSearchNameLength);
    if (!name.empty() && text.find(name) != std::u16string_view::npos) return true;
  }
  return false;
}

std::optional<Found> Search(const SearchKind& kind, const std::optional<std::u16string>& names,
                            DEVINST card, bool must_be_active, bool read_value) {
  if (!names) return std::nullopt;
  const std::vector<std::u16string_view> items = SplitList(*names);
  platform::DeviceTree& tree = CurrentDeviceTree();
  std::vector<DEVINST> devices;
  const uint32_t listed = tree.PresentDevicesOfClass(kind.class_guid, devices);
  if (listed != 0) {
    XLogLevel(kXLogTrace, kind.none_present, listed);
    return std::nullopt;
  }
  for (size_t index = 0; index < devices.size(); ++index) {
    const DEVINST node = devices[index];
    platform::DevicePropertyValue value;
    const uint32_t rc = tree.GetProperty(node, kind.property, value);
    if (rc != 0) {
      XLogLevel(kXLogWarning, "Nw: %s(): Cannot get the device property, rc=0x%x", kind.function, rc);
      continue;
    }
    if (value.type != kRegSz) {
      XLogLevel(kXLogWarning, "Nw: %s(): Unexpected property data type: %d", kind.function,
                static_cast<int>(value.type));
      continue;
    }
    std::u16string property = value.texts.empty() ? std::u16string() : OemToUtf16(value.texts[0]);
    XLogLevel(kXLogTrace, "Nw: Checking %s #%d [%s]", kind.checking, static_cast<int>(index),
              Narrow(property).c_str());
    if (!ContainsAnyName(property, items)) continue;
    if (must_be_active && !IsDeviceNodeActive(node, true)) continue;
    if (!IsNodeWithinCard(node, card)) continue;

    Found found{std::move(property), {}, node};
    if (read_value) {
      const uint32_t opened = tree.OpenDeviceKey(node, kind.key);
      if (opened != 0) {
        XLogLevel(kXLogError, kind.no_key, opened);
        return std::nullopt;
      }
      const uint32_t read = tree.ReadDeviceKeyString(node, kind.key, kind.value_name, found.value);
      if (read != 0) {
        XLogLevel(kXLogError, "Nw: %s(): Could not find \"%s\" regkey, rc=0x%x", kind.function,
                  kind.value_text, read);
        continue;
      }
    }
    return found;
  }
  XLogLevel(kXLogTrace, "%s", kind.not_found);
  return std::nullopt;
}

const char* ListForLog(const std::optional<std::u16string>& names, std::string& storage) {
  if (!names) return "<NULL>";
  storage = Narrow(*names);
  return storage.c_str();
}

std::u16string DeviceName(std::u16string_view port) {
  return std::u16string(platform::kDeviceNamespacePrefix) + std::u16string(port);
}

}  // namespace

std::optional<ModemMatch> HaveModem(const std::optional<std::u16string>& names, DEVINST card,
                                    bool want_port_name) {
  std::string text;
  XLogLevel(kXLogTrace, "Nw: Searching for modem [%s] with parent 0x%x", ListForLog(names, text), card);
  auto found = Search(kModem, names, card, true, want_port_name);
  if (!found) return std::nullopt;
  ModemMatch match{std::move(found->property), {}, found->node};
  if (want_port_name && !found->value.empty()) match.port_name = DeviceName(found->value);
  return match;
}

std::optional<PortMatch> HavePort(const std::optional<std::u16string>& names, DEVINST card) {
  std::string text;
  XLogLevel(kXLogTrace, "Nw: Searching for port [%s] with parent 0x%x", ListForLog(names, text), card);
  auto found = Search(kPort, names, card, true, true);
  if (!found) return std::nullopt;
  PortMatch match{{}, found->node};
  if (!found->value.empty()) match.port_name = DeviceName(found->value);
  return match;
}

std::optional<NetAdapterMatch> HaveNetAdapter(const std::optional<std::u16string>& names,
                                              DEVINST card) {
  std::string text;
  XLogLevel(kXLogTrace, "Nw: Searching for network adapter [%s] with parent 0x%x",
            ListForLog(names, text), card);
  auto found = Search(kNetAdapter, names, card, true, true);
  if (!found) return std::nullopt;
  return NetAdapterMatch{std::move(found->property), std::move(found->value), found->node};
}

std::optional<SmartCardReaderMatch> HaveSmartCardReader(const std::optional<std::u16string>& names,
                                                        DEVINST card, bool check_state) {
  std::string text;
  XLogLevel(kXLogTrace, "Nw: Searching for smart card reader [%s] with parent 0x%x (%s checking state)",
            ListForLog(names, text), card, check_state ? "with" : "without");
  auto found = Search(kSmartCardReader, names, card, check_state, false);
  if (!found) return std::nullopt;
  return SmartCardReaderMatch{std::move(found->property), found->node};
}
