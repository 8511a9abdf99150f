// Threads as kernel objects: a thread handle is signalled once the body has
// returned, so it can be waited for with a time-out like any other object.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/handle.h"

namespace platform {

// Starts `body` on a new thread. Returns its handle and stores its id in
// `thread_id` (when given); null with the last error set when no thread could
// be made. Closing the handle does not affect the thread.
HANDLE CreateThread(std::function<uint32_t()> body, uint32_t* thread_id);

// The system-wide id of the calling thread (the kernel's thread id).
uint32_t GetCurrentThreadId();

// The body's return value once it has returned, kStillActive while it runs;
// false (last error 6) for a bad handle.
inline constexpr uint32_t kStillActive = 259;
bool GetExitCodeThread(HANDLE thread, uint32_t* code);

}  // namespace platform
