// QuotedString::Decode on any field text in each mode: an empty result for
// what it cannot read, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devicelib/quoted_string.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XLogSetSink(&Discard, nullptr);
  // Mostly ASCII (hex digits are what matters), with whole units now and then.
  std::u16string text;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text.push_back(static_cast<char16_t>(data[i + 1] << 8 | data[i + 2]));
      i += 2;
    } else {
      text.push_back(data[i]);
    }
  }
  for (int mode = 0; mode < 3; ++mode) {
    const std::u16string decoded = GSM::QuotedString::Decode(text, static_cast<GSM::QuotedStringMode>(mode));
    if (mode == GSM::QuotedStringModeNone && decoded != text) std::abort();
    if (mode != GSM::QuotedStringModeNone && decoded.size() > text.size() / 2) std::abort();
  }
  return 0;
}
