// Auto-reset and manual-reset events.
#pragma once

#include "platform/handle.h"

namespace platform {

// Null with the last error set on failure.
HANDLE CreateEvent(bool manual_reset, bool initially_signalled);
// False (last error 6) for a handle that is not an event.
bool SetEvent(HANDLE event);
bool ResetEvent(HANDLE event);

}  // namespace platform
