#include "platform/win32_error.h"

#include <cerrno>

namespace platform {
namespace {
thread_local uint32_t t_last_error = 0;
}

uint32_t GetLastError() noexcept { return t_last_error; }
void SetLastError(uint32_t error) noexcept { t_last_error = error; }

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
    // unusable, which callers treat like the access-denied case.
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

uint32_t SetLastErrorFromErrno() noexcept {
  uint32_t error = ErrorFromErrno(errno);
  SetLastError(error);
  return error;
}

}  // namespace platform
