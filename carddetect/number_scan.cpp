#include "carddetect/number_scan.h"

#include "platform/ascii.h"

namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Sign and magnitude; nullopt without a digit or beyond `limit`.
std::optional<uint64_t> ScanMagnitude(std::u16string_view text, size_t& pos, unsigned base,
                                      uint64_t limit, bool& negative) {
  size_t at = pos;
  while (at < text.size() && IsSpace(text[at])) ++at;
  negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
    negative = text[at] == u'-';
    ++at;
  }
  // "0x" is a prefix only when a digit follows; "0xg" is the number 0.
  if (base == 16 && at + 2 < text.size() && text[at] == u'0' && (text[at + 1] == u'x' || text[at + 1] == u'X') &&
      platform::HexDigitValue(text[at + 2]) >= 0) {
    at += 2;
  }
  uint64_t value = 0;
  size_t digits = 0;
  for (; at < text.size(); ++at) {
    const int digit = platform::HexDigitValue(text[at]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    value = value * base + static_cast<unsigned>(digit);
    if (value > limit) return std::nullopt;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  pos = at;
  return value;
}

}  // namespace

std::optional<uint32_t> ScanHex(std::u16string_view text, size_t& pos) {
  bool negative = false;
  const auto magnitude = ScanMagnitude(text, pos, 16, 0xFFFFFFFFu, negative);
  if (!magnitude) return std::nullopt;
  const auto value = static_cast<uint32_t>(*magnitude);
  return negative ? static_cast<uint32_t>(0u - value) : value;
}

std::optional<int32_t> ScanDecimal(std::u16string_view text, size_t& pos) {
  bool negative = false;
  size_t at = pos;
  const auto magnitude = ScanMagnitude(text, at, 10, 0x80000000u, negative);
  if (!magnitude) return std::nullopt;
  if (!negative && *magnitude > 0x7FFFFFFFu) return std::nullopt;
  pos = at;
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(*magnitude))
                  : static_cast<int32_t>(*magnitude);
}
