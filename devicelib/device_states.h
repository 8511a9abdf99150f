// The state values the device-access library keeps and reports: device,
// network, connection and voice states, access technology, PS attach mode,
// and the events the client hears of a change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace GSM {

namespace DeviceState {
enum : int { NotFound = 0, Found = 1, Initialized = 2 };
}

// The stat values of +CREG and +CGREG.
namespace NetworkState {
enum : int {
  NotRegistered = 0,
  Registered = 1,
  Registering = 2,
  RegistrationDenied = 3,
  Unknown = 4,
  RegisteredRoaming = 5,
};
}

constexpr bool IsRegistered(int network_state) {
  return network_state == NetworkState::Registered || network_state == NetworkState::RegisteredRoaming;
}

namespace ConnectionState {
enum : int { Disconnected = 0, Connecting = 1, Connected = 2, Disconnecting = 3 };
}

namespace VoiceState {
enum : int { NotReady = 0, Disconnected = 1, Dialing = 2, Ringing = 3, Connected = 4 };
}

enum AccessTechnology : int {
  PacketSwitchedTechnologyNone = 0,
  PacketSwitchedTechnologyGprs = 1,
  PacketSwitchedTechnologyUmts = 2,
  // Only a standard card reports these (its "+COPS?" and registration AcT).
  PacketSwitchedTechnologyLte = 3,
  PacketSwitchedTechnology5g = 4,
};

enum PsAttachMode : int {
  PsAttachModeUnknown = 0,
  PsAttachModeManual = 1,
  PsAttachModeAutomatic = 2,
};

// The data-connection objects the device chooses among when it takes up a
// card.
enum class ConnectionKind : int { Ras = 0, Ndis = 1, BroadcomNdis = 2 };

// The log words of the values above ("<unknown ...>" outside their range).
const char* DeviceStateName(int state);
const char* NetworkStateName(int state);
const char* ConnectionStateName(int state);
const char* VoiceStateName(int state);
const char* AccessTechnologyName(int technology);
const char* PsAttachModeName(int mode);
const char* ConnectionKindName(ConnectionKind kind);

}  // namespace GSM

// Library events: the code the client's event handler receives.
enum DvEvent : uint32_t {
  EventDeviceStateChanged = 0,
  EventConnectionStateChanged = 1,
  EventCsNetworkStateChanged = 2,
  EventPsNetworkStateChanged = 3,
  EventEdgeNetworkStateChanged = 4,
  EventHsdpaNetworkStateChanged = 5,
  EventSignalStrengthChanged = 6,
  EventWcdmaSignalStrengthChanged = 7,
  EventVoiceStateChanged = 8,
  EventSimStateChanged = 9,
  EventSmsMessageArrived = 10,           // parameter: SIM storage index, from 0
  EventTemporarySmsMessageArrived = 11,  // parameter: SmsMessage*, the client frees it (LocalFree)
  EventSmsStatusReportArrived = 12,      // parameter: SmsStatusReport*, the client frees it
  EventRadioStateChanged = 13,
  EventIdleTextChanged = 14,
  EventUssdMessageArrived = 15,          // parameter: DvUssdMessage*, the client frees it
  EventCardHeld = 16,                    // parameter: DvCardHeld*, the client frees it
};

inline constexpr uint32_t kDvEventCount = 17;

// The event's name as the library writes it ("EventDeviceStateChanged").
const char* DvEventName(uint32_t event);

// Events whose parameter is a record on the local heap that the receiver
// frees.
constexpr bool DvEventCarriesRecord(uint32_t event) {
  return event == EventTemporarySmsMessageArrived || event == EventSmsStatusReportArrived ||
         event == EventUssdMessageArrived || event == EventCardHeld;
}

// The record of EventUssdMessageArrived.
struct DvUssdMessage {
  int32_t Status;
  char16_t Text[256];
  uint32_t Terminator;  // always 0
};
static_assert(sizeof(DvUssdMessage) == 520);
static_assert(offsetof(DvUssdMessage, Text) == 4 && offsetof(DvUssdMessage, Terminator) == 516);

// The record of EventCardHeld: the sentence that tells the user which
// program holds the card's port and what to do about it, zero-terminated;
// empty when the held card's port is free again.
inline constexpr size_t kDvCardHeldTextSize = 512;
struct DvCardHeld {
  char16_t Text[kDvCardHeldTextSize];
};
