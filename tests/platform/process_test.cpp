#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>

#include "platform/clock.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// A forked child running `body` (then exiting with 0); killed and reaped by
// the destructor unless the test reaped it.
class Child {
 public:
  explicit Child(const std::function<void()>& body) : pid_(::fork()) {
    if (pid_ == 0) {
      body();
      ::_exit(0);
    }
  }
  ~Child() {
    if (pid_ <= 0 || reaped_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  int Reap() {
    int status = -1;
    if (::waitpid(pid_, &status, 0) == pid_) reaped_ = true;
    return status;
  }

 private:
  const pid_t pid_;
  bool reaped_ = false;
};

// A pipe whose read end a child blocks on until the test closes the write end.
struct Gate {
  Gate() { EXPECT_EQ(::pipe(fds), 0); }
  ~Gate() { Open(); }
  void BlockInChild() {
    ::close(fds[1]);
    char byte;
    while (::read(fds[0], &byte, 1) != 0) {
    }
  }
  void Open() {
    for (int& fd : fds) {
      if (fd >= 0) ::close(std::exchange(fd, -1));
    }
  }
  int fds[2] = {-1, -1};
};

TEST(ProcessTest, WaitRunsOnTheClockAndEndsWhenTheProcessEnds) {
  VirtualClock clock;
  ScopedClock use(clock);
  Gate gate;
  Child child([&] { gate.BlockInChild(); });
  ASSERT_GT(child.pid(), 0);
  UniqueHandle process(OpenProcess(kSynchronize | kProcessTerminate, child.pid()));
  ASSERT_TRUE(process) << GetLastError();

  auto timed_out = std::async(std::launch::async, [&] { return WaitForSingleObject(process.get(), 8192); });
  clock.WaitForWaiterAt(8192);
  clock.Advance(8191);
  EXPECT_EQ(timed_out.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
  clock.Advance(1);
  EXPECT_EQ(timed_out.get(), kWaitTimeout);

  auto ended = std::async(std::launch::async, [&] { return WaitForSingleObject(process.get(), 8192); });
  clock.WaitForWaiterAt(8192);
  gate.Open();  // the child's read sees the end and it exits
  EXPECT_EQ(ended.get(), kWaitObject0);
  const int status = child.Reap();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(WaitForSingleObject(process.get(), 0), kWaitObject0);
}

TEST(ProcessTest, EndedButUnreapedProcessIsSignalledAtOnce) {
  Child child([] {});
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child.pid()), &info, WEXITED | WNOWAIT), 0);
  UniqueHandle process(OpenProcess(kSynchronize, child.pid()));
  ASSERT_TRUE(process);
  EXPECT_EQ(WaitForSingleObject(process.get(), 0), kWaitObject0);
}

TEST(ProcessTest, TerminateEndsAProcessThatIgnoresEverything) {
  Gate gate;
  Child child([&] {
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1}) ::signal(signal, SIG_IGN);
    gate.BlockInChild();
  });
  UniqueHandle wait_only(OpenProcess(kSynchronize, child.pid()));
  ASSERT_TRUE(wait_only);
  SetLastError(0);
  EXPECT_FALSE(TerminateProcess(wait_only.get(), kResultFail));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);

  UniqueHandle process(OpenProcess(kSynchronize | kProcessTerminate, child.pid()));
  ASSERT_TRUE(TerminateProcess(process.get(), kResultFail));
  EXPECT_EQ(WaitForSingleObject(process.get(), kInfinite), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(wait_only.get(), kInfinite), kWaitObject0);
  const int status = child.Reap();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  // Gone already: where termination would have brought it.
  EXPECT_TRUE(TerminateProcess(process.get(), kResultFail));
}

TEST(ProcessTest, OpenProcessRefusesWhatIsNotThereOrNotOurs) {
  Child gone([] {});
  gone.Reap();
  for (const pid_t pid : {pid_t{0}, pid_t{-1}, gone.pid()}) {
    SCOPED_TRACE(pid);
    SetLastError(0);
    EXPECT_EQ(OpenProcess(kSynchronize, pid), nullptr);
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  }
  EXPECT_FALSE(TerminateProcess(kInvalidHandle, 0));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);

  if (::geteuid() != 0) {
    EXPECT_EQ(OpenProcess(kSynchronize, 1), nullptr);  // init belongs to root
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    return;
  }
  // As root every process is ours; a child that became another user may not
  // open this one.
  const pid_t parent = ::getpid();
  Child other([parent] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    HANDLE process = OpenProcess(kSynchronize, parent);
    ::_exit(process == nullptr && GetLastError() == kErrorAccessDenied ? 0 : 1);
  });
  const int status = other.Reap();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace platform
