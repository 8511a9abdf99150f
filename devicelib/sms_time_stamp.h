// SMS time stamps (TP-SCTS, TP-DT; TS 23.040 9.2.3.11): seven octets of
// swapped decimal digits, the last one the offset from UTC in quarter hours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "devicelib/sms_hex.h"

namespace SMS {

inline constexpr size_t kTimeStampSize = 14;  // characters in the PDU text

// "yy/MM/dd,hh:mm:ss+zz" (or "-zz"): each octet's digits swapped; the
// zone's sign is bit 3 of its first digit. A digit that is not decimal
// shows as its hexadecimal digit. Raises 0x84000010 past the text.
std::u16string DecodeTimeStamp(const PduText& pdu, size_t position);

// The time stamp text as a file time (100 ns since 1601, UTC): years below
// 90 are 20yy, the others 19yy, and the zone is taken off the local time
// the stamp shows, so a message reads the same wherever the PC is. 0 when
// the text is not a time stamp (fields out of range, digits that are not).
uint64_t TimeStampToFileTime(std::u16string_view text);

}  // namespace SMS
