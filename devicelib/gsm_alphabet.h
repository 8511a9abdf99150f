// The GSM 7-bit default alphabet (3GPP TS 23.038) and its extension table, in
// both directions. The card speaks this alphabet inside quoted AT text (after
// AT+CSCS="GSM") and in 7-bit SMS user data; the library speaks UTF-16.
//
// Four constant tables, each looked up by one range test and one array access:
//   - default alphabet -> Unicode (128 entries, ESC 0x1B kept as U+001B);
//   - extension table -> Unicode (the code after an ESC; no form feed);
//   - Unicode -> single GSM code, for U+0000..U+00FF and U+0380..U+03D7, with
//     accented Latin and all Greek letters folded onto look-alikes;
//   - Unicode -> escaped GSM code, for U+0058..U+007F and the euro sign.
#pragma once

#include <array>
#include <cstdint>

namespace GSM {

inline constexpr uint8_t kGsmEscape = 0x1B;
// "No code" in the Unicode -> GSM direction.
inline constexpr uint8_t kGsmNoCode = 0xFF;
// "No character" in the GSM -> Unicode direction.
inline constexpr char16_t kGsmNoCharacter = 0xFFFF;

// The dense ranges the Unicode -> GSM tables cover.
inline constexpr char16_t kGsmLatinFirst = 0x0000;
inline constexpr char16_t kGsmLatinLast = 0x00FF;
inline constexpr char16_t kGsmGreekFirst = 0x0380;
inline constexpr char16_t kGsmGreekLast = 0x03D7;
inline constexpr char16_t kGsmEscapedFirst = 0x0058;
inline constexpr char16_t kGsmEscapedLast = 0x007F;
inline constexpr char16_t kEuroSign = 0x20AC;
inline constexpr uint8_t kGsmEscapedEuro = 0x65;

extern const std::array<char16_t, 128> kGsmDefaultAlphabet;
extern const std::array<char16_t, 128> kGsmExtensionTable;
extern const std::array<uint8_t, kGsmLatinLast - kGsmLatinFirst + 1> kUnicodeToGsmLatin;
extern const std::array<uint8_t, kGsmGreekLast - kGsmGreekFirst + 1> kUnicodeToGsmGreek;
extern const std::array<uint8_t, kGsmEscapedLast - kGsmEscapedFirst + 1> kUnicodeToGsmEscaped;

// The GSM code of `character` (0..127), or kGsmNoCode. A single code is
// preferred; only when there is none is the extension table tried, and then
// `needs_escape` is set: the code must be sent as ESC followed by it.
// `needs_escape` is false whenever the result is not an escaped code.
inline uint8_t UnicodeToGsm(char16_t character, bool& needs_escape) {
  needs_escape = false;
  uint8_t code = kGsmNoCode;
  if (character <= kGsmLatinLast) {
    code = kUnicodeToGsmLatin[character];
  } else if (character >= kGsmGreekFirst && character <= kGsmGreekLast) {
    code = kUnicodeToGsmGreek[character - kGsmGreekFirst];
  }
  if (code != kGsmNoCode) return code;

  if (character >= kGsmEscapedFirst && character <= kGsmEscapedLast) {
    code = kUnicodeToGsmEscaped[character - kGsmEscapedFirst];
  } else if (character == kEuroSign) {
    code = kGsmEscapedEuro;
  }
  needs_escape = code != kGsmNoCode;
  return code;
}

// The character of a GSM code. Only the low 7 bits of `code` count (quoted AT
// text can carry a parity or garbage bit). After an ESC the extension table
// applies, and an extension code without a character gives kGsmNoCharacter.
inline char16_t GsmToUnicode(uint8_t code, bool follows_escape) {
  code &= 0x7F;
  return follows_escape ? kGsmExtensionTable[code] : kGsmDefaultAlphabet[code];
}

}  // namespace GSM
