// One card model as the card database describes it, and the capability flags
// the rest of the system reads from the card information record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// CardDriverCapabilities flags.
inline constexpr uint32_t CardDriverCapabilitiesMultiplexing = 0x1;
inline constexpr uint32_t CardDriverCapabilitiesWwanNic = 0x2;
inline constexpr uint32_t CardDriverCapabilitiesWwanNdisPort = 0x4;
inline constexpr uint32_t CardDriverCapabilitiesSmartCardReader = 0x8;
inline constexpr uint32_t CardDriverCapabilitiesNdisCredentials = 0x10;
inline constexpr uint32_t CardDriverCapabilitiesStoredApn = 0x20;
inline constexpr uint32_t CardDriverCapabilitiesTechnologySelection = 0x40;
inline constexpr uint32_t CardDriverCapabilitiesModem = 0x80;
inline constexpr uint32_t CardDriverCapabilitiesComposite = 0x200;
inline constexpr uint32_t CardDriverCapabilitiesAppPort = 0x400;
inline constexpr uint32_t CardDriverCapabilitiesApp2Port = 0x800;

// The bus a card sits on, as "BusType=" names it; any other text is 0 and
// never matches a device.
inline constexpr uint32_t kCardBusOther = 0;
inline constexpr uint32_t kCardBusPcmcia = 1;
inline constexpr uint32_t kCardBusUsb = 2;
inline constexpr uint32_t kCardBusPci = 3;

// The card table holds this many entries; the index of an entry is its
// priority when several entries match the devices present.
inline constexpr size_t kMaxCardDbEntries = 128;

// One section of the database, validated and repaired. The optional texts are
// absent when the section has no line for the key (or a consistency repair
// discarded it); the comma-separated lists are kept as written.
struct CardDbEntry {
  uint32_t Model = 0;
  int32_t Family = 0;
  int32_t Stack = 0;
  uint32_t WwanCapabilities = 0;
  uint32_t WlanCapabilities = 0;
  uint32_t DriverCapabilities = 0;
  int32_t AppPortType = 0;
  bool Supported = false;
  uint32_t Bus = kCardBusOther;
  bool SlowWakeUp = false;

  std::u16string Name;
  std::u16string HardwareIds;
  std::optional<std::u16string> AtiKey;
  std::optional<std::u16string> WwanNicNames;
  std::optional<std::u16string> SmartCardReaderNames;
  std::optional<std::u16string> ModemNames;
  std::optional<std::u16string> ModemDetect;
  std::optional<std::u16string> AppPortNames;
  std::optional<std::u16string> AppPortDetect;
  std::optional<std::u16string> App2PortNames;
  std::optional<std::u16string> App2PortDetect;
  std::optional<std::u16string> DbgPortNames;
  std::optional<std::u16string> DbgPortDetect;
  std::optional<std::u16string> WwanNdisPortPattern;
  std::optional<std::u16string> WwanNdisPortDetect;
};
