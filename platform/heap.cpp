#include "platform/heap.h"

#include <cstdlib>

#include "platform/win32_error.h"

namespace platform {

void* LocalAlloc(size_t bytes) {
  // A zero-byte request still yields a block the caller may free.
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) SetLastError(kErrorNotEnoughMemory);
  return block;
}

bool LocalFree(void* block) {
  std::free(block);
  return true;
}

}  // namespace platform
