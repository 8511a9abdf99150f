// What the program asks about the system it runs on: the temporary folder,
// its own file name, the system version and environment variables. Paths and
// texts are UTF-8; sizes and lengths count bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/module.h"

namespace platform {

inline constexpr uint32_t kErrorModNotFound = 126;

inline constexpr uint32_t kVerPlatformWin32Windows = 1;  // the 9x family
inline constexpr uint32_t kVerPlatformWin32Nt = 2;

// The version record the callers test. Its size is fixed at 276 bytes and the
// caller sets dwOSVersionInfoSize to that before asking.
struct OSVERSIONINFO {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  char16_t szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFO) == 276);
static_assert(offsetof(OSVERSIONINFO, dwPlatformId) == 16);
static_assert(offsetof(OSVERSIONINFO, szCSDVersion) == 20);

// The version this platform reports: the newest NT-family system, 10.0, so
// that everything choosing between old and new system behaviour takes the
// newest path. The build number is fixed (kReportedBuildNumber): the kernel's
// release numbers mean nothing on that scale. szCSDVersion carries the
// kernel's name and release ("Linux 6.1.0-18-amd64") for diagnostics.
inline constexpr uint32_t kReportedMajorVersion = 10;
inline constexpr uint32_t kReportedMinorVersion = 0;
inline constexpr uint32_t kReportedBuildNumber = 19045;

// $TMPDIR when set and not empty, else /tmp, always with a trailing '/' (as
// the system's form ends in a separator). Returns the length without the
// terminator; when `buffer_size` is too small for path and terminator, writes
// nothing and returns the size needed (with the terminator). 0 with last
// error 87 for a null buffer of nonzero size.
uint32_t GetTempPath(uint32_t buffer_size, char* buffer);

// The program's file as the kernel knows it (/proc/self/exe). Only the
// program itself (null) has a file: resource modules are compiled into it, so
// any other handle fails with 126. Returns the length without the terminator.
// When `size` is too small the name is cut to size - 1 bytes, terminated, and
// `size` is returned with last error 122 (a zero `size` returns 0 with 122).
// 0 with the last error set on failure (87 for a null buffer of nonzero size).
uint32_t GetModuleFileName(HMODULE module, char* buffer, uint32_t size);

// Fills `info`. False with last error 87 for null, 122 when
// dwOSVersionInfoSize is not sizeof(OSVERSIONINFO).
bool GetVersionEx(OSVERSIONINFO* info);

// Replaces each "%NAME%" by the variable's value; a name that is not set
// stays as it is, and its closing '%' may open the next name. Returns the
// size of the result including its terminator, which is also the size needed
// when `size` is too small (nothing is written then). 0 with last error 87 for
// a null source or a null destination of nonzero size.
uint32_t ExpandEnvironmentStrings(const char* source, char* destination, uint32_t size);

}  // namespace platform
