// Kernel objects with names, shared between programs: named mutexes (named
// events are in named_event.h). A name lives as files in the runtime
// directory, so every program of the user that uses the same name sees the
// same object:
//
//   <runtime>/<name>.lock   held with a shared flock by every open handle:
//                           the object exists while any process holds one
//   <runtime>/<name>.owner  held with an exclusive flock by the owner of a
//                           mutex; the owner's pid is written while it holds
//                           it, so a lock found free with a pid still written
//                           means the holder died (an abandoned mutex)
//
// A name's "Global\" or "Local\" prefix is dropped; characters that cannot be
// part of a file name are escaped. Files are created with owner-only
// permissions. The kernel releases a dead process's locks, so nothing stale
// survives a crash.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/handle.h"

namespace platform {

// ReleaseMutex by a thread that does not own the mutex.
inline constexpr uint32_t kErrorNotOwner = 288;

// The folder that holds named objects and the instance sockets:
// $XDG_RUNTIME_DIR/vombel-connect, else /tmp/vombel-connect-<uid>; created
// with mode 0700 when missing. A folder that is not a directory owned by the
// user with mode 0700 is refused (empty result, last error 5), so another
// user cannot plant objects for us. Read from the environment on every call.
std::string RuntimeDirectory();

// The file stem a kernel-object name maps to inside RuntimeDirectory().
std::string NamedObjectFileStem(std::u16string_view name);

// CreateMutexW: opens the named mutex, creating it when no process has it
// open. On success the last error is 183 (already exists) when it existed,
// 0 otherwise. With `initial_owner` a newly created mutex is owned by the
// caller; an existing one is opened without ownership. Null on failure with
// the last error set. An empty name gives an unnamed, process-local mutex.
// Closing the handle (or the process ending) releases ownership and the
// handle's share of the object.
HANDLE CreateMutex(std::u16string_view name, bool initial_owner);

// ReleaseMutex: false (last error 288) when the caller does not own it.
bool ReleaseMutex(HANDLE mutex);

}  // namespace platform
