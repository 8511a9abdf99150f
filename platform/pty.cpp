#include "platform/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/win32_error.h"

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left until `deadline` for poll(); 0 once passed.
int PollTimeout(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool FailFromErrno() {
  SetLastErrorFromErrno();
  return false;
}

}  // namespace

bool PseudoTerminal::Open() {
  CloseMaster();
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!master) return FailFromErrno();
  if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) return FailFromErrno();
  char path[128];
  if (::ptsname_r(master.get(), path, sizeof path) != 0) return FailFromErrno();
  termios tio{};
  if (::tcgetattr(master.get(), &tio) != 0) return FailFromErrno();
  ::cfmakeraw(&tio);
  if (::tcsetattr(master.get(), TCSANOW, &tio) != 0) return FailFromErrno();
  master_ = std::move(master);
  slave_path_ = path;
  return true;
}

bool PseudoTerminal::Write(const void* data, size_t size, uint32_t timeout_ms) {
  if (!master_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(master_.get(), bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return FailFromErrno();
    if (SteadyClock::now() >= deadline) {
      SetLastError(kErrorTimeout);
      return false;
    }
    pollfd pfd{master_.get(), POLLOUT, 0};
    if (::poll(&pfd, 1, PollTimeout(deadline)) < 0 && errno != EINTR) return FailFromErrno();
  }
  return true;
}

bool PseudoTerminal::Read(void* buffer, size_t size, size_t* read, uint32_t timeout_ms) {
  *read = 0;
  if (!master_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const ssize_t n = ::read(master_.get(), buffer, size);
    if (n > 0) {
      *read = static_cast<size_t>(n);
      return true;
    }
    // EIO: the slave side is closed (by everyone).
    if (n < 0 && errno != EAGAIN && errno != EINTR) return FailFromErrno();
    if (n == 0) return true;
    if (SteadyClock::now() >= deadline) return true;
    pollfd pfd{master_.get(), POLLIN, 0};
    if (::poll(&pfd, 1, PollTimeout(deadline)) < 0 && errno != EINTR) return FailFromErrno();
  }
}

bool PseudoTerminal::ReadExactly(void* buffer, size_t size, size_t* read, uint32_t timeout_ms) {
  *read = 0;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (*read < size) {
    size_t got = 0;
    if (!Read(bytes + *read, size - *read, &got, static_cast<uint32_t>(PollTimeout(deadline)))) {
      return false;
    }
    // Read waits out the time left before it answers with nothing.
    if (got == 0) break;
    *read += got;
  }
  return true;
}

void PseudoTerminal::CloseMaster() {
  master_.reset();
  slave_path_.clear();
}

}  // namespace platform
