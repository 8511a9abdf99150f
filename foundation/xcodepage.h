// Whole-text code-page conversions into new blocks (released with XFree), for
// callers that do not want to run the two passes of the platform calls by
// hand. Multi-byte text is char (UTF-8 or code-page bytes), wide text
// char16_t; both are zero-terminated. Success sets the last error to 0;
// failure returns null with the conversion's error (87 for a null text).
#pragma once

#include <cstdint>

char16_t* XMultiByteToWideChar(uint32_t code_page, uint32_t flags, const char* text);

// Characters without a mapping become `default_char` (or "?" when null);
// `used_default`, when given, reports whether that happened.
char* XWideCharToMultiByte(uint32_t code_page, uint32_t flags, const char16_t* text,
                           const char* default_char, bool* used_default);
