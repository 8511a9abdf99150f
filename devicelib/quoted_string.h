// Quoted answer fields that the card gives as hexadecimal text: plain UCS2
// (four digits per UTF-16 unit) or a SIM alpha identifier whose first byte
// names its coding (0x80, 0x81, 0x82; 3GPP TS 11.11 annex B).
#pragma once

#include <string>
#include <string_view>

namespace GSM {

// How the text between the quotes of a field is to be read.
enum QuotedStringMode : int {
  QuotedStringModeNone = 0,              // taken as it stands
  QuotedStringModeUcs2 = 1,              // plain UCS2 hexadecimal text
  QuotedStringModeUcs2CodingScheme = 2,  // UCS2 with a leading coding-scheme byte
};

class QuotedString {
 public:
  // The decoded field. A malformed text (a non-hexadecimal character, an odd
  // length, a length that does not fit its form, an unknown coding-scheme
  // byte) is logged and gives an empty text: a field the card garbled must
  // not stop the answer that carries it from being read. Raises DvException
  // 0x8007000E only when the result cannot be allocated.
  static std::u16string Decode(std::u16string_view raw, QuotedStringMode mode);
};

}  // namespace GSM
