// Arbitrary bytes as a key's values file and as a key's folder name. The
// parser must not crash; what it reads must come back unchanged and undamaged
// after being written out again; a folder name it accepts must be the one
// spelling the store would give that key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const auto content = platform::ParseRegistryFile(text);
  const auto again = platform::ParseRegistryFile(platform::SerializeRegistryFile(content.values));
  if (again.damaged() || again.values != content.values) std::abort();

  if (const auto name = platform::DecodeRegistryKeyName(text)) {
    if (platform::EncodeRegistryKeyName(*name) != text) std::abort();
    for (char16_t unit : *name)
      if (unit == u'\\' || unit == u'\0') std::abort();
  }
  return 0;
}
