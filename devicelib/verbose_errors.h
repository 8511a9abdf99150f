// The texts a card in verbose error mode gives instead of an error number
// ("+CME ERROR: SIM not inserted" for "+CME ERROR: 10"): the equipment errors
// of 3GPP TS 27.007 9.2 and the message service errors of TS 27.005 3.2.5.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace GSM {

// The number of a verbose error text (ASCII letter case ignored, blanks
// around it too); nothing for a text the lists do not hold.
std::optional<uint32_t> CmeErrorNumber(std::u16string_view text);
std::optional<uint32_t> CmsErrorNumber(std::u16string_view text);

}  // namespace GSM
