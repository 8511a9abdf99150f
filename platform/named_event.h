// Named events shared between programs, beside the named mutexes of
// named_object.h and in the same runtime directory:
//
//   <runtime>/<name>.lock   existence, as for a mutex (a shared flock per
//                           open handle)
//   <runtime>/<name>.event  the state: one byte, '1' signalled, '0' not;
//                           replaced atomically on every change
//
// A wait on a named event (or on a named mutex another process holds) wakes
// when another process changes it, without polling: one watcher thread per
// process follows the runtime directory with inotify and the holders of
// awaited mutexes with pidfds, and wakes the waiters when anything changes.
// SetEvent and ResetEvent (event.h) work on named events as on local ones.
#pragma once

#include <string_view>

#include "platform/handle.h"

namespace platform {

// CreateEventW with a name: opens the event, creating it (with the given
// state) when no process has it open. The last error is 183 when it
// existed (its state is then left alone), 0 otherwise. Null on failure.
HANDLE CreateNamedEvent(std::u16string_view name, bool manual_reset, bool initially_signalled);

// OpenEventW: null with last error 2 when no process has the event open.
HANDLE OpenNamedEvent(std::u16string_view name);

}  // namespace platform
