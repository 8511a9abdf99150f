#include "sim/card_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/win32_error.h"

namespace sim {

CardPort::CardPort(InputHandler on_input) : on_input_(std::move(on_input)) {}

CardPort::~CardPort() {
  RequestClose();
  Join();
}

bool CardPort::Open() {
  Join();
  std::lock_guard lock(mutex_);
  if (!wake_) {
    wake_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_) {
      platform::SetLastErrorFromErrno();
      return false;
    }
  }
  if (!pty_.Open()) return false;
  slave_.reset(::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!slave_) {
    platform::SetLastErrorFromErrno();
    pty_.CloseMaster();
    return false;
  }
  path_ = pty_.SlavePath();
  uint64_t drained = 0;
  while (::read(wake_.get(), &drained, sizeof drained) > 0) {
  }
  stop_.store(false);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void CardPort::RequestClose() {
  stop_.store(true);
  std::lock_guard lock(mutex_);
  if (wake_) {
    const uint64_t one = 1;
    // A full counter still wakes the reader; nothing to do on failure.
    [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
  }
}

void CardPort::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool CardPort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return pty_.IsOpen();
}

std::string CardPort::Path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

bool CardPort::Write(std::string_view bytes, uint32_t timeout_ms) {
  std::lock_guard lock(mutex_);
  if (!pty_.IsOpen()) return false;
  return pty_.Write(bytes, timeout_ms);
}

void CardPort::Close() {
  std::lock_guard lock(mutex_);
  slave_.reset();
  pty_.CloseMaster();
  path_.clear();
}

void CardPort::Run() {
  char buffer[512];
  while (!stop_.load()) {
    pollfd fds[2] = {{pty_.MasterFd(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (stop_.load() || (fds[1].revents & POLLIN) != 0) break;
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    size_t got = 0;
    if (!pty_.Read(buffer, sizeof buffer, &got, 0)) break;
    // A hang-up with nothing to read would wake poll() for ever.
    if (got == 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0) break;
    if (got > 0 && !on_input_(std::string_view(buffer, got))) break;
  }
  Close();
}

}  // namespace sim
