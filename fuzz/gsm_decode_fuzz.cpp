// GSM default-alphabet text both ways. The input is taken once as GSM bytes
// (the septets of an SMS, the quoted bytes of an AT answer) and once as UTF-16
// text (what a user or a card may put in a message).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devicelib/gsm_string.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

std::vector<uint8_t> Encode(std::u16string_view text) {
  std::vector<uint8_t> bytes(GSM::GsmSeptetCount(text));
  // The septet count is exactly what the conversion writes.
  Require(GSM::UnicodeToGsmBytes(text, bytes) == bytes.size());
  for (uint8_t byte : bytes) Require(byte < 0x80);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Bytes -> text -> bytes -> text: the second text is the first without the
  // U+FFFF of unused extension codes, which have no way back.
  const std::u16string text = GSM::GsmBytesToUnicode({data, size});
  Require(text.size() <= size);
  const std::vector<uint8_t> bytes = Encode(text);
  std::u16string expected = text;
  std::erase(expected, u'\uFFFF');
  Require(GSM::GsmBytesToUnicode(bytes) == expected);

  // Text -> bytes is stable: what it produces decodes and encodes to itself.
  std::u16string wide(size / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  const std::vector<uint8_t> encoded = Encode(wide);
  Require(encoded.size() <= 2 * wide.size());
  Require(Encode(GSM::GsmBytesToUnicode(encoded)) == encoded);
  Require(GSM::GsmString(wide).Length() == encoded.size());
  return 0;
}
