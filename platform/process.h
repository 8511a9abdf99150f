// Other processes as waitable kernel objects: OpenProcess gives a handle that
// becomes signalled when the process ends, so WaitForSingleObject on it runs
// on the platform clock like every other wait.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "platform/handle.h"

namespace platform {

inline constexpr uint32_t kSynchronize = 0x00100000;
inline constexpr uint32_t kProcessTerminate = 0x0001;

// Null with the last error set (87 for no such process, 5 for a process of
// another user).
HANDLE OpenProcess(uint32_t access, pid_t pid);

// Kills the process (the exit code cannot be passed on on this system: the
// process dies of SIGKILL). False with the last error set.
bool TerminateProcess(HANDLE process, uint32_t exit_code);

}  // namespace platform
