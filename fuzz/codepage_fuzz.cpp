// Code-page conversions of outside input (8-bit SMS text, device properties,
// adapter configuration). The first byte picks the code page and the flags;
// the rest is taken once as bytes and once as UTF-16 units. Every conversion
// runs both passes into buffers of exactly the announced size, and each
// result goes back the other way to check the round trip.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/codepage.h"
#include "platform/win32_error.h"

namespace {

using platform::GetLastError;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

constexpr uint32_t kCodePages[] = {platform::kCp949, platform::kCp1252, platform::kCp437,
                                   platform::kCpUtf8};

bool IsSingleByte(uint32_t code_page) {
  return code_page == platform::kCp1252 || code_page == platform::kCp437;
}

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// `text` with every unpaired surrogate replaced by U+FFFD.
std::u16string WellFormed(const std::u16string& text) {
  std::u16string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1])) {
      ++i;
    } else if (IsHigh(out[i]) || IsLow(out[i])) {
      out[i] = 0xFFFD;
    }
  }
  return out;
}

// Both passes; the second into a heap block of exactly the announced size, so
// a write past it is caught. Returns false (with the error) on failure.
bool ToWide(uint32_t code_page, uint32_t flags, const char* in, int length, std::u16string* out) {
  const int needed = platform::MultiByteToWideChar(code_page, flags, in, length, nullptr, 0);
  if (needed == 0) return false;
  if (needed > 1) {
    // One unit short fails as too small.
    auto small = std::make_unique<char16_t[]>(static_cast<size_t>(needed - 1));
    Require(platform::MultiByteToWideChar(code_page, flags, in, length, small.get(),
                                          needed - 1) == 0);
    Require(GetLastError() == platform::kErrorInsufficientBuffer);
  }
  auto buffer = std::make_unique<char16_t[]>(static_cast<size_t>(needed));
  Require(platform::MultiByteToWideChar(code_page, flags, in, length, buffer.get(), needed) ==
          needed);
  out->assign(buffer.get(), static_cast<size_t>(needed));
  return true;
}

bool ToBytes(uint32_t code_page, uint32_t flags, const char16_t* in, int length,
             const char* default_char, std::string* out, bool* used) {
  bool first_used = false;
  const int needed = platform::WideCharToMultiByte(code_page, flags, in, length, nullptr, 0,
                                                   default_char, &first_used);
  if (needed == 0) return false;
  auto buffer = std::make_unique<char[]>(static_cast<size_t>(needed));
  Require(platform::WideCharToMultiByte(code_page, flags, in, length, buffer.get(), needed,
                                        default_char, used) == needed);
  Require(*used == first_used);
  out->assign(buffer.get(), static_cast<size_t>(needed));
  return true;
}

void FromBytes(uint32_t code_page, bool strict, const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  std::u16string wide;
  const uint32_t flags = strict ? platform::kMbErrInvalidChars : 0;
  if (!ToWide(code_page, flags, bytes.data(), length, &wide)) {
    Require(bytes.empty() ? GetLastError() == platform::kErrorInvalidParameter
                          : strict && GetLastError() == platform::kErrorNoUnicodeTranslation);
    return;
  }
  Require(!bytes.empty() && wide.size() <= bytes.size());
  if (IsSingleByte(code_page)) Require(wide.size() == bytes.size());

  // Back again: nothing a code page produced lacks a way back into it, except
  // U+FFFD, which stands for broken input that has no form in 949.
  std::string back;
  bool used = true;
  Require(ToBytes(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, &back, &used));
  if (IsSingleByte(code_page)) Require(!used && back == bytes);
  if (!used) {
    std::u16string again;
    Require(ToWide(code_page, 0, back.data(), static_cast<int>(back.size()), &again));
    Require(again == wide);
  }
  // Input valid in the code page comes back byte for byte.
  if (strict) Require(!used && back == bytes);

  // The terminated form converts up to and including the first zero.
  const std::string terminated = bytes + '\0';
  std::u16string whole;
  std::u16string prefix;
  const size_t zero = terminated.find('\0');
  Require(ToWide(code_page, flags, terminated.c_str(), -1, &whole) ==
          ToWide(code_page, flags, terminated.c_str(), static_cast<int>(zero + 1), &prefix));
  Require(whole == prefix);
}

void FromUnits(uint32_t code_page, bool strict, const char* default_char,
               const std::u16string& units) {
  const int length = static_cast<int>(units.size());
  const uint32_t flags = strict ? platform::kWcErrInvalidChars : 0;
  std::string bytes;
  bool used = false;
  if (!ToBytes(code_page, flags, units.data(), length, default_char, &bytes, &used)) {
    Require(units.empty() ? GetLastError() == platform::kErrorInvalidParameter
                          : strict && code_page == platform::kCpUtf8 &&
                                GetLastError() == platform::kErrorNoUnicodeTranslation &&
                                WellFormed(units) != units);
    return;
  }
  if (code_page == platform::kCpUtf8) {
    // Every character has a UTF-8 form; only lone surrogates change.
    Require(!used);
    std::u16string back;
    Require(ToWide(code_page, platform::kMbErrInvalidChars, bytes.data(),
                   static_cast<int>(bytes.size()), &back));
    Require(back == WellFormed(units));
  } else if (!used) {
    std::u16string back;
    Require(ToWide(code_page, platform::kMbErrInvalidChars, bytes.data(),
                   static_cast<int>(bytes.size()), &back));
    Require(back == units);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[0];
  const uint32_t code_page = kCodePages[control & 3];
  const bool strict_bytes = control & 4;
  const bool strict_units = control & 8;
  static const char* const kDefaults[] = {nullptr, "*", "\xA1\xA1", ""};
  const char* default_char = kDefaults[(control >> 4) & 3];

  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  FromBytes(code_page, strict_bytes, bytes);

  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  FromUnits(code_page, strict_units, default_char, units);
  return 0;
}
