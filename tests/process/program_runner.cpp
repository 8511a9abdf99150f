#include "tests/process/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/support/eventually.h"

extern char** environ;

namespace process_testing {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

ProgramRunner::ProgramRunner(const Folders& folders, const std::vector<std::string>& arguments,
                             std::optional<uid_t> user)
    : ProgramRunner(folders, arguments, RunOptions{user}) {}

ProgramRunner::ProgramRunner(const Folders& folders, const std::vector<std::string>& arguments,
                             const RunOptions& options)
    : folders_(folders) {
  const std::optional<uid_t> user = options.user;
  // Everything the child needs is prepared before fork: the child only calls
  // what is safe after fork in a threaded process.
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string entry = *variable;
    for (const char* ours : {"XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=", "TMPDIR=", "QT_QPA_PLATFORM=", "VOMBEL_DEBUG="}) {
      if (entry.starts_with(ours)) goto skip;
    }
    environment.push_back(entry);
  skip:;
  }
  environment.push_back("XDG_CONFIG_HOME=" + folders.config);
  environment.push_back("XDG_RUNTIME_DIR=" + folders.runtime);
  environment.push_back("TMPDIR=" + folders.tmp);
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  if (options.debug_output) environment.push_back("VOMBEL_DEBUG=1");
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = {VOMBEL_CONNECT_BINARY};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : args) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const std::string output = folders.tmp + "/output.txt";
  const int output_fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const std::string errors = folders.tmp + "/errors.txt";
  const int errors_fd =
      options.separate_errors ? ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : output_fd;
  pid_ = ::fork();
  if (pid_ == 0) {
    if (output_fd >= 0) ::dup2(output_fd, STDOUT_FILENO);
    if (errors_fd >= 0) ::dup2(errors_fd, STDERR_FILENO);
    if (user && (::setgid(*user) != 0 || ::setuid(*user) != 0)) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (output_fd >= 0) ::close(output_fd);
  if (errors_fd >= 0 && errors_fd != output_fd) ::close(errors_fd);
}

ProgramRunner::~ProgramRunner() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::optional<int> ProgramRunner::Wait() {
  if (pid_ <= 0 || reaped_) return std::nullopt;
  int status = 0;
  const bool ended = testing_support::Eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; });
  if (!ended) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  reaped_ = true;
  if (!ended || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
}

bool ProgramRunner::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  reaped_ = true;
  return false;
}

void ProgramRunner::Terminate() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGTERM);
    Wait();
  }
}

std::string ProgramRunner::Output() const { return ReadFile(folders_.tmp + "/output.txt"); }
std::string ProgramRunner::Errors() const { return ReadFile(folders_.tmp + "/errors.txt"); }
std::string ProgramRunner::Log() const { return ReadFile(LogPath()); }

bool ProgramRunner::WaitForLog(const std::string& text) const {
  return testing_support::Eventually([&] { return Log().find(text) != std::string::npos; });
}

bool ProgramRunner::WaitForOutput(const std::string& text) const {
  return testing_support::Eventually([&] { return Output().find(text) != std::string::npos; });
}

}  // namespace process_testing
