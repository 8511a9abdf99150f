#include "platform/win32_error.h"

#include <cerrno>

namespace platform {
namespace {
thread_local uint32_t t_last_error = 0;
thread_local int t_last_errno = 0;
}  // namespace

uint32_t GetLastError() noexcept { return t_last_error; }
void SetLastError(uint32_t error) noexcept {
  t_last_error = error;
  t_last_errno = 0;
}
int GetLastErrno() noexcept { return t_last_errno; }
void SetLastErrorWithErrno(uint32_t error, int err) noexcept {
  t_last_error = error;
  t_last_errno = err;
}

uint32_t ErrorFromErrno(int err) noexcept {
  switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    // A pulled USB modem or a pty whose other side has gone: the port is
    // unusable, which the receiver treats like the access-denied case (the
    // serial port's open tells a pulled card from a held port itself).
    case EIO:
    case ENXIO:
    case ENODEV: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EBUSY: return kErrorBusy;
    case EEXIST: return kErrorAlreadyExists;
    case EINVAL: return kErrorInvalidParameter;
    case EPIPE: return kErrorBrokenPipe;
    case ENOSPC: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ETIMEDOUT: return kErrorTimeout;
    case EAGAIN: return kErrorIoPending;
    case ECANCELED: return kErrorOperationAborted;
    case ENOTSUP: return kErrorNotSupported;
    case ENOTTY: return kErrorInvalidFunction;
    default: return kErrorGenFailure;
  }
}

uint32_t SetLastErrorFromErrno() noexcept { return SetLastErrorFromErrno(errno); }

uint32_t SetLastErrorFromErrno(int err) noexcept {
  const uint32_t error = ErrorFromErrno(err);
  SetLastErrorWithErrno(error, err);
  return error;
}

}  // namespace platform
