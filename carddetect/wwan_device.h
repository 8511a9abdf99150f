// The detected card's WWAN network adapter and the driver's NDIS control
// device that belongs to it.
#pragma once

#include <optional>
#include <string>

#include "carddetect/detection_state.h"
#include "platform/wwan_ndis.h"

// The driver's control request that answers the adapter's NetCfgInstanceId
// (UTF-16LE text) on a WWAN NDIS control device.
inline constexpr uint32_t kIoctlQueryNetCfgInstanceId = platform::IOCTL_VL_QUERY_NET_CFG_INSTANCE_ID;

// The adapter by its description, for a card with CardDriverCapabilitiesWwanNic;
// then, for a card with CardDriverCapabilitiesWwanNdisPort, its NDIS control
// device (the flag is cleared when none is found).
bool DetectWwanDevice(NwLibraryState& state);

// The NDIS control device whose driver names the record's NetCfgInstanceId,
// probing the card's pattern with 0 to 19. A driver too old to answer the
// request is taken to have one device, number 0.
std::optional<std::u16string> FindWwanNdisPort(const NwLibraryState& state);
