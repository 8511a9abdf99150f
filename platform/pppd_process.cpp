#include "platform/pppd_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/dial_up.h"
#include "platform/win32_error.h"

extern char** environ;

namespace platform {
namespace {

// The lowest descriptor a pipe end is moved to before the spawn, so that
// each dup2 of the spawn is a real one (a dup2 onto itself would leave the
// close-on-exec flag set).
constexpr int kAboveStandard = 10;

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

bool MakePipe(UniqueFd& read_end, UniqueFd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end.reset(fds[0]);
  write_end.reset(fds[1]);
  return true;
}

bool MoveUp(UniqueFd& fd) {
  const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, kAboveStandard);
  if (moved < 0) return false;
  fd.reset(moved);
  return true;
}

}  // namespace

PppdProcess::~PppdProcess() {
  if (!Running()) return;
  Signal(SIGKILL);
  Reap();
}

uint32_t PppdProcess::Start(const std::string& program, const std::vector<std::string>& args,
                            std::string_view password) {
  UniqueFd log_read, log_write, password_read, password_write;
  if (!MakePipe(log_read, log_write) || !MakePipe(password_read, password_write)) return ErrorFromErrno(errno);
  // The password fits the pipe's buffer many times over (the plugin takes
  // 255 bytes at most); a write that would block is refused, not waited for.
  if (::fcntl(password_write.get(), F_SETFL, O_NONBLOCK) != 0) return ErrorFromErrno(errno);
  while (!password.empty()) {
    const ssize_t n = ::write(password_write.get(), password.data(), password.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN ? kErrorInvalidParameter : ErrorFromErrno(errno);
    }
    password.remove_prefix(static_cast<size_t>(n));
  }
  password_write.reset();  // the plugin reads to the end of the pipe
  if (!MoveUp(log_write) || !MoveUp(password_read)) return ErrorFromErrno(errno);

  SpawnActions actions;
  SpawnAttributes attributes;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  if (posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
      posix_spawn_file_actions_adddup2(actions.get(), log_write.get(), 1) != 0 ||
      posix_spawn_file_actions_adddup2(actions.get(), log_write.get(), 2) != 0 ||
      posix_spawn_file_actions_adddup2(actions.get(), password_read.get(), kPasswordFd) != 0 ||
      posix_spawn_file_actions_addclosefrom_np(actions.get(), kPasswordFd + 1) != 0 ||
      posix_spawnattr_setflags(attributes.get(),
                               POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0 ||
      posix_spawnattr_setsigmask(attributes.get(), &none) != 0 ||
      posix_spawnattr_setsigdefault(attributes.get(), &all) != 0) {
    return kErrorNotEnoughMemory;
  }

  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(), environ);
  if (spawned != 0) {
    if (spawned == ENOENT || spawned == ENOTDIR) return kDialUpErrorPppdMissing;
    if (spawned == EACCES || spawned == EPERM) return kDialUpErrorPppdNotPermitted;
    return ErrorFromErrno(spawned);
  }
  pid_ = pid;
  reaped_ = false;
  pidfd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!pidfd_) {
    const int err = errno;
    ::kill(pid, SIGKILL);
    Reap();
    return ErrorFromErrno(err);
  }
  if (::fcntl(log_read.get(), F_SETFL, O_NONBLOCK) != 0) {
    const int err = errno;
    Signal(SIGKILL);
    Reap();
    return ErrorFromErrno(err);
  }
  log_ = std::move(log_read);
  return kErrorSuccess;
}

bool PppdProcess::Signal(int signal) {
  // A reaped process's pidfd stays valid and refuses the signal (ESRCH).
  if (!pidfd_) return false;
  return ::syscall(SYS_pidfd_send_signal, pidfd_.get(), signal, nullptr, 0) == 0;
}

int PppdProcess::Reap() {
  if (pid_ <= 0 || reaped_) return -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) {
      reaped_ = true;
      return -1;
    }
  }
  reaped_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace platform
