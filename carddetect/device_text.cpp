#include "carddetect/device_text.h"

#include <algorithm>
#include <limits>

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/text.h"

std::u16string OemToUtf16(std::string_view text) {
  // Hardware IDs and most names are plain ASCII, which the OEM code page
  // maps to itself: no conversion descriptor is needed for them.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::u16string(text.begin(), text.end());
  }
  if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
  const int length = static_cast<int>(text.size());
  const int needed =
      platform::MultiByteToWideChar(platform::kCpOemCp, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string out(static_cast<size_t>(needed), u'\0');
  const int written =
      platform::MultiByteToWideChar(platform::kCpOemCp, 0, text.data(), length, out.data(), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::string Narrow(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

std::vector<std::u16string_view> SplitList(std::u16string_view list) {
  std::vector<std::u16string_view> items;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(u',', start);
    if (comma == std::u16string_view::npos) {
      items.push_back(list.substr(start));
      return items;
    }
    items.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) { return platform::AsciiEqualsIgnoreCase(a, b); }

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  return platform::AsciiStartsWithIgnoreCase(text, prefix);
}

std::u16string FormatDevicePattern(std::u16string_view pattern, int number) {
  std::u16string out;
  bool number_written = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (pattern[i + 1] == u'd' && !number_written) {
        out += platform::Utf8ToUtf16(std::to_string(number));
        number_written = true;
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}
