// Whole texts in the GSM 7-bit default alphabet: UTF-16 -> GSM bytes (one byte
// per code, an extension character as the pair ESC, code), the septet count
// that sizes such a text, and GSM bytes -> UTF-16. The single-character
// lookups are in gsm_alphabet.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace GSM {

// The number of bytes UnicodeToGsmBytes writes for `text`: 1 per character
// with a single code, 2 per escaped character, 0 per character the alphabet
// cannot carry. This is also the number of septets the text costs in an SMS.
size_t GsmSeptetCount(std::u16string_view text);

// Converts `text` into `out` and returns the number of bytes written.
// Characters without a code are dropped (the conversion never fails on them);
// an extension character is written as ESC followed by its code. When `out` is
// too small the conversion stops before the first character that no longer
// fits whole, so an ESC is never left without its code: size `out` with
// GsmSeptetCount to get everything.
size_t UnicodeToGsmBytes(std::u16string_view text, std::span<uint8_t> out);

// Decodes GSM bytes; only the low 7 bits of each byte count. An ESC produces no
// character and makes the next byte use the extension table, where an unused
// code gives U+FFFF (ESC ESC too); an ESC at the very end produces nothing.
// The number of characters decoded is the size of the result. Raises
// DvException 0x8007000E when the result cannot be allocated.
std::u16string GsmBytesToUnicode(std::span<const uint8_t> bytes);

// An owned text in the GSM default alphabet: 7-bit codes, an extension
// character taking two bytes (ESC, code).
class GsmString {
 public:
  GsmString() = default;
  // Converts `text` as UnicodeToGsmBytes does. Without memory for the bytes
  // the string stays empty; Length() 0 for a text that is not empty tells the
  // caller so.
  explicit GsmString(std::u16string_view text);

  const uint8_t* Data() const { return bytes_.data(); }
  size_t Length() const { return bytes_.size(); }
  bool Empty() const { return bytes_.empty(); }
  std::span<const uint8_t> Bytes() const { return bytes_; }

  std::u16string ToUnicode() const { return GsmBytesToUnicode(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace GSM
