#include "devicelib/sms_address.h"

#include <vector>

#include "devicelib/gsm_string.h"
#include "devicelib/result_codes.h"
#include "devicelib/sms_packers.h"
#include "foundation/xlog.h"

namespace SMS {
namespace {

constexpr char16_t kFieldDigits[] = u"0123456789*#abc";
constexpr char16_t kBinaryDigits[] = u"0123456789+#abc";
constexpr uint8_t kNoDigit = 0xFF;
constexpr uint8_t kPadding = 0xF;

uint8_t DigitValue(char16_t ch) {
  if (ch >= u'0' && ch <= u'9') return static_cast<uint8_t>(ch - u'0');
  switch (ch) {
    case u'+': return 0xA;
    case u'#': return 0xB;
    case u'a': case u'A': return 0xC;
    case u'b': case u'B': return 0xD;
    case u'c': case u'C': return 0xE;
    default: return kNoDigit;
  }
}

void PutDigit(BinaryAddress& address, uint8_t value) {
  const size_t i = address.DigitCount;
  uint8_t& byte = address.Digits[i / 2];
  byte = (i % 2 == 0) ? static_cast<uint8_t>(kPadding << 4 | value)
                      : static_cast<uint8_t>((byte & 0x0F) | value << 4);
  ++address.DigitCount;
}

}  // namespace

BinaryAddress TextToBinaryAddress(std::u16string_view text) {
  BinaryAddress address;
  if (!text.empty() && text.front() == u'+') {
    address.International = 1;
    text.remove_prefix(1);
  }
  for (const char16_t ch : text) {
    const uint8_t value = DigitValue(ch);
    if (value == kNoDigit || address.DigitCount == kBinaryAddressMaxDigits) break;
    PutDigit(address, value);
  }
  return address;
}

std::optional<BinaryAddress> ExactBinaryAddress(std::u16string_view text) {
  BinaryAddress address;
  if (!text.empty() && text.front() == u'+') {
    address.International = 1;
    text.remove_prefix(1);
  }
  for (const char16_t ch : text) {
    const uint8_t value = DigitValue(ch);
    if (value == kNoDigit || ch == u'+' || address.DigitCount == kBinaryAddressMaxDigits) {
      return std::nullopt;
    }
    PutDigit(address, value);
  }
  return address;
}

std::u16string BinaryAddressToText(const BinaryAddress& address) {
  std::u16string text;
  if (address.International) text.push_back(u'+');
  const size_t count = address.DigitCount < kBinaryAddressMaxDigits ? address.DigitCount
                                                                    : kBinaryAddressMaxDigits;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = address.Digits[i / 2];
    const uint8_t value = (i % 2 == 0) ? byte & 0x0F : byte >> 4;
    if (value < kPadding) text.push_back(kBinaryDigits[value]);
  }
  return text;
}

size_t AddressFieldSize(const PduText& pdu, size_t position) {
  const size_t digits = pdu.Byte(position);
  return 4 + digits + digits % 2;
}

AddressField DecodeAddressField(const PduText& pdu, size_t position, bool service_centre) {
  const uint8_t length = pdu.Byte(position);
  AddressField field;
  if (service_centre && length == 0) {
    // No service centre: the card uses the one the SIM holds.
    field.size = 2;
    return field;
  }
  const size_t digits = service_centre ? 2 * (static_cast<size_t>(length) - 1) : length;
  const uint8_t type = pdu.Byte(position + 2);
  const uint8_t type_of_number = (type >> 4) & 0x7;
  if (digits > kAddressFieldMaxDigits ||
      (type_of_number == kTypeOfNumberInternational &&
       digits > kAddressFieldMaxInternationalDigits)) {
    XLogLevel(kXLogError, "Dv: Too big address length (%d), probably corrupted PDU",
              static_cast<int>(digits));
    DvRaise(DV_E_INVALID_HEX_DIGIT);
  }
  field.size = 4 + digits + digits % 2;
  const size_t first = position + 4;
  // The whole field must be there, also its padding nibble.
  if (position + field.size > pdu.Size()) pdu.Nibble(position + field.size - 1);

  if (type_of_number == kTypeOfNumberAlphanumeric) {
    std::vector<uint8_t> octets;
    for (size_t i = 0; i + 1 < digits + digits % 2; i += 2) octets.push_back(pdu.Byte(first + i));
    const std::vector<uint8_t> septets = Unpack7bit(octets, 0, digits * 4 / 7, false);
    field.text = GSM::GsmBytesToUnicode(septets);
    return field;
  }
  if (type_of_number == kTypeOfNumberInternational) field.text.push_back(u'+');
  for (size_t i = 0; i < digits; ++i) {
    // Low nibble first: the digit pair "21" holds "1" then "2".
    const uint8_t value = pdu.Nibble(first + (i ^ 1));
    if (value != kPadding) field.text.push_back(kFieldDigits[value]);
  }
  return field;
}

}  // namespace SMS
