// Small text helpers the settings and profile parsers share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace app_text {

// Without the blanks, tabs, vertical tabs and form feeds at both ends.
std::u16string_view Trim(std::u16string_view text);

// Equal when the texts differ only in the case of ASCII letters.
bool EqualsIgnoreCase(std::u16string_view left, std::u16string_view right);

// The lines of `text`, split at every CR or LF; empty lines vanish. The views
// point into `text`.
std::vector<std::u16string_view> SplitLines(std::u16string_view text);

// `text` with its first `placeholder` replaced by `value`; the value is data,
// never read as a format.
std::u16string ReplaceFirst(std::u16string text, std::u16string_view placeholder, std::u16string_view value);

// `value` in decimal digits.
std::u16string Decimal(uint32_t value);

}  // namespace app_text
