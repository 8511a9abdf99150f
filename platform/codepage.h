// Code-page conversion (the ANSI, OEM and double-byte code pages the card
// database, device properties and 8-bit SMS text use), done through iconv.
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

// The code pages kCpAcp and kCpOemCp stand for on this platform.
uint32_t AnsiCodePage();
uint32_t OemCodePage();

// Both behave as their namesakes: with a zero output size they return the
// length the conversion needs; otherwise they convert into `out` and return the
// number of units written. `in_length` -1 means zero-terminated input (and the
// terminator is converted and counted too). 0 with the last error set on
// failure: 87 for a bad argument or unknown code page, 122 when `out` is too
// small, 1113 (no mapping) for input invalid in the code page.
int MultiByteToWideChar(uint32_t code_page, uint32_t flags, const char* in, int in_length,
                        char16_t* out, int out_size);
// Characters without a mapping become `default_char` (or "?" when null); when
// `used_default` is given it reports whether that happened.
int WideCharToMultiByte(uint32_t code_page, uint32_t flags, const char16_t* in, int in_length,
                        char* out, int out_size, const char* default_char, bool* used_default);

}  // namespace platform
