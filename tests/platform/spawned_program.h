// Other programs a test runs beside itself (a bus daemon, ModemManager,
// socat...): started with posix_spawn, so a test with threads may start them,
// and ended when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

// The full path of `program` on $PATH (or in /usr/sbin, /sbin), empty when
// it is not installed.
std::string FindProgram(const std::string& program);

class SpawnedProgram {
 public:
  struct Options {
    std::vector<std::string> extra_env;  // NAME=value, added to the test's environment
    std::string output;                  // a file for standard output and error; /dev/null when empty
    int stdout_pipe = -1;                // else: standard output goes to this descriptor
    int stdin_fd = -1;                   // standard input; /dev/null when -1
  };

  SpawnedProgram(const std::vector<std::string>& argv, const Options& options);
  // Ends the program: SIGTERM, then SIGKILL when it has not gone within 2 s.
  ~SpawnedProgram();
  SpawnedProgram(const SpawnedProgram&) = delete;
  SpawnedProgram& operator=(const SpawnedProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Still running (not exited, not reaped).
  bool Running();

 private:
  pid_t pid_ = -1;
};

// Waits up to `limit` for `predicate`, looking every 10 ms. For other
// programs, which signal nothing we could wait on.
template <typename Predicate>
bool WaitUntil(std::chrono::milliseconds limit, Predicate predicate);

// Reads a line from `fd` within `limit`; false at its end, on time-out or error.
bool ReadLine(int fd, std::string& line, std::chrono::milliseconds limit);

}  // namespace testing_support

#include <thread>

template <typename Predicate>
bool testing_support::WaitUntil(std::chrono::milliseconds limit, Predicate predicate) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}
