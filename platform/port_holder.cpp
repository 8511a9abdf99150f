#include "platform/port_holder.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/port_holder_text.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// A /proc/<pid>/comm is at most 16 bytes; read a little more than that, to
// see the cut even in a fixture.
std::string ReadComm(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return {};
  char buffer[128];
  const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool HoldsPort(const std::string& fd_dir, const std::string& port_path) {
  Dir dir(::opendir(fd_dir.c_str()));
  if (!dir) return false;  // gone, or not ours to read
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(::dirfd(dir.get()), entry->d_name, target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) continue;
    if (FdLinkIsPort(std::string_view(target, static_cast<size_t>(n)), port_path)) return true;
  }
  return false;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const std::string& port_path, const std::string& proc_root) {
  // The kernel shows the node a descriptor was opened on by its real path.
  std::string port = port_path;
  if (char* real = ::realpath(port_path.c_str(), nullptr)) {
    port = real;
    ::free(real);
  }
  std::vector<PortHolder> holders;
  Dir proc(::opendir(proc_root.c_str()));
  if (!proc) return holders;
  const int self = static_cast<int>(::getpid());
  while (const dirent* entry = ::readdir(proc.get())) {
    const std::optional<int> pid = PidOfProcEntry(entry->d_name);
    if (!pid || *pid == self) continue;
    const std::string base = proc_root + "/" + entry->d_name;
    if (!HoldsPort(base + "/fd", port)) continue;
    holders.push_back({*pid, ProgramNameOfComm(ReadComm(base + "/comm"))});
  }
  std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  return holders;
}

}  // namespace platform
