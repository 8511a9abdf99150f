// SMS user data packers (encoding) and the 7-bit unpacker (decoding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace SMS {

// Packs septets least significant bit first (TS 23.038 6.1.2.1). The bits of
// a septet that do not fill an octet wait in the partial byte for the next
// septet; Finish writes what is left.
class Packer7bit {
 public:
  void Put(uint8_t septet);
  void Put(std::span<const uint8_t> septets);
  // The packed octets; the packer starts over.
  std::vector<uint8_t> Finish();

 private:
  std::vector<uint8_t> octets_;
  uint32_t partial_ = 0;  // bits not yet written, lowest first
  int bits_ = 0;          // how many
};

// The text in code page 949. Logs "Warning, Unicode text could not fully be
// translated to 8-bit MBCS string!" (warning) when a character had to become
// the default character, then the input and output dumps (trace). Raises
// 0x84000005 for a missing text, and what the code-page conversion raises
// (0x8400001A without the code page, 0x8007000E without memory).
class Packer8bit {
 public:
  static std::vector<uint8_t> Pack(const char16_t* text, size_t length);
};

// Two octets per UTF-16 unit, the high one first.
class Packer16bit {
 public:
  static std::vector<uint8_t> Pack(std::u16string_view text);
};

// Septets `first` .. `first + count - 1` of `octets`, packed least
// significant bit first, or most significant bit first for the CDMA 7-bit
// form. The caller makes sure the octets hold them all.
std::vector<uint8_t> Unpack7bit(std::span<const uint8_t> octets, size_t first, size_t count,
                                bool msb_first);

// The octets that `septets` packed septets occupy.
inline constexpr size_t SeptetOctets(size_t septets) { return (septets * 7 + 7) / 8; }

}  // namespace SMS
