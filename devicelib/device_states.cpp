#include "devicelib/device_states.h"

#include <array>
#include <cstddef>

namespace GSM {
namespace {

template <size_t N>
const char* NameIn(const std::array<const char*, N>& names, int value, const char* unknown) {
  return value >= 0 && static_cast<size_t>(value) < N ? names[static_cast<size_t>(value)] : unknown;
}

}  // namespace

const char* DeviceStateName(int state) {
  static constexpr std::array<const char*, 3> kNames{"NotFound", "Found", "Initialized"};
  return NameIn(kNames, state, "<unknown DeviceState>");
}

const char* NetworkStateName(int state) {
  static constexpr std::array<const char*, 6> kNames{"NotRegistered", "Registered", "Registering",
                                                     "RegistrationDenied", "Unknown", "RegisteredRoaming"};
  return NameIn(kNames, state, "<unknown NetworkState>");
}

const char* ConnectionStateName(int state) {
  static constexpr std::array<const char*, 4> kNames{"Disconnected", "Connecting", "Connected", "Disconnecting"};
  return NameIn(kNames, state, "<unknown ConnectionState>");
}

const char* VoiceStateName(int state) {
  static constexpr std::array<const char*, 5> kNames{"NotReady", "Disconnected", "Dialing", "Ringing", "Connected"};
  return NameIn(kNames, state, "<unknown VoiceState>");
}

const char* AccessTechnologyName(int technology) {
  static constexpr std::array<const char*, 5> kNames{
      "PacketSwitchedTechnologyNone", "PacketSwitchedTechnologyGprs", "PacketSwitchedTechnologyUmts",
      "PacketSwitchedTechnologyLte", "PacketSwitchedTechnology5g"};
  return NameIn(kNames, technology, "<unknown AccessTechnology>");
}

const char* PsAttachModeName(int mode) {
  static constexpr std::array<const char*, 3> kNames{"PsAttachModeUnknown", "PsAttachModeManual",
                                                     "PsAttachModeAutomatic"};
  return NameIn(kNames, mode, "<unknown PsAttachMode>");
}

const char* ConnectionKindName(ConnectionKind kind) {
  static constexpr std::array<const char*, 3> kNames{"RAS", "NDIS", "Broadcom NDIS"};
  return NameIn(kNames, static_cast<int>(kind), "<unknown connection>");
}

}  // namespace GSM

const char* DvEventName(uint32_t event) {
  static constexpr std::array<const char*, kDvEventCount> kNames{
      "EventDeviceStateChanged",       "EventConnectionStateChanged",   "EventCsNetworkStateChanged",
      "EventPsNetworkStateChanged",    "EventEdgeNetworkStateChanged",  "EventHsdpaNetworkStateChanged",
      "EventSignalStrengthChanged",    "EventWcdmaSignalStrengthChanged", "EventVoiceStateChanged",
      "EventSimStateChanged",          "EventSmsMessageArrived",        "EventTemporarySmsMessageArrived",
      "EventSmsStatusReportArrived",   "EventRadioStateChanged",        "EventIdleTextChanged",
      "EventUssdMessageArrived",       "EventCardHeld",
  };
  return event < kDvEventCount ? kNames[event] : "<unknown DvEvent>";
}
