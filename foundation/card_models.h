// The card models (the card database's hexadecimal `Model`) and families the
// program treats specially, and the rules built on them, in one place. Every
// other model has no special behaviour; model 0 means "no card".
#pragma once

#include <cstdint>

inline constexpr uint32_t kCardModelNone = 0;
inline constexpr uint32_t kCardModel0300 = 0x0300;  // voice-capable whatever its family; slow wake-up
inline constexpr uint32_t kCardModel0400 = 0x0400;  // slow wake-up
inline constexpr uint32_t kCardModel0800 = 0x0800;  // first 3G model; "VLNOZ_" interface tags
inline constexpr uint32_t kCardModel0900 = 0x0900;  // one composite interface
inline constexpr uint32_t kCardModel0901 = 0x0901;
inline constexpr uint32_t kCardModel0A00 = 0x0A00;  // one composite interface
inline constexpr uint32_t kCardModel0B00 = 0x0B00;  // first model with retry counters and application ports
inline constexpr uint32_t kCardModel0C00 = 0x0C00;  // removability told by its serial number
inline constexpr uint32_t kCardModel0D00 = 0x0D00;  // no retry counters
inline constexpr uint32_t kCardModel0E00 = 0x0E00;  // stack 2, one technology only
inline constexpr uint32_t kCardModel1000 = 0x1000;
inline constexpr uint32_t kCardModel1020 = 0x1020;
inline constexpr uint32_t kCardModel1800 = 0x1800;  // names each function on its own node

// A card no database entry names whose USB device has serial ports, one of
// which answers "AT": it knows only the standard 3GPP commands. Above the
// classified models, so it is a 3G card with retry counters whose sub-devices
// are not classified by their instance IDs. Its family and stack are 0.
inline constexpr uint32_t kCardModelStandard = 0x8000;

// Cards of these models have sub-devices that are classified by their
// instance IDs, and whose activity gates detection.
inline constexpr uint32_t kClassifiedModelFirst = 0x0800;
inline constexpr uint32_t kClassifiedModelLast = 0x7FFF;

// A card whose driver re-creates it after standby.
inline constexpr int32_t kFamilyReplugged = 7;

constexpr bool IsModelInRange(uint32_t model, uint32_t first, uint32_t last) {
  return model >= first && model <= last;
}

constexpr bool IsStandardModel(uint32_t model) { return model == kCardModelStandard; }

constexpr bool IsClassifiedModel(uint32_t model) {
  return IsModelInRange(model, kClassifiedModelFirst, kClassifiedModelLast);
}

// A 3G (UMTS) card.
constexpr bool Is3gModel(uint32_t model) { return model >= kCardModel0800; }

// The card reports the PIN and PUK retry counters.
constexpr bool HasRetryCounters(uint32_t model) { return model >= kCardModel0B00 && model != kCardModel0D00; }

// The card reports its WCDMA antenna level (when it is not GPRS-only).
constexpr bool HasAntennaReports(uint32_t model) { return HasRetryCounters(model); }

// Models 0x900 and 0xA00 expose one composite interface whose class tells
// which functions the card has.
constexpr bool IsCompositeInterfaceModel(uint32_t model) {
  return model == kCardModel0900 || model == kCardModel0A00;
}

// Cards whose application ports are found among their sub-devices (tagged
// "_APP" and "_APL") rather than assumed: model 0x901 and the classified
// models from 0xB00 on.
constexpr bool HasTaggedApplicationPorts(uint32_t model) {
  return model == kCardModel0901 || IsModelInRange(model, kCardModel0B00, kClassifiedModelLast);
}

// Cards that come back from standby before their multiplexing driver does.
constexpr bool IsSlowWakeUpModel(uint32_t model) { return model == kCardModel0300 || model == kCardModel0400; }
