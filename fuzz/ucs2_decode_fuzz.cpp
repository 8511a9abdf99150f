// The hexadecimal UCS2 field decoders, plain and SIM alpha. The input is taken
// once byte by byte (what a quoted answer field looks like) and once as UTF-16
// units, so that characters beyond ASCII reach the digit test too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "devicelib/ucs2.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void Decode(std::u16string_view hex) {
  if (const auto plain = GSM::DecodeUcs2Hex(hex)) {
    Require(hex.size() % 4 == 0 && plain->size() == hex.size() / 4);
  }
  if (const auto alpha = GSM::DecodeSimAlphaHex(hex)) {
    Require(hex.size() % 2 == 0);
    // Never more characters than bytes after the form byte.
    Require(alpha->size() <= (hex.size() > 2 ? hex.size() / 2 - 1 : 0));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Decode(std::u16string(data, data + size));

  std::u16string wide(size / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  Decode(wide);
  return 0;
}
