// Forked helper processes for tests of objects shared between programs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>

namespace testing_support {

// A forked child that runs `body`, talking to the parent over a socket pair
// (a byte at a time), then exits with its result. Fork before the test
// starts threads of its own; the body uses no test assertions.
class Child {
 public:
  explicit Child(const std::function<int(Child&)>& body);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return pid_ > 0; }
  // False once the other side has gone.
  bool Send(char byte);
  // 0 once the other side has gone.
  char Receive();
  // The exit code, -1 for any other end.
  int Join();

 private:
  pid_t pid_ = -1;
  int end_ = -1;
};

// Runs `wait` (given the time-out) on another thread while `act` makes
// another process change something, and returns what the wait returned.
// The wait runs on a virtual clock that never reaches a finite time-out, so
// with one `act` runs only once the wait is known to be blocked. A wake-up
// that does not come within a generous real-time safety net fails the test;
// the clock (finite time-out) or `rescue` (kInfinite) then ends the wait.
uint32_t WaitAcross(uint32_t timeout, const std::function<uint32_t(uint32_t)>& wait,
                    const std::function<void()>& act, const std::function<void()>& rescue);

}  // namespace testing_support
