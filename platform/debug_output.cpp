#include "platform/debug_output.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform {

void OutputDebugString(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

bool IsReadableString(const char* text) {
  if (text == nullptr) return false;
  // Copy the text through the kernel, a page at a time: an unreadable page
  // makes the copy fail with EFAULT instead of faulting this process.
  const pid_t self = ::getpid();
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  char chunk[4096];
  auto address = reinterpret_cast<uintptr_t>(text);
  for (;;) {
    size_t len = page - (address % page);
    if (len > sizeof chunk) len = sizeof chunk;
    iovec local{chunk, len};
    iovec remote{reinterpret_cast<void*>(address), len};
    ssize_t n = ::process_vm_readv(self, &local, 1, &remote, 1, 0);
    if (n <= 0) {
      if (n < 0 && (errno == ENOSYS || errno == EPERM)) return true;  // cannot check: trust the caller
      return false;
    }
    if (std::memchr(chunk, 0, static_cast<size_t>(n)) != nullptr) return true;
    address += static_cast<uintptr_t>(n);
  }
}

}  // namespace platform
