#include "app/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "foundation/xsystem.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/win32_error.h"

namespace {

constexpr size_t kPrefixSize = 40;  // "4294967295: [0xffffffff] " fits with room

size_t FormatPrefix(char (&buffer)[kPrefixSize], uint32_t tick_count, uint32_t thread_id) {
  const int length = std::snprintf(buffer, sizeof buffer, "%u: [0x%x] ", tick_count, thread_id);
  return length < 0 ? 0 : static_cast<size_t>(length);
}

}  // namespace

CLogFile::~CLogFile() { Uninstall(); }

std::string CLogFile::PathFor(std::u16string_view title) {
  char* folder = GetTempPath();
  if (folder == nullptr) return {};
  std::string path = folder;
  XFree(folder);
  return path + platform::Utf16ToUtf8(title) + ".txt";
}

uint32_t CLogFile::Open(const std::string& path) {
  fd_.reset();
  path_ = path;
  if (path.empty()) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return platform::kErrorPathNotFound;
  }
  // Not truncated on open: a file that turns out not to be ours must be left
  // as it is.
  platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                               S_IRUSR | S_IWUSR));
  if (!fd) {
    // A symbolic link in place of the file is someone else's trap, not a
    // missing folder.
    if (errno == ELOOP) {
      platform::SetLastError(platform::kErrorAccessDenied);
      return platform::kErrorAccessDenied;
    }
    return platform::SetLastErrorFromErrno();
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return platform::SetLastErrorFromErrno();
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    platform::SetLastError(platform::kErrorAccessDenied);
    return platform::kErrorAccessDenied;
  }
  // Another instance of ours writing this file keeps it locked; its log is
  // left alone, as a file opened for writing without write sharing would be.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      platform::SetLastError(platform::kErrorSharingViolation);
      return platform::kErrorSharingViolation;
    }
    return platform::SetLastErrorFromErrno();
  }
  if ((info.st_mode & 077) != 0 && ::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0) {
    return platform::SetLastErrorFromErrno();
  }
  if (::ftruncate(fd.get(), 0) != 0) return platform::SetLastErrorFromErrno();
  fd_ = std::move(fd);
  platform::SetLastError(platform::kErrorSuccess);
  return platform::kErrorSuccess;
}

void CLogFile::Install() {
  XLogSetSink(&CLogFile::Sink, this);
  installed_ = true;
}

void CLogFile::Uninstall() {
  if (!installed_) return;
  XLogSetSink(nullptr, nullptr);
  installed_ = false;
}

void CLogFile::Close() {
  Uninstall();
  fd_.reset();
}

void CLogFile::Write(std::string_view text) {
  if (!fd_) return;
  const platform::LastErrorPreserver preserve;
  const int saved_errno = errno;
  char prefix[kPrefixSize];
  const size_t prefix_length =
      FormatPrefix(prefix, platform::GetTickCount(), platform::GetCurrentThreadId());
  static constexpr char kLineEnd[] = "\r\n";
  iovec parts[3] = {
      {prefix, prefix_length},
      {const_cast<char*>(text.data()), text.size()},
      {const_cast<char*>(kLineEnd), 2},
  };
  // One call per line: with O_APPEND the kernel keeps lines of concurrent
  // threads whole. A short write (disk full) loses the rest of the line.
  while (::writev(fd_.get(), parts, 3) < 0 && errno == EINTR) {
  }
  errno = saved_errno;
}

std::string CLogFile::Prefix(uint32_t tick_count, uint32_t thread_id) {
  char prefix[kPrefixSize];
  return std::string(prefix, FormatPrefix(prefix, tick_count, thread_id));
}

void CLogFile::Sink(const char* line, void* context) {
  static_cast<CLogFile*>(context)->Write(line == nullptr ? std::string_view() : line);
}
