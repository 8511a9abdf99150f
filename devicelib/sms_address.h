// SMS address fields (TS 23.040 9.1.2.5) and the codec's binary address form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "devicelib/sms_hex.h"
#include "devicelib/sms_message.h"

namespace SMS {

// The most digits an address field may carry, and an international one.
inline constexpr size_t kAddressFieldMaxDigits = 22;
inline constexpr size_t kAddressFieldMaxInternationalDigits = 21;

inline constexpr uint8_t kTypeOfNumberInternational = 1;
inline constexpr uint8_t kTypeOfNumberAlphanumeric = 5;
inline constexpr uint8_t kAddressTypeInternational = 0x91;
inline constexpr uint8_t kAddressTypeUnknown = 0x81;

// Text -> binary form: "+" first sets the international flag; then
// "0"-"9", "+", "#", "a"/"A", "b"/"B", "c"/"C" are digits and any other
// character ends the number; at most 20 digits are kept.
BinaryAddress TextToBinaryAddress(std::u16string_view text);
// The same, but nothing is cut: nullopt when a character other than a
// leading "+" is not a digit of the map, when a "+" stands anywhere but
// first (a network reads the nibble as "*"), or when there are more than 20
// digits. This is what the encoder sends.
std::optional<BinaryAddress> ExactBinaryAddress(std::u16string_view text);
// Binary form -> text: "+" when international, nibbles through
// "0123456789+#abc".
std::u16string BinaryAddressToText(const BinaryAddress& address);

struct AddressField {
  std::u16string text;
  size_t size = 0;  // characters the field occupies in the PDU text
};

// Decodes the address field at `position`. For a service centre the length
// octet counts the octets after it (the type octet included), and a length
// of 0 is an empty address of one octet; otherwise it is the digit count.
// Raises 0x84000010 after "Dv: Too big address length (%d), probably
// corrupted PDU" for more than 22 digits, or 21 for an international number,
// and when the field runs past the text.
AddressField DecodeAddressField(const PduText& pdu, size_t position, bool service_centre);

// The characters an address field at `position` occupies, from its length
// octet alone (not a service centre).
size_t AddressFieldSize(const PduText& pdu, size_t position);

}  // namespace SMS
