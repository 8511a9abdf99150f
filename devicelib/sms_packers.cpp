#include "devicelib/sms_packers.h"

#include <string_view>

#include "devicelib/result_codes.h"
#include "devicelib/sms_codepage.h"
#include "foundation/xlog.h"

namespace SMS {

void Packer7bit::Put(uint8_t septet) {
  partial_ |= static_cast<uint32_t>(septet & 0x7F) << bits_;
  bits_ += 7;
  if (bits_ >= 8) {
    octets_.push_back(static_cast<uint8_t>(partial_ & 0xFF));
    partial_ >>= 8;
    bits_ -= 8;
  }
}

void Packer7bit::Put(std::span<const uint8_t> septets) {
  for (const uint8_t septet : septets) Put(septet);
}

std::vector<uint8_t> Packer7bit::Finish() {
  if (bits_ > 0) octets_.push_back(static_cast<uint8_t>(partial_ & 0xFF));
  partial_ = 0;
  bits_ = 0;
  std::vector<uint8_t> out;
  out.swap(octets_);
  return out;
}

std::vector<uint8_t> Packer8bit::Pack(const char16_t* text, size_t length) {
  if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
  bool used_default = false;
  std::vector<uint8_t> octets = UnicodeToSms8Bit(std::u16string_view(text, length), used_default);
  if (used_default) {
    XLogLevel(kXLogWarning, "Warning, Unicode text could not fully be translated to 8-bit MBCS string!");
  }
  XLogLevel(kXLogTrace, "Input Unicode SMS string (%d characters):", static_cast<int>(length));
  XLogHexDump(text, length * sizeof(char16_t), "16-bit: ");
  XLogLevel(kXLogTrace, "Output 8-bit SMS string (%d characters):", static_cast<int>(octets.size()));
  XLogHexDump(octets.data(), octets.size(), "8-bit: ");
  return octets;
}

std::vector<uint8_t> Packer16bit::Pack(std::u16string_view text) {
  std::vector<uint8_t> octets;
  octets.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    octets.push_back(static_cast<uint8_t>(unit >> 8));
    octets.push_back(static_cast<uint8_t>(unit & 0xFF));
  }
  return octets;
}

std::vector<uint8_t> Unpack7bit(std::span<const uint8_t> octets, size_t first, size_t count,
                                bool msb_first) {
  std::vector<uint8_t> septets;
  septets.reserve(count);
  for (size_t k = first; k < first + count; ++k) {
    const size_t bit = k * 7;
    const size_t index = bit / 8;
    const unsigned shift = static_cast<unsigned>(bit % 8);
    const uint32_t low = index < octets.size() ? octets[index] : 0;
    const uint32_t high = index + 1 < octets.size() ? octets[index + 1] : 0;
    uint8_t septet = 0;
    if (msb_first) {
      // The septet's top bit is bit 7 - shift of octet `index`.
      const uint32_t both = low << 8 | high;
      septet = static_cast<uint8_t>((both >> (9 - shift)) & 0x7F);
    } else {
      const uint32_t both = high << 8 | low;
      septet = static_cast<uint8_t>((both >> shift) & 0x7F);
    }
    septets.push_back(septet);
  }
  return septets;
}

}  // namespace SMS
