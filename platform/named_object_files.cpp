#include "platform/named_object_files.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/win32_error.h"

namespace platform {

int FlockRetrying(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

UniqueFd OpenObjectFile(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
}

bool TakeObjectShare(const std::string& base, bool create, ObjectShare* share) {
  share->guard = OpenObjectFile(base + ".guard");
  if (!share->guard) {
    SetLastErrorFromErrno();
    return false;
  }
  // Every opener holds the guard while it finds out whether the object
  // exists and takes its share, so the test and the share are one step to
  // other openers:
  //  - an exclusive lock on .lock that succeeds proves no handle exists
  //    anywhere (every handle holds a shared lock on it); turning it into a
  //    shared lock is not atomic in flock, but nobody can test in the gap,
  //    since testing needs the guard;
  //  - an exclusive lock that fails means other handles hold shared locks,
  //    so the object exists; a shared lock then cannot block, since only a
  //    guard holder ever holds .lock exclusively.
  // Closing a handle needs no guard: an opener sees the share either
  // still there or gone, both of which are true states.
  if (FlockRetrying(share->guard.get(), LOCK_EX) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  const std::string lock_path = base + ".lock";
  share->lock = create ? OpenObjectFile(lock_path)
                       : UniqueFd(::open(lock_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  if (!share->lock) {
    if (errno == ENOENT) {
      SetLastError(kErrorFileNotFound);
    } else {
      SetLastErrorFromErrno();
    }
    return false;
  }
  if (FlockRetrying(share->lock.get(), LOCK_EX | LOCK_NB) == 0) {
    share->existed = false;
    if (!create) {
      SetLastError(kErrorFileNotFound);
      return false;
    }
    if (FlockRetrying(share->lock.get(), LOCK_SH) != 0) {
      SetLastErrorFromErrno();
      return false;
    }
    return true;
  }
  if (errno != EWOULDBLOCK) {
    SetLastErrorFromErrno();
    return false;
  }
  share->existed = true;
  if (FlockRetrying(share->lock.get(), LOCK_SH | LOCK_NB) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

}  // namespace platform
