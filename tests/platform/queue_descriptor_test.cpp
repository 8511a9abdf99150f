#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/ready_descriptor.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "tests/support/eventually.h"

namespace platform {
namespace {

// A zero time-out: is it readable now? Callers that wait for another thread
// pass the safety net instead, which a passing run never reaches.
bool Readable(int fd, int timeout_ms = 0) {
  pollfd entry{fd, POLLIN, 0};
  int n = 0;
  do {
    n = ::poll(&entry, 1, timeout_ms);
  } while (n < 0 && errno == EINTR);
  return n == 1 && (entry.revents & POLLIN) != 0;
}

constexpr int kSafetyNetMs =
    static_cast<int>(std::chrono::milliseconds(testing_support::kSafetyNet).count());

// A window of the test's own class on the test's thread; the procedure
// answers wParam + lParam and counts what it ran.
class QueueDescriptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    class_name_ = u"QueueDescriptorTest." + std::u16string(name.begin(), name.end());
    ASSERT_TRUE(RegisterClass(class_name_, [this](HWND, uint32_t m, WPARAM w, LPARAM l) {
      if (m != WM_CREATE && m != WM_DESTROY) seen_.push_back(m);
      return static_cast<LRESULT>(w) + l;
    }));
    hwnd_ = CreateWindow(class_name_);
    ASSERT_NE(hwnd_, nullptr);
    fd_ = QueueDescriptor();
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    UnregisterClass(class_name_);
    // The test thread's queue lives on into the next test: leave it idle.
    MSG msg;
    while (PeekMessage(msg, true)) {
    }
  }

  std::u16string class_name_;
  HWND hwnd_ = nullptr;
  int fd_ = -1;
  std::vector<uint32_t> seen_;
};

TEST_F(QueueDescriptorTest, OnePerThreadClosedWhenTheThreadEnds) {
  EXPECT_EQ(QueueDescriptor(), fd_);
  EXPECT_FALSE(Readable(fd_));
  auto other_thread = [] {
    const int fd = QueueDescriptor();
    EXPECT_EQ(QueueDescriptor(), fd);
    return fd;
  };
  const int other = std::async(std::launch::async, other_thread).get();
  EXPECT_NE(other, fd_);
  EXPECT_EQ(::fcntl(other, F_GETFD), -1);  // gone with the thread's queue
  EXPECT_EQ(errno, EBADF);
  EXPECT_NE(::fcntl(fd_, F_GETFD), -1);
}

