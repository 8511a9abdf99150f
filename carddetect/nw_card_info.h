// The card information record the library copies to its client, the card
// states and the reasons that come with every notification.
//
// The record is versioned by its Size field: a client built against an older,
// shorter form sets a smaller Size and receives exactly that many bytes, so
// the layout below never changes; fields are only ever added at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

// Card states.
enum NwCardState : uint32_t {
  CardStateStopped = 0,
  CardStateStopping = 1,  // for clients; the library never enters it
  CardStateStarting = 2,
  CardStateStarted = 3,
  CardStateSuspended = 4,
};

// Reasons (the wParam of every notification).
enum NwEventReason : uint32_t {
  NwEventReasonInitialization = 0,
  NwEventReasonListenerRegistered = 1,
  NwEventReasonStandby = 2,
  NwEventReasonWakeUp = 3,
  NwEventReasonCardEvent = 4,
  NwEventReasonSuspension = 5,
  // A card is there but another program holds its port and would not let
  // go, or a held card's port is free again: NwGetCardHeldText says which.
  NwEventReasonCardHeld = 6,
};

// Text fields: zero-terminated, at most kNwCardInfoTextMax characters.
inline constexpr size_t kNwCardInfoTextSize = 260;
inline constexpr size_t kNwCardInfoTextMax = kNwCardInfoTextSize - 1;

// The longest held-card sentence, terminator included (NwGetCardHeldText).
inline constexpr size_t kNwCardHeldTextSize = 512;

struct NwCardInfo {
  uint32_t Size;
  uint32_t State;
  uint32_t Model;  // 0: no card
  int32_t Family;
  int32_t Stack;
  uint32_t WwanCapabilities;
  uint32_t WlanCapabilities;
  uint32_t DriverCapabilities;  // as adjusted during detection
  int32_t AppPortType;
  char16_t AppPortName[kNwCardInfoTextSize];  // "\\.\ttyUSB2"
  char16_t ModemName[kNwCardInfoTextSize];
  char16_t WwanNicName[kNwCardInfoTextSize];
  char16_t WwanNdisPortName[kNwCardInfoTextSize];
  char16_t SmartCardReaderName[kNwCardInfoTextSize];
  char16_t NetCfgInstanceId[kNwCardInfoTextSize];
  char16_t DbgPortName[kNwCardInfoTextSize];
  char16_t App2PortName[kNwCardInfoTextSize];
  char16_t BusDeviceName[kNwCardInfoTextSize];
  uint32_t DevNode;
  char16_t DeviceInstanceId[kNwCardInfoTextSize];
  uint32_t DriverVersionMs;  // major << 16 | minor
  uint32_t DriverVersionLs;  // build << 16 | revision
};

// The sizes a client may ask for, each ending after one field.
inline constexpr uint32_t kNwCardInfoSize1596 = 1596;  // ... WwanNicName
inline constexpr uint32_t kNwCardInfoSize2636 = 2636;  // ... SmartCardReaderName
inline constexpr uint32_t kNwCardInfoSize3156 = 3156;  // ... NetCfgInstanceId
inline constexpr uint32_t kNwCardInfoSize3676 = 3676;  // ... DbgPortName
inline constexpr uint32_t kNwCardInfoSize4196 = 4196;  // ... App2PortName
inline constexpr uint32_t kNwCardInfoSize4716 = 4716;  // ... BusDeviceName
inline constexpr uint32_t kNwCardInfoSize5240 = 5240;  // ... DeviceInstanceId
inline constexpr uint32_t kNwCardInfoSize5248 = 5248;  // the whole record

inline constexpr uint32_t kNwCardInfoSizes[] = {
    kNwCardInfoSize1596, kNwCardInfoSize2636, kNwCardInfoSize3156, kNwCardInfoSize3676,
    kNwCardInfoSize4196, kNwCardInfoSize4716, kNwCardInfoSize5240, kNwCardInfoSize5248,
};

static_assert(offsetof(NwCardInfo, WwanNicName) + sizeof(NwCardInfo::WwanNicName) ==
              kNwCardInfoSize1596);
static_assert(offsetof(NwCardInfo, SmartCardReaderName) +
                  sizeof(NwCardInfo::SmartCardReaderName) ==
              kNwCardInfoSize2636);
static_assert(offsetof(NwCardInfo, NetCfgInstanceId) + sizeof(NwCardInfo::NetCfgInstanceId) ==
              kNwCardInfoSize3156);
static_assert(offsetof(NwCardInfo, DbgPortName) + sizeof(NwCardInfo::DbgPortName) ==
              kNwCardInfoSize3676);
static_assert(offsetof(NwCardInfo, App2PortName) + sizeof(NwCardInfo::App2PortName) ==
              kNwCardInfoSize4196);
static_assert(offsetof(NwCardInfo, BusDeviceName) + sizeof(NwCardInfo::BusDeviceName) ==
              kNwCardInfoSize4716);
static_assert(offsetof(NwCardInfo, DeviceInstanceId) + sizeof(NwCardInfo::DeviceInstanceId) ==
              kNwCardInfoSize5240);
static_assert(offsetof(NwCardInfo, DriverVersionLs) + sizeof(NwCardInfo::DriverVersionLs) ==
              kNwCardInfoSize5248);
static_assert(sizeof(NwCardInfo) == kNwCardInfoSize5248);
// The same bytes in the 32-bit and the 64-bit build: only 32-bit integers and
// 16-bit characters, no padding.
static_assert(std::is_standard_layout_v<NwCardInfo> && std::is_trivially_copyable_v<NwCardInfo>);
static_assert(alignof(NwCardInfo) == 4);
static_assert(offsetof(NwCardInfo, AppPortType) == 32);
static_assert(offsetof(NwCardInfo, AppPortName) == 36);
static_assert(offsetof(NwCardInfo, ModemName) == 556);
static_assert(offsetof(NwCardInfo, WwanNdisPortName) == 1596);
static_assert(offsetof(NwCardInfo, DevNode) == 4716);
static_assert(offsetof(NwCardInfo, DeviceInstanceId) == 4720);
static_assert(offsetof(NwCardInfo, DriverVersionMs) == 5240);

// True for the Size values a client may set.
constexpr bool IsValidNwCardInfoSize(uint32_t size) {
  for (uint32_t valid : kNwCardInfoSizes) {
    if (size == valid) return true;
  }
  return false;
}

// The log word of a card state ("Stopped" ... "Suspended", else "Unknown").
std::string_view CardStateName(uint32_t state);

// A text field's content, up to its terminator.
std::u16string_view CardInfoText(const char16_t (&field)[kNwCardInfoTextSize]);
// A port's name without the device namespace it is opened in, as people see
// it: "\\.\ttyUSB2" gives "ttyUSB2".
std::u16string_view PortNameShown(std::u16string_view port);
// Whether a text field holds anything (the sub-device it names was found).
constexpr bool HasCardInfoText(const char16_t (&field)[kNwCardInfoTextSize]) { return field[0] != u'\0'; }
// Stores `text` cut to kNwCardInfoTextMax characters, zero-terminated and
// zero-padded.
void SetCardInfoText(char16_t (&field)[kNwCardInfoTextSize], std::u16string_view text);
