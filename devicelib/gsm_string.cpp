#include "devicelib/gsm_string.h"

#include <new>

#include "devicelib/gsm_alphabet.h"
#include "devicelib/result_codes.h"
#include "platform/win32_error.h"

namespace GSM {

size_t GsmSeptetCount(std::u16string_view text) {
  size_t count = 0;
  for (char16_t character : text) {
    bool escaped = false;
    if (UnicodeToGsm(character, escaped) != kGsmNoCode) count += escaped ? 2 : 1;
  }
  return count;
}

size_t UnicodeToGsmBytes(std::u16string_view text, std::span<uint8_t> out) {
  size_t written = 0;
  for (char16_t character : text) {
    bool escaped = false;
    const uint8_t code = UnicodeToGsm(character, escaped);
    if (code == kGsmNoCode) continue;
    const size_t needed = escaped ? 2 : 1;
    if (out.size() - written < needed) break;
    if (escaped) out[written++] = kGsmEscape;
    out[written++] = code;
  }
  return written;
}

std::u16string GsmBytesToUnicode(std::span<const uint8_t> bytes) {
  std::u16string text;
  try {
    text.reserve(bytes.size());
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  bool follows_escape = false;
  for (uint8_t byte : bytes) {
    // Only the low 7 bits count, for the escape as for every other code.
    if (!follows_escape && (byte & 0x7F) == kGsmEscape) {
      follows_escape = true;
      continue;
    }
    text.push_back(GsmToUnicode(byte, follows_escape));
    follows_escape = false;
  }
  return text;
}

GsmString::GsmString(std::u16string_view text) {
  try {
    bytes_.resize(GsmSeptetCount(text));
  } catch (const std::bad_alloc&) {
    return;
  }
  bytes_.resize(UnicodeToGsmBytes(text, bytes_));
}

}  // namespace GSM
