// One pppd run as the dial-up service starts it: in a session of its own
// (as pppd puts itself when it detaches), with every signal at its default
// and none blocked, standard input /dev/null, standard output and error on a
// pipe the service reads (pppd logs there with "logfd 2", chat writes its
// messages there), and the password on descriptor 3: a pipe filled and
// closed before pppd starts, which pppd's passwordfd plugin reads to its end.
// No other descriptor of ours reaches it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

class PppdProcess {
 public:
  // Where the password arrives (pppd's "passwordfd 3").
  static constexpr int kPasswordFd = 3;

  PppdProcess() = default;
  // A process that still runs is killed and reaped: none outlives its owner
  // as a zombie or as a call nobody can end.
  ~PppdProcess();
  PppdProcess(const PppdProcess&) = delete;
  PppdProcess& operator=(const PppdProcess&) = delete;

  // Starts `program` with `args` (without the program name) and the
  // process's environment. 0, or: kDialUpErrorPppdMissing (no such program),
  // kDialUpErrorPppdNotPermitted (not executable for this user), another
  // Win32 error for what the system refused.
  uint32_t Start(const std::string& program, const std::vector<std::string>& args, std::string_view password);

  bool Running() const { return pid_ > 0 && !reaped_; }
  pid_t Pid() const { return pid_; }
  // Non-blocking; readable until every writer (pppd, chat) has closed it.
  int LogFd() const { return log_.get(); }
  // Readable once the process has ended.
  int PidFd() const { return pidfd_.get(); }

  // Through the pidfd, so it never reaches a process that took over the
  // number once this one has been reaped (it fails then). Safe while another
  // thread reaps.
  bool Signal(int signal);

  // Waits for the process to end; its exit code, or -1 when a signal ended
  // it (or it had been reaped already).
  int Reap();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  UniqueFd pidfd_;
  UniqueFd log_;
};

}  // namespace platform
