// Text helpers of device detection: property texts in the OEM code page,
// the card database's comma-separated lists, hardware-ID comparison, and the
// device-name patterns ("\\.\VLNDIS%d") that are probed with a number.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A property text as the device tree stores it (OEM code page) in UTF-16.
// Bytes the code page cannot map become its default character.
std::u16string OemToUtf16(std::string_view text);

// For log lines.
std::string Narrow(std::u16string_view text);

// The items of a comma-separated list, blanks kept; an empty text is one
// empty item.
std::vector<std::u16string_view> SplitList(std::u16string_view list);

// Names in a name search are compared over their first 64 characters only.
inline constexpr size_t kMaxSearchNameLength = 64;

// Hardware IDs compare without regard to letter case (ASCII).
bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

// `pattern` with its first "%d" replaced by `number` and "%%" by "%"; any
// other "%" stays as written. The patterns come from the card database, so
// they are never handed to a printf-style formatter.
std::u16string FormatDevicePattern(std::u16string_view pattern, int number);
