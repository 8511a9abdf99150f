#include "platform/sysfs_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/unique_fd.h"

namespace platform {

std::optional<std::string> ReadSysfsFile(const std::string& path, size_t limit) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (text.size() < limit) {
    const ssize_t got = ::read(fd.get(), buffer, std::min(sizeof buffer, limit - text.size()));
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

}  // namespace platform
