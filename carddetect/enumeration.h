// Finding the supported card among the present devices: the card table is
// matched against the hardware IDs of every device on the PC-card, USB and
// PCI buses, and the winner fills the card information record.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "carddetect/card_info.h"
#include "carddetect/detection_state.h"
#include "platform/device_tree.h"

// A device of one bus that a table entry accepts.
struct CardMatch {
  int index = -1;                    // into the card table
  std::u16string first_hardware_id;  // the device's first (reported) hardware ID
  platform::DEVINST node = 0;
};

// The first present device of `bus` (kCardBusPcmcia, kCardBusUsb, kCardBusPci)
// that some supported, active table entry of that bus matches, with the first
// such entry. Nullopt when none does.
std::optional<CardMatch> HaveCard(uint32_t bus, const std::vector<CardDbEntry>& table);

// HaveCard for every bus; the lowest table index wins, and on equal indices
// the earlier bus (PC card, USB, PCI).
std::optional<CardMatch> DetectCard(const std::vector<CardDbEntry>& table);

// Whether some entry of `bus` (supported or not) names one of `device_ids`,
// matched as HaveCard matches them.
bool CardDbNamesDevice(const std::vector<CardDbEntry>& table, uint32_t bus,
                       const std::vector<std::u16string_view>& device_ids);

// Finds the supported card and fills the record and the detection state of
// `state` for it. False when there is none, or when the card found is one
// whose driver will re-create it after standby (the stored replug node says
// so) and must be waited for. When no database card is there and
// `probe_ports` is set, a standard card is looked for (standard_card.h),
// which may probe ports for up to half a second each.
bool DetectAnyCard(NwLibraryState& state, bool probe_ports = true);

// Fills the parts of the card's record that come from its device node and
// its database entry: DevNode, DeviceInstanceId, Model, Family, Stack, the
// capabilities and the application port type.
void FillCardRecord(NwCardInfo& info, platform::DEVINST node, const CardDbEntry& entry);

// Whether the detected card's sub-devices are there to be classified: for
// composite-interface cards, the network function (or the first interface's
// class) is known; for other cards of Model 0x800 to 0x7FFF, every child of
// the card is active. Cards outside that range are always ready.
bool AreSubdevicesReady(const NwLibraryState& state);
