#include "devicelib/sms_hex.h"

#include "devicelib/result_codes.h"
#include "foundation/xlog.h"

namespace SMS {

bool IsHexDigit(char16_t ch) {
  return (ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F') || (ch >= u'a' && ch <= u'f');
}

uint8_t PduText::Nibble(size_t position) const {
  if (text_.data() == nullptr || position >= text_.size()) {
    XLogLevel(kXLogError, "Dv: Invalid nibble conversion parameters, probably corrupted PDU (%s)",
              text_.data() == nullptr ? "NULL pointer" : "too big offset");
    DvRaise(DV_E_INVALID_HEX_DIGIT);
  }
  const char16_t ch = text_[position];
  if (ch < u':') return static_cast<uint8_t>((ch - u'0') & 0xF);
  return static_cast<uint8_t>((ch - 55) & 0xF);
}

uint8_t PduText::Byte(size_t position) const {
  return static_cast<uint8_t>(Nibble(position) << 4 | Nibble(position + 1));
}

void AppendHex(std::u16string& out, uint8_t octet) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  out.push_back(kDigits[octet >> 4]);
  out.push_back(kDigits[octet & 0xF]);
}

void AppendHex(std::u16string& out, std::span<const uint8_t> octets) {
  for (const uint8_t octet : octets) AppendHex(out, octet);
}

}  // namespace SMS
