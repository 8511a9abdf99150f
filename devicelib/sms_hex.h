// The hexadecimal text of a PDU as the codec reads and writes it. Every read
// is checked against the end of the text: a PDU whose lengths lie makes the
// read fail instead of running past what the card sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace SMS {

// True for 0-9, A-F and a-f.
bool IsHexDigit(char16_t ch);

// Positions and counts are in characters (two per octet).
class PduText {
 public:
  explicit PduText(std::u16string_view text) : text_(text) {}

  size_t Size() const { return text_.size(); }
  std::u16string_view Text() const { return text_; }

  // The value of the digit at `position`: its code minus "0" below ":",
  // otherwise (code - 55) & 0xF, so a-f read as A-F. Past the end, or with
  // no text at all, logs "Dv: Invalid nibble conversion parameters, probably
  // corrupted PDU (too big offset)" (or "(NULL pointer)") and raises
  // 0x84000010.
  uint8_t Nibble(size_t position) const;
  // Two digits, the high one first.
  uint8_t Byte(size_t position) const;

 private:
  std::u16string_view text_;
};

// Appends each octet as two upper-case digits.
void AppendHex(std::u16string& out, uint8_t octet);
void AppendHex(std::u16string& out, std::span<const uint8_t> octets);

}  // namespace SMS
