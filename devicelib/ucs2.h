// The hexadecimal UCS2 text forms a card uses in quoted answer fields: plain
// UCS2 (after AT+CSCS="UCS2", four digits per UTF-16 unit) and the three forms
// of a SIM alpha identifier (3GPP TS 11.11 annex B, TS 31.102 annex A), whose
// first byte, 0x80, 0x81 or 0x82, names the form.
//
// Both decoders take the field text as it came off the line and return nothing
// (std::nullopt) when it is malformed: a character that is not a hexadecimal
// digit (either case), an odd number of digits, a plain text whose length is
// not a multiple of 4, an unknown SIM alpha form, a 0x81/0x82 header whose
// character count is more than the bytes that follow or is followed by
// anything but padding, or a character in the surrogate range. SIM records
// are padded with 0xFF to their full length, and padding is not text: after
// the counted characters of the 0x81/0x82 forms, and at the end of the 0x80
// form (FFFF units and a lone FF byte). They read nothing beyond the text. An empty text decodes to an empty text. The only exception
// is DvException 0x8007000E when the result cannot be allocated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace GSM {

inline constexpr uint8_t kSimAlphaUcs2 = 0x80;          // plain UCS2 follows
inline constexpr uint8_t kSimAlphaHalfPageBase = 0x81;  // count, base / 128, bytes
inline constexpr uint8_t kSimAlphaWordBase = 0x82;      // count, 16-bit base, bytes

// Every 4 digits are one big-endian UTF-16 unit.
std::optional<std::u16string> DecodeUcs2Hex(std::u16string_view hex);

// 0x80: the rest decodes as DecodeUcs2Hex does, less its trailing padding.
// 0x81 n b: n bytes follow, on the base b * 128, then only 0xFF padding.
// 0x82 n hh ll: n bytes follow, on the base 0xhhll, then only 0xFF padding.
// In the 0x81 and 0x82 forms a byte with bit 7 set is the character
// base + (byte & 0x7F); any other byte is a GSM default-alphabet code, and ESC
// makes the next such byte use the extension table. A base + offset beyond
// U+FFFF is malformed (it would have to wrap to some unrelated character), and
// so is one in the surrogate range (half a character).
std::optional<std::u16string> DecodeSimAlphaHex(std::u16string_view hex);

}  // namespace GSM
