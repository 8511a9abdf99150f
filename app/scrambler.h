// The stored form of the default profile's user name and password: a text
// kept as uppercase hexadecimal digits of a scrambled byte string, so that a
// glance at the settings store does not show the password. It is obfuscation,
// not encryption: anyone with this program's key table can read it back.
//
// Layout (stored values of earlier versions depend on it, so it never
// changes): 4 header bytes, the little-endian sum of the key-mixed plain
// bytes, followed by one output byte per plain byte. The plain bytes are the
// text in UTF-16 little-endian with its terminating zero, padded with random
// bytes to 256 when shorter, so every short text gives 520 hex digits and the
// same text never gives the same stored value twice.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CScrambler {
 public:
  // Plain texts shorter than this many bytes (terminator included) are padded
  // up to it.
  static constexpr size_t kPaddedSize = 256;

  // The stored form of `text`, with padding from a process-wide generator.
  static std::u16string Scramble(std::u16string_view text);
  // The same with the padding bytes taken from `padding` in order.
  static std::u16string Scramble(std::u16string_view text, const std::function<uint8_t()>& padding);

  // The text back from its stored form, up to its first zero character, with
  // the control characters 1..31 trimmed from both ends. Anything that cannot
  // be decoded (empty, an odd number of digits, a character that is not a hex
  // digit, fewer than 5 bytes) gives an empty text: a damaged stored value
  // costs the user a retyped password, never a crash.
  static std::u16string Unscramble(std::u16string_view stored);
};
