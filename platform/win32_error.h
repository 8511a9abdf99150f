// The error vocabulary of the platform layer. The upper layers were designed
// around the Win32 error numbers and the per-thread last-error value, so the
// platform layer speaks them too: every errno is mapped once, here.
#pragma once

#include <cstdint>

namespace platform {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorHandleEof = 38;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorDevNotExist = 55;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorBusy = 170;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorFilenameExcedRange = 206;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorWaitTimeout = 258;
inline constexpr uint32_t kErrorNoMoreItems = 259;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorIoIncomplete = 996;
inline constexpr uint32_t kErrorIoPending = 997;
inline constexpr uint32_t kErrorBadFileType = 222;
inline constexpr uint32_t kErrorNotFound = 1168;
inline constexpr uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr uint32_t kErrorResourceNameNotFound = 1814;
inline constexpr uint32_t kErrorTimeout = 1460;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;
inline constexpr uint32_t kErrorNoSystemResources = 1450;
// Windows and their timers and classes.
inline constexpr uint32_t kErrorInvalidWindowHandle = 1400;
inline constexpr uint32_t kErrorInvalidTimerId = 1402;
inline constexpr uint32_t kErrorCannotFindWndClass = 1407;
inline constexpr uint32_t kErrorClassAlreadyExists = 1410;
inline constexpr uint32_t kErrorClassDoesNotExist = 1411;
inline constexpr uint32_t kErrorInvalidThreadId = 1444;

// Result codes in the 0x8007xxxx form of operating-system errors.
inline constexpr uint32_t kResultFail = 0x80004005;        // failure without an error code
inline constexpr uint32_t kResultOutOfMemory = 0x8007000E;

// The thread's last-error value: set by the platform calls that fail (and by
// the helpers that succeed), read by whoever asks right after.
uint32_t GetLastError() noexcept;
void SetLastError(uint32_t error) noexcept;

// The one errno -> Win32 mapping of the platform layer.
uint32_t ErrorFromErrno(int err) noexcept;

// Sets the last-error value from errno and returns it.
uint32_t SetLastErrorFromErrno() noexcept;
// The same for an errno the caller saved.
uint32_t SetLastErrorFromErrno(int err) noexcept;
// Sets the last-error value to `error`, chosen by the caller, and keeps the
// errno it stands for beside it.
void SetLastErrorWithErrno(uint32_t error, int err) noexcept;

// The errno behind the thread's last error: kept by the two calls above, 0
// after SetLastError (an error that did not come from the system). Several
// errnos share one error number (a held port and a denied permission are
// both 5); this tells them apart for the log.
int GetLastErrno() noexcept;

// An operating-system error in result-code form: 0x80070000 | (e & 0xFFFF)
// when e is positive, e itself when it already is a result code (top bit set),
// 0x80004005 when no error is recorded.
constexpr uint32_t ResultFromError(uint32_t error) noexcept {
  if (error == 0) return kResultFail;
  if (error & 0x80000000u) return error;
  return 0x80070000u | (error & 0xFFFFu);
}

// Saves the thread's last-error value (and its errno) and puts them back when
// the scope ends.
class LastErrorPreserver {
 public:
  LastErrorPreserver() noexcept : saved_(GetLastError()), saved_errno_(GetLastErrno()) {}
  ~LastErrorPreserver() { SetLastErrorWithErrno(saved_, saved_errno_); }
  LastErrorPreserver(const LastErrorPreserver&) = delete;
  LastErrorPreserver& operator=(const LastErrorPreserver&) = delete;

 private:
  uint32_t saved_;
  int saved_errno_;
};

}  // namespace platform
