#include "carddetect/subdevices.h"

#include <memory>
#include <string>

#include "carddetect/card_state.h"
#include "carddetect/device_text.h"
#include "carddetect/subdevice_search.h"
#include "foundation/xlog.h"
#include "platform/win32_error.h"

using platform::CurrentDeviceTree;

namespace {

constexpr int kLastPortPatternNumber = 20;

uint32_t OpenForReadWrite(std::u16string_view name) {
  if (name.empty()) return platform::kErrorFileNotFound;
  std::unique_ptr<platform::DeviceFile> file;
  return CurrentDeviceTree().OpenDevice(name, platform::kGenericRead | platform::kGenericWrite, file);
}

// The three ports found by name differ only in their list, their record
// field and their log texts.
struct NamedPort {
  const char* inconsistent_text;
  const char* found_text;
  char16_t (NwCardInfo::*name)[kNwCardInfoTextSize];
  platform::DEVINST DetectionState::*node;
};

bool DetectPortByName(NwLibraryState& state, const std::optional<std::u16string>& names,
                      const NamedPort& port_kind) {
  std::optional<PortMatch> port = HavePort(names, state.card_info.DevNode);
  if (!port) return false;
  if (port->port_name.empty()) {
    XLogLevel(kXLogWarning, "%s", port_kind.inconsistent_text);
    return false;
  }
  XLogLevel(kXLogTrace, port_kind.found_text, Narrow(port->port_name).c_str(), port->node);
  SetCardInfoText(state.card_info.*port_kind.name, port->port_name);
  state.detection.*port_kind.node = port->node;
  return true;
}

}  // namespace

bool DetectModem(NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  if (card == nullptr) return false;
  NwCardInfo& info = state.card_info;
  const bool multiplexing = (info.DriverCapabilities & CardDriverCapabilitiesMultiplexing) != 0;
  std::optional<ModemMatch> modem = HaveModem(card->ModemNames, info.DevNode, !multiplexing);
  if (!modem) return false;
  if (modem->friendly_name.empty() || (!multiplexing && modem->port_name.empty())) {
    XLogLevel(kXLogWarning,
              "Nw: DetectModem: Inconsistent state, a valid modem found but its modem name or port name is empty - skipping it");
    return false;
  }
  XLogLevel(kXLogTrace, "Nw: Corresponding modem %s found with devnode 0x%x",
            Narrow(modem->friendly_name).c_str(), modem->node);
  SetCardInfoText(info.ModemName, modem->friendly_name);
  state.detection.modem_node = modem->node;
  SetCardInfoText(info.AppPortName, multiplexing ? std::u16string() : modem->port_name);
  return true;
}

bool DetectAppPort(NwLibraryState& state) {
  switch (state.detection.app_port_method.method) {
    case AppPortDetMethodDefaultPolling:
    case AppPortDetMethodDefaultEventBased:
      return DetectDefaultAppPort(state);
    case AppPortDetMethodBroadcomPolling:
    case AppPortDetMethodBroadcomEventBased:
      return DetectAppPortByPattern(state);
    default:
      return false;
  }
}

bool DetectDefaultAppPort(NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  if (card == nullptr) return false;
  static constexpr NamedPort kPort{
      "Nw: DetectDefaultAppPort: Inconsistent state, a valid application port found but its port name is empty - skipping it",
      "Nw: Corresponding application port found on %s with devnode 0x%x", &NwCardInfo::AppPortName, &DetectionState::app_port_node};
  return DetectPortByName(state, card->AppPortNames, kPort);
}

bool DetectAppPortByPattern(NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  if (card == nullptr || !card->AppPortNames) return false;
  for (std::u16string_view pattern : SplitList(*card->AppPortNames)) {
    if (pattern.empty()) continue;
    for (int number = 0; number <= kLastPortPatternNumber; ++number) {
      const std::u16string name = FormatDevicePattern(pattern, number);
      // Opened and closed again at once: only whether it opens matters.
      if (OpenForReadWrite(name) != 0) continue;
      SetCardInfoText(state.card_info.AppPortName, name);
      state.detection.app_port_node = 0;
      return true;
    }
  }
  return false;
}

bool DetectDefaultApp2Port(NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  if (card == nullptr || !UsesNameSearch(state.detection.app2_port_method)) return false;
  static constexpr NamedPort kPort{
      "Nw: DetectDefaultApp2Port: Inconsistent state, a valid app2 port found but its port name is empty - skipping it",
      "Nw: Corresponding app2 port found on %s with devnode 0x%x", &NwCardInfo::App2PortName, &DetectionState::app2_port_node};
  return DetectPortByName(state, card->App2PortNames, kPort);
}

bool DetectDefaultDbgPort(NwLibraryState& state) {
  const CardDbEntry* card = state.DetectedCard();
  if (card == nullptr || !UsesNameSearch(state.detection.dbg_port_method)) return false;
  static constexpr NamedPort kPort{
      "Nw: DetectDefaultDbgPort: Inconsistent state, a valid debug port found but its port name is empty - skipping it",
      "Nw: Corresponding debug port found on %s with devnode 0x%x", &NwCardInfo::DbgPortName, &DetectionState::dbg_port_node};
  return DetectPortByName(state, card->DbgPortNames, kPort);
}

bool TestFinalPort(NwLibraryState& state) {
  const std::u16string port_name(CardInfoText(state.card_info.AppPortName));
  uint32_t rc = OpenForReadWrite(port_name);
  // The node the port's hold is kept by: the application port's, the
  // modem's for a card whose modem port is the application port.
  const DetectionState& detection = state.detection;
  const platform::DEVINST node = detection.app_port_node != 0 ? detection.app_port_node
                                 : detection.modem_node != 0  ? detection.modem_node
                                                              : state.card_info.DevNode;
  if (rc == platform::kErrorAccessDenied) {
    const std::string path = CurrentDeviceTree().DevicePath(port_name);
    state.held_ports.TakeOver(node, path, [&rc, &port_name] {
      rc = OpenForReadWrite(port_name);
      return rc == platform::kErrorAccessDenied;
    });
    // Held by the client of an earlier check, or by another program that
    // the user must be told about.
    if (rc == platform::kErrorAccessDenied && state.held_ports.SetHeld(node, path, true)) {
      SendNotification(NwEventReasonCardHeld);
    }
  } else if (rc == 0 && state.held_ports.Freed(node)) {
    SendNotification(NwEventReasonCardHeld);
  }
  if (rc == 0) {
    XLogLevel(kXLogInformation, "Nw: Final port could be opened successfully");
  } else if (rc == platform::kErrorAccessDenied) {
    XLogLevel(kXLogWarning, "Nw: Final port is kept open by another application, supposing card is o.k.");
  } else {
    XLogLevel(kXLogTrace, "Nw: Final port could not be opened (err=0x%x)!", rc);
    return false;
  }
  state.detection.final_port_verified = true;
  return true;
}
