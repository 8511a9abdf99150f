// SmsMessage -> SMS-SUBMIT PDU text for AT+CMGW (TS 23.040 9.2.2.2).
#pragma once

#include <cstdint>
#include <string>

#include "devicelib/sms_message.h"

namespace SMS {

// The most characters the PDU text may take (its buffer keeps room for a
// terminator besides).
inline constexpr size_t kPduTextMax = 401;

struct EncodedPdu {
  std::u16string Text;       // upper-case hexadecimal, service-centre address first
  uint32_t TpduLength = 0;   // octets after the service-centre address: what AT+CMGW= takes
};

// Encodes `message` (Address, ServiceCentre, Text, Alphabet, Class,
// Validity, StatusReportRequest; the text fields are read up to their
// terminator or their size). The text is cut to what one message carries:
// 160 septets (an escaped character costs two and is never split), 140
// octets of code page 949 (never inside a character) or 70 UCS2 units
// (never inside a surrogate pair); GSM 7-bit drops characters the alphabet
// does not have.
// Raises DvException:
//   0x8400001A when the destination or the service centre is not a number
//     an address field can carry exactly (a character outside "0"-"9", "#",
//     "a"-"c", "A"-"C" after an optional leading "+", or more than 20
//     digits): such a number is refused rather than sent cut short;
//   0x84000005 for an alphabet other than 0, 1 and 2;
//   0x8400001A / 0x8007000E from the 8-bit conversion (no code page 949,
//     no memory).
EncodedPdu EncodePdu(const SmsMessage& message);

// One part of a long message: the same, with TP-UDHI set and the
// concatenation header (8-bit reference) ahead of the text, which is then
// cut to what a part carries: 153 septets, 134 octets or 67 UCS2 units.
// Raises 0x84000005 besides for a reference above 255, a total outside
// 2..255 or a sequence number outside 1..total.
EncodedPdu EncodePdu(const SmsMessage& message, const SmsConcatenation& part);

}  // namespace SMS
