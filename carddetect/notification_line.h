// One line of text per card notification, for people watching what card
// detection sees (vombel-cards): the reason, the state and the record's main
// fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "carddetect/nw_card_info.h"

// "CardEvent", "WakeUp" ...; "Unknown" for other values.
std::string_view EventReasonName(uint32_t reason);

// "reason=CardEvent state=Started model=0x1000 app=\\.\ttyUSB2 modem=...
// nic=... flags=0x487"; `get_result` is what NwGetCardInfo returned for
// `info` (a record it did not fill shows as "no card" or the error).
std::string FormatNotificationLine(uint32_t reason, uint32_t get_result, const NwCardInfo& info);
