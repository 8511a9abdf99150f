// Fixed heap blocks: what the helpers hand out and the client frees.
#pragma once

#include <cstddef>

namespace platform {

// Null with last error 8 when the heap is exhausted.
void* LocalAlloc(size_t bytes);
// Null is accepted. Returns false (last error set) when the block could not be
// released.
bool LocalFree(void* block);

}  // namespace platform
