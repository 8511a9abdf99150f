// The one place where UTF-8 (log lines, files, paths, the command line) and
// UTF-16 (records, AT text, GSM and UCS2 conversions) meet.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Ill-formed input never fails: a broken sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform
