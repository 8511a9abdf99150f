// Runs the real program as a child process with private folders: its own
// settings store, runtime folder (named objects, the instance socket) and
// temporary folder (the log file), on Qt's offscreen platform.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace process_testing {

// The folders one "machine" of the test uses: instances that share the
// runtime folder see each other.
struct Folders {
  std::string config;
  std::string runtime;
  std::string tmp;
};

// How the child runs.
struct RunOptions {
  // With `user`, the child switches to that user (and group) id first.
  std::optional<uid_t> user;
  // VOMBEL_DEBUG=1: the trace of a run without -log comes on standard error
  // (the tests read it there); otherwise VOMBEL_DEBUG is left out.
  bool debug_output = true;
  // Standard error to <folders.tmp>/errors.txt instead of beside the output.
  bool separate_errors = false;
};

class ProgramRunner {
 public:
  // Starts the program with `arguments`; its standard output and error go to
  // <folders.tmp>/output.txt. With `user`, the child switches to that user
  // (and group) id first.
  ProgramRunner(const Folders& folders, const std::vector<std::string>& arguments,
                std::optional<uid_t> user = std::nullopt);
  ProgramRunner(const Folders& folders, const std::vector<std::string>& arguments, const RunOptions& options);
  ~ProgramRunner();  // kills a child that still runs
  ProgramRunner(const ProgramRunner&) = delete;
  ProgramRunner& operator=(const ProgramRunner&) = delete;

  pid_t Pid() const { return pid_; }
  // The exit code once the program ended by itself; nullopt when it was
  // killed by a signal or did not end within the safety net (then killed).
  std::optional<int> Wait();
  bool Running();
  // Asks the program to end (SIGTERM) and reaps it.
  void Terminate();

  std::string Output() const;
  // Standard error when it was kept apart.
  std::string Errors() const;
  std::string LogPath() const { return folders_.tmp + "/Vombel Connect.txt"; }
  std::string Log() const;
  // Waits until the log file holds `text`; false when the safety net ran out.
  bool WaitForLog(const std::string& text) const;
  bool WaitForOutput(const std::string& text) const;

 private:
  Folders folders_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

std::string ReadFile(const std::string& path);

}  // namespace process_testing
