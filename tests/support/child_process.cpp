#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "platform/clock.h"

namespace testing_support {
namespace {

// Only reached when a wake-up is lost.
constexpr auto kSafetyNet = std::chrono::seconds(60);

}  // namespace

Child::Child(const std::function<int(Child&)>& body) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ends[0]);
    end_ = ends[1];
    ::_exit(body(*this));
  }
  ::close(ends[1]);
  end_ = ends[0];
}

Child::~Child() {
  ::close(end_);
  if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
}

bool Child::Send(char byte) { return ::send(end_, &byte, 1, MSG_NOSIGNAL) == 1; }

char Child::Receive() {
  char byte = 0;
  return ::recv(end_, &byte, 1, 0) == 1 ? byte : 0;
}

int Child::Join() {
  int status = 0;
  const bool exited = ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status);
  pid_ = -1;
  return exited ? WEXITSTATUS(status) : -1;
}

uint32_t WaitAcross(uint32_t timeout, const std::function<uint32_t(uint32_t)>& wait,
                    const std::function<void()>& act, const std::function<void()>& rescue) {
  platform::VirtualClock clock;
  platform::ScopedClock scoped(clock);
  auto waited = std::async(std::launch::async, [&] { return wait(timeout); });
  if (timeout != platform::kInfinite) clock.WaitForTimedWaiters(1);
  act();
  if (waited.wait_for(kSafetyNet) != std::future_status::ready) {
    ADD_FAILURE() << "the wait did not wake";
    if (timeout == platform::kInfinite) {
      rescue();
    } else {
      clock.Advance(timeout);
    }
  }
  return waited.get();
}

}  // namespace testing_support
