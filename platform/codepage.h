// Code-page conversion (the ANSI, OEM and double-byte code pages the card
// database, device properties and 8-bit SMS text use), done through iconv.
//
// The "ANSI" code page is 1252 and the "OEM" code page 437, on every machine,
// whatever the locale says. Those are the code pages of the Western desktop
// systems the program's data was written on: the card database, the settings
// and profile tables and the device properties are plain ASCII in practice, so
// the choice only matters for the odd byte above 0x7F (a user name in the
// network adapter's configuration, a character tested for the 8-bit SMS
// alphabet), and a fixed answer makes those bytes mean the same thing on every
// machine and in every test run instead of following LANG.
//
// Where this differs from what callers may know of the namesakes:
// - No best-fit mapping: a character without an exact mapping in the target
//   code page always becomes the default character (as if the no-best-fit
//   flag were always given), so "Ā" never silently turns into "A".
// - Invalid input in a multi-byte code page (949, UTF-8) becomes U+FFFD, one
//   per broken sequence, unless kMbErrInvalidChars asks for failure (1113).
//   In 949 a lead byte followed by a byte that cannot be a trail byte turns
//   into U+FFFD on its own, so the next (ASCII) character survives.
// - 1252's five unassigned bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
//   controls of the same value both ways, so every byte round-trips.
// - For UTF-8 output the default character does not apply: a lone surrogate
//   becomes U+FFFD (or fails with 1113 under kWcErrInvalidChars), and
//   `used_default` reports false.
// - Flags other than the two error flags are accepted and ignored.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr uint32_t kCpAcp = 0;     // the "ANSI" code page: see AnsiCodePage()
inline constexpr uint32_t kCpOemCp = 1;   // the "OEM" code page: see OemCodePage()
inline constexpr uint32_t kCp437 = 437;
inline constexpr uint32_t kCp949 = 949;
inline constexpr uint32_t kCp1252 = 1252;
inline constexpr uint32_t kCpUtf8 = 65001;

// Multi-byte to wide: fail on invalid input instead of substituting U+FFFD.
inline constexpr uint32_t kMbErrInvalidChars = 0x8;
// Wide to UTF-8: fail on a lone surrogate instead of substituting U+FFFD.
inline constexpr uint32_t kWcErrInvalidChars = 0x80;
// Wide to multi-byte: accepted; there is never a best-fit mapping anyway.
inline constexpr uint32_t kWcNoBestFitChars = 0x400;

// Input that is not valid in the code page (with an error flag given).
inline constexpr uint32_t kErrorNoUnicodeTranslation = 1113;

// The code pages kCpAcp and kCpOemCp stand for on this platform: 1252 and 437.
uint32_t AnsiCodePage();
uint32_t OemCodePage();

// True for the code pages the conversions accept (437, 949, 1252, 65001 and
// the two aliases) when the system's iconv can actually convert them; a
// missing conversion module makes 949 invalid instead of failing later.
bool IsValidCodePage(uint32_t code_page);

// Both behave as their namesakes: with a zero output size they return the
// length the conversion needs; otherwise they convert into `out` and return the
// number of units written. `in_length` -1 means zero-terminated input (and the
// terminator is converted and counted too). 0 with the last error set on
// failure: 87 for a bad argument or unknown code page, 122 when `out` is too
// small (nothing is written then), 1113 (no mapping) for input invalid in the
// code page when the flags ask for it, 8 when out of memory.
int MultiByteToWideChar(uint32_t code_page, uint32_t flags, const char* in, int in_length,
                        char16_t* out, int out_size);
// Characters without a mapping become `default_char` (or "?" when null); when
// `used_default` is given it reports whether that happened. The default is the
// first character of `default_char`: one byte, or a lead and trail byte pair
// in 949.
int WideCharToMultiByte(uint32_t code_page, uint32_t flags, const char16_t* in, int in_length,
                        char* out, int out_size, const char* default_char, bool* used_default);

}  // namespace platform
