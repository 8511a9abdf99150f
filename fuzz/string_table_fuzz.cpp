// Arbitrary bytes as a string-table block: the first byte picks the entry
// (its low four bits), the rest is block 1. GetStringResourceImage must either
// find an entry that lies wholly inside the block or fail with 13 or 1814, and
// XLoadString must agree with it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "foundation/xresource.h"
#include "platform/resource_module.h"
#include "platform/resources.h"
#include "platform/win32_error.h"

namespace {

void Discard(const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (XLogSetSink(&Discard, nullptr), true);
  (void)quiet;
  if (size == 0) return 0;
  const unsigned id = data[0] & 0x0F;
  // The builder copies the block into a heap block of exactly its size, so a
  // read past the end is caught by the address sanitizer.
  platform::ResourceModule module = platform::ResourceModuleBuilder()
                                        .Add(platform::kRtString, 1, std::vector<uint8_t>(data + 1, data + size))
                                        .Build();
  platform::HRSRC resource = platform::FindResource(module.handle(), 1, platform::kRtString);
  const auto* block = static_cast<const char*>(platform::LockResource(platform::LoadResource(module.handle(), resource)));
  const size_t block_size = size - 1;

  const char16_t* image = GetStringResourceImage(module.handle(), id);
  const uint32_t error = platform::GetLastError();
  if (image != nullptr) {
    const auto* at = reinterpret_cast<const char*>(image);
    if (error != 0 || image[0] == 0) std::abort();
    if (at < block || at + 2 + 2 * size_t{image[0]} > block + block_size) std::abort();
    if ((at - block) % 2 != 0) std::abort();
  } else if (error != platform::kErrorInvalidData && error != platform::kErrorResourceNameNotFound) {
    std::abort();
  }

  char16_t* copy = XLoadString(module.handle(), id);
  if ((copy != nullptr) != (image != nullptr)) std::abort();
  if (copy != nullptr) {
    if (std::memcmp(copy, image + 1, image[0] * sizeof(char16_t)) != 0 || copy[image[0]] != u'\0') std::abort();
    XFree(copy);
  }
  return 0;
}
