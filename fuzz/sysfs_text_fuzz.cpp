// sysfs attribute files, uevent files and udev records are read as the kernel
// and udev left them; whatever bytes they hold, parsing must finish without
// faults, and what it returns must hold together.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/sysfs_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (platform::TrimAttribute(text).size() > text.size()) __builtin_trap();
  for (size_t digits : {2, 4, 6, 8}) {
    const auto value = platform::ParseHexAttribute(text, digits);
    if (value && digits < 8 && *value >> (4 * digits) != 0) __builtin_trap();
  }
  (void)platform::ParseVersionNumbers(text);
  for (const auto& [key, value] : platform::ParseUevent(text)) {
    if (key.empty() || key.find('\n') != std::string::npos ||
        value.find('\n') != std::string::npos) {
      __builtin_trap();
    }
  }
  for (const auto& [key, value] : platform::ParseUdevData(text)) {
    if (key.empty() || key.find('=') != std::string::npos) __builtin_trap();
  }
  return 0;
}
