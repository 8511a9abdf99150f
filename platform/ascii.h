// ASCII letter case and hexadecimal digits, the way protocol text, object
// names and AT answers use them: only 'A'..'Z' / 'a'..'z' change case, only
// '0'..'9', 'A'..'F' and 'a'..'f' are digits. A UTF-16 unit is tested whole,
// so a character whose low byte happens to be a letter or digit is neither.
#pragma once

#include <string_view>

namespace platform {

constexpr char16_t AsciiToUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }
constexpr char16_t AsciiToLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c; }
constexpr char AsciiToUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }
constexpr char AsciiToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

template <typename Char>
constexpr bool AsciiStartsWithIgnoreCase(std::basic_string_view<Char> text, std::basic_string_view<Char> prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiToUpper(text[i]) != AsciiToUpper(prefix[i])) return false;
  }
  return true;
}
constexpr bool AsciiStartsWithIgnoreCase(std::u16string_view text, std::u16string_view prefix) {
  return AsciiStartsWithIgnoreCase<char16_t>(text, prefix);
}
constexpr bool AsciiStartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return AsciiStartsWithIgnoreCase<char>(text, prefix);
}

constexpr bool AsciiEqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && AsciiStartsWithIgnoreCase(a, b);
}
constexpr bool AsciiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiStartsWithIgnoreCase(a, b);
}

// The value of a hexadecimal digit, or -1.
constexpr int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}
constexpr int HexDigitValue(char c) { return HexDigitValue(static_cast<char16_t>(static_cast<unsigned char>(c))); }

}  // namespace platform
