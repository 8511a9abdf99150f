// DvIsValidChar: what one character costs in the chosen SMS alphabet. The SMS
// editor asks it for every key the user types, to admit or refuse the
// character and to count what is left of the message.
#pragma once

#include <cstdint>

// The alphabet numbers of the SMS records.
inline constexpr uint32_t kDvAlphabetGsm7Bit = 0;
inline constexpr uint32_t kDvAlphabet8Bit = 1;
inline constexpr uint32_t kDvAlphabetUcs2 = 2;

// GSM 7-bit: 0 when the default alphabet and its extension table cannot carry
// the character, 2 when it needs an escape, 1 otherwise.
// 8-bit: the number of bytes the character takes in the 8-bit SMS code page,
// 0 when the code page has no mapping for it (the conversion would have used
// a default character). A missing code page logs "DvIsValidChar: Code page %d
// is not valid on this system! (Probably not installed?)", a conversion
// without memory "DvIsValidChar: Out of memory" (both error); both give 0.
// UCS2: always 1.
// Any other alphabet number admits nothing: 0.
// Needs neither an initialised library nor a card.
int DvIsValidChar(uint32_t alphabet, char16_t character);
