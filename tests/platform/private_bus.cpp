#include "tests/platform/private_bus.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace testing_support {

std::unique_ptr<PrivateBus> PrivateBus::Start(std::string& why_not) {
  const std::string daemon = FindProgram("dbus-daemon");
  if (daemon.empty()) {
    why_not = "dbus-daemon is not installed (Debian package dbus-daemon)";
    return nullptr;
  }
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    why_not = "no pipe";
    return nullptr;
  }
  platform::UniqueFd read_end(ends[0]);
  platform::UniqueFd write_end(ends[1]);
  SpawnedProgram::Options options;
  options.stdout_pipe = write_end.get();
  auto program = std::make_unique<SpawnedProgram>(
      std::vector<std::string>{daemon, "--session", "--nofork", "--nopidfile", "--print-address=1"},
      options);
  write_end.reset();
  std::string address;
  if (!program->Started() || !ReadLine(read_end.get(), address, std::chrono::seconds(5)) ||
      address.empty()) {
    why_not = "dbus-daemon did not start";
    return nullptr;
  }
  return std::make_unique<PrivateBus>(std::move(program), address);
}

}  // namespace testing_support
