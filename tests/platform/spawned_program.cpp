#include "tests/platform/spawned_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace testing_support {

std::string FindProgram(const std::string& program) {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin";
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find(':', start), path.size());
    const std::string dir = path.substr(start, end - start);
    if (!dir.empty()) {
      const std::string candidate = dir + "/" + program;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return {};
}

SpawnedProgram::SpawnedProgram(const std::vector<std::string>& argv, const Options& options) {
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) env_strings.emplace_back(*e);
  for (const auto& extra : options.extra_env) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env_strings, [&name](const std::string& s) { return s.starts_with(name); });
    env_strings.push_back(extra);
  }
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.stdin_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.stdin_fd, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  const std::string output = options.output.empty() ? "/dev/null" : options.output;
  posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (options.stdout_pipe >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.stdout_pipe, 1);
  } else {
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
  }
  pid_t pid = -1;
  if (::posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data()) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
}

bool SpawnedProgram::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

SpawnedProgram::~SpawnedProgram() {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  if (!WaitUntil(std::chrono::milliseconds(2000), [this] { return !Running(); })) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool ReadLine(int fd, std::string& line, std::chrono::milliseconds limit) {
  line.clear();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char c = 0;
    if (::read(fd, &c, 1) != 1) return false;
    if (c == '\n') return true;
    line += c;
  }
}

}  // namespace testing_support
