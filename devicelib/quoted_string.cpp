#include "devicelib/quoted_string.h"

#include <optional>

#include "devicelib/ucs2.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace GSM {

std::u16string QuotedString::Decode(std::u16string_view raw, QuotedStringMode mode) {
  std::optional<std::u16string> decoded;
  switch (mode) {
    case QuotedStringModeNone:
      return std::u16string(raw);
    case QuotedStringModeUcs2:
      decoded = DecodeUcs2Hex(raw);
      break;
    case QuotedStringModeUcs2CodingScheme:
      decoded = DecodeSimAlphaHex(raw);
      break;
  }
  if (decoded) return std::move(*decoded);
  XLogLevel(kXLogError, "Dv: QuotedString::Decode(): Could not decode UCS2 string %s",
            platform::Utf16ToUtf8(raw).c_str());
  return {};
}

}  // namespace GSM
