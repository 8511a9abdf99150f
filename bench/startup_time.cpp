// Start-up time of the program: from starting the process until its main
// window is shown (the window's "shown" line in the log file), on Qt's
// offscreen platform with private folders. Each run is stopped again with
// "-stop". Prints every run and the median.
//
//   startup_time [runs] [program]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr char kShownLine[] = "CDlgMain::OnShowWindow, shown.";
constexpr auto kGiveUp = std::chrono::seconds(30);

struct Folders {
  std::string config, runtime, tmp, stop_tmp;
};

std::string MakeFolder(const char* prefix) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/" + prefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return pattern;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments,
            const Folders& folders, const std::string& tmp) {
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) environment.emplace_back(*variable);
  environment.push_back("XDG_CONFIG_HOME=" + folders.config);
  environment.push_back("XDG_RUNTIME_DIR=" + folders.runtime);
  environment.push_back("TMPDIR=" + tmp);
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = {program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : args) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "cannot start %s: %d\n", program.c_str(), error);
    std::exit(1);
  }
  return pid;
}

bool Contains(const std::string& path, const char* text) {
  std::ifstream file(path, std::ios::binary);
  const std::string contents(std::istreambuf_iterator<char>(file), {});
  return contents.find(text) != std::string::npos;
}

// Milliseconds until the window was shown; negative when it never was.
double OneRun(const std::string& program) {
  const Folders folders{MakeFolder("vombel-bench-config"), MakeFolder("vombel-bench-run"),
                        MakeFolder("vombel-bench-tmp"), MakeFolder("vombel-bench-stop")};
  const std::string log = folders.tmp + "/Vombel Connect.txt";
  const auto start = std::chrono::steady_clock::now();
  const pid_t instance = Spawn(program, {"-log"}, folders, folders.tmp);
  double elapsed = -1;
  while (std::chrono::steady_clock::now() - start < kGiveUp) {
    if (Contains(log, kShownLine)) {
      elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      break;
    }
    int status = 0;
    if (::waitpid(instance, &status, WNOHANG) == instance) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const pid_t stop = Spawn(program, {"-stop"}, folders, folders.stop_tmp);
  ::waitpid(stop, nullptr, 0);
  ::waitpid(instance, nullptr, 0);
  for (const auto& folder : {folders.config, folders.runtime, folders.tmp, folders.stop_tmp}) {
    std::filesystem::remove_all(folder);
  }
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::string program = argc > 2 ? argv[2] : VOMBEL_CONNECT_BINARY;
  std::vector<double> times;
  OneRun(program);  // warms the page cache; not counted
  for (int i = 0; i < runs; ++i) {
    const double ms = OneRun(program);
    if (ms < 0) {
      std::fprintf(stderr, "run %d: the main window was never shown\n", i + 1);
      return 1;
    }
    std::printf("run %2d: %7.1f ms\n", i + 1, ms);
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  std::printf("median start-up to a shown main window: %.1f ms (%d runs, min %.1f, max %.1f)\n",
              median, runs, times.front(), times.back());
  return 0;
}
