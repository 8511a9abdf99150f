// 8-bit SMS user data <-> UTF-16. TS 23.038 leaves the meaning of 8-bit user
// data to the applications; this library reads and writes it as code page 949
// (Korean, a superset of ASCII), both ways, so that a message it stores comes
// back as it was written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"

namespace SMS {

inline constexpr uint32_t kSms8BitCodePage = platform::kCp949;

// Octets -> text; no octets give an empty text. Octets that form no valid
// code-page-949 sequence become U+FFFD; they do not fail the message.
// Raises DvException: 0x8400001A after logging "Code page 949 is not valid on
// this system! (Probably not installed?)" (error) when the code page is
// missing; 0x8007000E without memory.
std::u16string Sms8BitToUnicode(std::span<const uint8_t> octets);

// Text -> octets. A character the code page cannot carry becomes "?" and sets
// `used_default`. Raises as Sms8BitToUnicode does.
std::vector<uint8_t> UnicodeToSms8Bit(std::u16string_view text, bool& used_default);

}  // namespace SMS
