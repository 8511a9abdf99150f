// The settings text is data compiled into the build but written by hand per
// product; whatever bytes it holds, conversion and parsing must finish without
// faults, and a key that parsing kept must be found again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/ini_helper.h"
#include "app/resource_helper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text =
      CResourceHelper::AnsiToText(std::string_view(reinterpret_cast<const char*>(data), size));
  const CIniHelper::Sections sections = CIniHelper::Parse(text);
  const CIniHelper ini{std::u16string_view(text)};
  const auto application = sections.find(std::u16string_view(u"Application"));
  if (application != sections.end()) {
    for (const auto& [key, value] : application->second) {
      if (key.empty() || ini.GetValue(u"\uFFFF", key) != value) __builtin_trap();
    }
  }
  (void)ini.GetValue(u"", u"SignalStrengthMode");
  return 0;
}
