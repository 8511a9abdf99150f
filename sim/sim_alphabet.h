// The card's own GSM 7-bit default alphabet: quoted texts of AT commands and
// answers travel in it once the program has chosen AT+CSCS="GSM", and the
// messages the card delivers are packed in it. Kept apart from the device
// library's table on purpose: the card must not share a fault with the
// program it is testing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim {

inline constexpr char kGsmEscape = 0x1B;

// The code of `ch` in the basic set, or nothing.
std::optional<unsigned char> GsmBasicCode(char16_t ch);
// The code of `ch` in the extension table (sent after ESC), or nothing.
std::optional<unsigned char> GsmExtensionCode(char16_t ch);

// UTF-8 → GSM bytes (basic set, extension characters as ESC + code); a
// character with no GSM code becomes '?'.
std::string Utf8ToGsm(std::string_view utf8);
// GSM bytes → UTF-8; ESC selects the extension table for the next byte, an
// unknown extension code gives the basic character, as the alphabet says.
std::string GsmToUtf8(std::string_view gsm);

// True when every character of `utf8` is in the basic set.
bool FitsGsmBasicSet(std::string_view utf8);

}  // namespace sim