TEST_F(QueueDescriptorTest, WhatAnotherThreadPostsMakesItReadableUntilPumped) {
  const uint32_t own_id = GetCurrentThreadId();
  struct Case {
    const char* name;
    std::function<void(HWND)> post;  // runs on another thread
    size_t runs;
  };
  const Case cases[] = {
      {"a window message", [](HWND hwnd) { PostMessage(hwnd, WM_APP, 1, 2); }, 1},
      {"two window messages",
       [](HWND hwnd) {
         PostMessage(hwnd, WM_APP, 1, 2);
         PostMessage(hwnd, WM_APP + 1, 1, 2);
       },
       2},
      {"a thread message", [own_id](HWND) { PostThreadMessage(own_id, WM_APP + 2, 0, 0); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(Readable(fd_));
    std::async(std::launch::async, c.post, hwnd_).get();
    EXPECT_TRUE(Readable(fd_));
    EXPECT_TRUE(Readable(fd_));  // polling alone does not clear it
    EXPECT_EQ(PumpMessages(), c.runs);
    EXPECT_FALSE(Readable(fd_));
  }
}

TEST_F(QueueDescriptorTest, WhatIsQueuedBeforeTheDescriptorIsMadeShowsAtOnce) {
  auto other_thread = [this] {
    HWND hwnd = CreateWindow(class_name_);
    PostMessage(hwnd, WM_APP, 0, 0);
    const int made = QueueDescriptor();
    const bool readable = Readable(made);
    DestroyWindow(hwnd);
    const bool after_destroy = Readable(made);  // its messages went with it
    return std::make_pair(readable, after_destroy);
  };
  const auto [readable, after_destroy] = std::async(std::launch::async, other_thread).get();
  EXPECT_TRUE(readable);
  EXPECT_FALSE(after_destroy);
}

TEST_F(QueueDescriptorTest, AQuitKeepsItReadableUntilTaken) {
  const uint32_t own_id = GetCurrentThreadId();
  // A posted quit comes after every posted message; a WM_QUIT thread message
  // comes in its place among them.
  struct Quit {
    const char* name;
    std::function<void()> quit;
    size_t before, after;  // run by the pump before the quit is taken, and after
  };
  const Quit quits[] = {
      {"PostQuitMessage", [] { PostQuitMessage(3); }, 2, 0},
      {"a WM_QUIT thread message",
       [own_id] {
         std::async(std::launch::async, [own_id] {
           PostThreadMessage(own_id, WM_QUIT, 3, 0);
         }).get();
       },
       1, 1},
  };
  for (const Quit& q : quits) {
    SCOPED_TRACE(q.name);
    PostMessage(hwnd_, WM_APP, 0, 0);
    q.quit();
    PostMessage(hwnd_, WM_APP + 1, 0, 0);
    EXPECT_TRUE(Readable(fd_));
    EXPECT_EQ(PumpMessages(), q.before);
    EXPECT_TRUE(Readable(fd_));  // the quit stays queued, for the loop to take
    MSG msg;
    ASSERT_TRUE(PeekMessage(msg, false));
    EXPECT_TRUE(Readable(fd_));  // looking is not taking
    ASSERT_TRUE(PeekMessage(msg, true));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(PumpMessages(), q.after);
    EXPECT_FALSE(Readable(fd_));
  }
}

TEST_F(QueueDescriptorTest, AMessageSentFromAnotherThreadIsAnsweredWhenPumped) {
  auto sender =
      std::async(std::launch::async, [this] { return SendMessage(hwnd_, WM_APP, 20, 22); });
  ASSERT_TRUE(Readable(fd_, kSafetyNetMs));
  EXPECT_EQ(sender.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  EXPECT_EQ(PumpMessages(), 1u);
  EXPECT_EQ(sender.get(), 42);
  EXPECT_FALSE(Readable(fd_));
  EXPECT_EQ(seen_, std::vector<uint32_t>{WM_APP});
}

TEST_F(QueueDescriptorTest, AVirtualClockWakesItWhenATimerFallsDue) {
  struct Move {
    const char* name;
    std::function<void(VirtualClock&, uint64_t)> by;
  };
  const Move moves[] = {
      {"Advance", [](VirtualClock& clock, uint64_t ms) { clock.Advance(ms); }},
      {"a Sleep that advances",
       [](VirtualClock& clock, uint64_t ms) {
         clock.SetSleepAdvances(true);
         Sleep(static_cast<uint32_t>(ms));
       }},
  };
  for (const Move& move : moves) {
    SCOPED_TRACE(move.name);
    VirtualClock clock;
    ScopedClock scoped(clock);
    seen_.clear();
    ASSERT_EQ(SetTimer(hwnd_, 5, 1000), 5u);
    move.by(clock, 999);
    EXPECT_FALSE(Readable(fd_));
    move.by(clock, 1);
    EXPECT_TRUE(Readable(fd_));
    EXPECT_EQ(PumpMessages(), 1u);
    EXPECT_FALSE(Readable(fd_));  // the next fall is a period away
    move.by(clock, 999);
    EXPECT_FALSE(Readable(fd_));
    move.by(clock, 1);
    EXPECT_TRUE(Readable(fd_));
    EXPECT_EQ(PumpMessages(), 1u);
    EXPECT_EQ(seen_, (std::vector<uint32_t>{WM_TIMER, WM_TIMER}));
    KillTimer(hwnd_, 5);
  }
}

TEST_F(QueueDescriptorTest, RestartingOrKillingADueTimerClearsIt) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  const std::function<void()> ends[] = {
      [this] { SetTimer(hwnd_, 5, 100); },  // a restart starts the period again
      [this] { KillTimer(hwnd_, 5); },
      [this] { DestroyWindow(hwnd_); },
  };
  for (const auto& end : ends) {
    if (!IsWindow(hwnd_)) hwnd_ = CreateWindow(class_name_);
    SetTimer(hwnd_, 5, 100);
    clock.Advance(100);
    ASSERT_TRUE(Readable(fd_));
    end();
    EXPECT_FALSE(Readable(fd_));
    if (IsWindow(hwnd_)) KillTimer(hwnd_, 5);
  }
  // A timer set on another thread wakes this one's descriptor when due.
  hwnd_ = CreateWindow(class_name_);
  ASSERT_EQ(std::async(std::launch::async, [this] { return SetTimer(hwnd_, 6, 50); }).get(), 6u);
  EXPECT_FALSE(Readable(fd_));
  clock.Advance(50);
  EXPECT_TRUE(Readable(fd_));
}

TEST_F(QueueDescriptorTest, SwappingTheClockLooksAtTheTimersAgain) {
  VirtualClock clock;
  std::optional<ScopedClock> scoped(std::in_place, clock);
  SetTimer(hwnd_, 7, 60'000);
  EXPECT_FALSE(Readable(fd_));
  // Back on the real clock, a deadline a minute into the virtual clock's
  // scale is long past.
  scoped.reset();
  EXPECT_TRUE(Readable(fd_, kSafetyNetMs));
  EXPECT_EQ(PumpMessages(), 1u);
  KillTimer(hwnd_, 7);
  EXPECT_FALSE(Readable(fd_));
}

// The descriptor's own kernel side: the eventfd and the timerfd on the real
// clock's scale.
TEST(ReadyDescriptorTest, ReadyAndTheKernelTimer) {
  auto ready = ReadyDescriptor::Create();
  ASSERT_NE(ready, nullptr);
  const int fd = ready->Descriptor();
  RealClock real;
  const uint64_t now = real.NowMs();
  struct Step {
    const char* what;
    std::function<void()> step;
    bool readable;
  };
  const Step steps[] = {
      {"new", [] {}, false},
      {"ready", [&] { ready->SetReady(true); }, true},
      {"ready again", [&] { ready->SetReady(true); }, true},
      {"not ready", [&] { ready->SetReady(false); }, false},  // one clear undoes both
      {"timer in an hour", [&] { ready->ArmTimer(now + 3'600'000); }, false},
      {"timer passed", [&] { ready->ArmTimer(now); }, true},
      {"re-armed for later", [&] { ready->ArmTimer(now + 3'600'000); }, false},
      {"passed again", [&] { ready->ArmTimer(1); }, true},
      {"disarmed", [&] { ready->ArmTimer(kNoDeadline); }, false},
      {"ready with a timer",
       [&] {
         ready->ArmTimer(now + 3'600'000);
         ready->SetReady(true);
       },
       true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.step();
    // A timer that expired fires from the kernel's timer interrupt, a moment
    // after it was set; the safety net is there for that only.
    EXPECT_EQ(Readable(fd, s.readable ? kSafetyNetMs : 0), s.readable);
  }
}

}  // namespace
}  // namespace platform
