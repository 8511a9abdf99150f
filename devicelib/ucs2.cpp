#include "devicelib/ucs2.h"

#include <cstdint>
#include <new>
#include <span>
#include <vector>

#include "devicelib/gsm_alphabet.h"
#include "devicelib/result_codes.h"
#include "platform/ascii.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

// The bytes of an even-length hexadecimal text, or nothing.
std::optional<std::vector<uint8_t>> HexToBytes(std::u16string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  try {
    bytes.reserve(hex.size() / 2);
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = platform::HexDigitValue(hex[i]);
    const int low = platform::HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::u16string ReserveText(size_t length) {
  std::u16string text;
  try {
    text.reserve(length);
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  return text;
}

std::optional<std::u16string> BigEndianUnits(std::span<const uint8_t> bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u16string text = ReserveText(bytes.size() / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1]));
  }
  return text;
}

constexpr uint8_t kSimPadding = 0xFF;

bool IsSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The body of the 0x80 form without its padding: a lone trailing 0xFF byte
// and then every trailing FFFF unit.
std::optional<std::u16string> PaddedUnits(std::span<const uint8_t> bytes) {
  if (bytes.size() % 2 != 0 && bytes.back() == kSimPadding) bytes = bytes.first(bytes.size() - 1);
  auto text = BigEndianUnits(bytes);
  if (!text) return std::nullopt;
  while (!text->empty() && text->back() == u'\uFFFF') text->pop_back();
  return text;
}

// The counted characters of a 0x81/0x82 field whose header is `header`
// bytes long; whatever follows them must be padding.
std::optional<std::span<const uint8_t>> CountedBytes(std::span<const uint8_t> data, size_t header) {
  if (data.size() < header) return std::nullopt;
  const size_t count = data[1];
  if (data.size() < header + count) return std::nullopt;
  for (uint8_t byte : data.subspan(header + count)) {
    if (byte != kSimPadding) return std::nullopt;
  }
  return data.subspan(header, count);
}

// The body of the 0x81 and 0x82 forms.
std::optional<std::u16string> BasedBytes(std::span<const uint8_t> bytes, uint32_t base) {
  std::u16string text = ReserveText(bytes.size());
  bool follows_escape = false;
  for (uint8_t byte : bytes) {
    if (byte & 0x80) {
      const uint32_t unit = base + (byte & 0x7Fu);
      // Past U+FFFF it would wrap to an unrelated character; in the
      // surrogate range it would be half a character.
      if (unit > 0xFFFF || IsSurrogate(unit)) return std::nullopt;
      text.push_back(static_cast<char16_t>(unit));
    } else if (!follows_escape && byte == kGsmEscape) {
      follows_escape = true;
    } else {
      text.push_back(GsmToUnicode(byte, follows_escape));
      follows_escape = false;
    }
  }
  return text;
}

}  // namespace

std::optional<std::u16string> DecodeUcs2Hex(std::u16string_view hex) {
  const auto bytes = HexToBytes(hex);
  if (!bytes) return std::nullopt;
  return BigEndianUnits(*bytes);
}

std::optional<std::u16string> DecodeSimAlphaHex(std::u16string_view hex) {
  const auto bytes = HexToBytes(hex);
  if (!bytes) return std::nullopt;
  const std::span<const uint8_t> data(*bytes);
  if (data.empty()) return std::u16string();

  switch (data[0]) {
    case kSimAlphaUcs2:
      return PaddedUnits(data.subspan(1));
    case kSimAlphaHalfPageBase: {
      const auto counted = CountedBytes(data, 3);
      if (!counted) return std::nullopt;
      return BasedBytes(*counted, uint32_t{data[2]} << 7);
    }
    case kSimAlphaWordBase: {
      const auto counted = CountedBytes(data, 4);
      if (!counted) return std::nullopt;
      return BasedBytes(*counted, uint32_t{data[2]} << 8 | data[3]);
    }
    default:
      return std::nullopt;
  }
}

}  // namespace GSM
