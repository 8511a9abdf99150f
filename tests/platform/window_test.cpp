#include "platform/window.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/win32_error.h"
#include "tests/support/clock_driver.h"

namespace platform {
namespace {

struct Seen {
  uint32_t message;
  WPARAM wparam;
  LPARAM lparam;
};

// A window class whose procedure records what it receives. Every fixture
// registers a class of its own name, so tests do not share windows.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    class_name_ = u"WindowTest." + Utf16Name();
    ASSERT_TRUE(RegisterClass(class_name_, [this](HWND, uint32_t m, WPARAM w, LPARAM l) {
      if (m != WM_CREATE) seen_.push_back({m, w, l});
      return LRESULT{0};
    }));
    hwnd_ = CreateWindow(class_name_);
    ASSERT_NE(hwnd_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    UnregisterClass(class_name_);
  }
  static std::u16string Utf16Name() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::u16string(name.begin(), name.end());
  }
  std::vector<uint32_t> Messages() const {
    std::vector<uint32_t> out;
    for (const Seen& s : seen_) out.push_back(s.message);
    return out;
  }

  std::u16string class_name_;
  HWND hwnd_ = nullptr;
  std::vector<Seen> seen_;
};

TEST_F(WindowTest, PostedMessagesComeInOrderAndTheQuitAfterThem) {
  PostQuitMessage(7);
  ASSERT_TRUE(PostMessage(hwnd_, WM_APP + 1, 11, -1));
  ASSERT_TRUE(PostMessage(hwnd_, WM_APP + 2, 22, 2));

  MSG msg;
  while (GetMessage(msg)) DispatchMessage(msg);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  ASSERT_EQ(seen_.size(), 2u);
  EXPECT_EQ(seen_[0].message, WM_APP + 1);
  EXPECT_EQ(seen_[0].wparam, 11u);
  EXPECT_EQ(seen_[0].lparam, -1);
  EXPECT_EQ(seen_[1].message, WM_APP + 2);
}

TEST_F(WindowTest, PumpingLeavesTheQuitQueued) {
  PostMessage(hwnd_, WM_APP, 0, 0);
  PostQuitMessage(0);
  EXPECT_EQ(PumpMessages(), 1u);
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg, true));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_FALSE(PeekMessage(msg, true));
}

TEST_F(WindowTest, TimersFallDueOnThePlatformClockWithoutBursts) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  ASSERT_EQ(SetTimer(hwnd_, 5, 1000), 5u);
  clock.Advance(999);
  EXPECT_EQ(PumpMessages(), 0u);
  clock.Advance(1);
  EXPECT_EQ(PumpMessages(), 1u);
  clock.Advance(10'000);  // a late loop gets one WM_TIMER, not ten
  EXPECT_EQ(PumpMessages(), 1u);
  ASSERT_EQ(seen_.size(), 2u);
  EXPECT_EQ(seen_[0].message, WM_TIMER);
  EXPECT_EQ(seen_[0].wparam, 5u);

  // Restarting a running timer starts its period again.
  clock.Advance(600);
  SetTimer(hwnd_, 5, 1000);
  clock.Advance(600);
  EXPECT_EQ(PumpMessages(), 0u);
  clock.Advance(400);
  EXPECT_EQ(PumpMessages(), 1u);

  EXPECT_TRUE(KillTimer(hwnd_, 5));
  EXPECT_FALSE(KillTimer(hwnd_, 5));
  EXPECT_EQ(GetLastError(), 1402u);
  clock.Advance(5000);
  EXPECT_EQ(PumpMessages(), 0u);
}

TEST_F(WindowTest, AZeroPeriodIsRaisedToTheMinimum) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  SetTimer(hwnd_, 1, 0);
  EXPECT_EQ(PumpMessages(), 0u);
  clock.Advance(10);
  EXPECT_EQ(PumpMessages(), 1u);
}

TEST_F(WindowTest, DestroyingDropsQueuedMessagesAndTimers) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  PostMessage(hwnd_, WM_APP, 0, 0);
  SetTimer(hwnd_, 1, 100);
  ASSERT_TRUE(DestroyWindow(hwnd_));
  EXPECT_EQ(Messages(), std::vector<uint32_t>{WM_DESTROY});
  EXPECT_FALSE(IsWindow(hwnd_));
  clock.Advance(1000);
  EXPECT_EQ(PumpMessages(), 0u);
  EXPECT_FALSE(PostMessage(hwnd_, WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), 1400u);
  EXPECT_FALSE(DestroyWindow(hwnd_));
}

TEST_F(WindowTest, OnlyTheOwningThreadDestroysAWindow) {
  auto other = std::async(std::launch::async, [this] {
    bool destroyed = DestroyWindow(hwnd_);
    return std::make_pair(destroyed, GetLastError());
  });
  auto [destroyed, error] = other.get();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_EQ(GetWindowThreadId(hwnd_), GetCurrentThreadId());
}

TEST_F(WindowTest, APostFromAnotherThreadWakesAWaitingLoop) {
  std::promise<uint32_t> thread_id;
  auto loop = std::async(std::launch::async, [&] {
    MSG msg;
    PeekMessage(msg, false);  // makes the queue
    thread_id.set_value(GetCurrentThreadId());
    GetMessage(msg);
    return msg;
  });
  uint32_t id = thread_id.get_future().get();
  ASSERT_TRUE(PostThreadMessage(id, WM_APP + 9, 3, 4));
  MSG got = loop.get();
  EXPECT_EQ(got.hwnd, nullptr);
  EXPECT_EQ(got.message, WM_APP + 9);
  EXPECT_EQ(got.wParam, 3u);
}

TEST_F(WindowTest, AThreadWithoutAQueueCannotBePosted) {
  uint32_t id = 0;
  std::async(std::launch::async, [&] { id = GetCurrentThreadId(); }).get();
  EXPECT_FALSE(PostThreadMessage(id, WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), 1444u);
}

TEST_F(WindowTest, ALoopWaitingForATimerWakesWhenTheClockMoves) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  std::promise<HWND> made;
  auto loop = std::async(std::launch::async, [&] {
    HWND hwnd = CreateWindow(class_name_);
    SetTimer(hwnd, 3, 60'000);
    made.set_value(hwnd);
    MSG msg;
    GetMessage(msg);
    DestroyWindow(hwnd);
    return msg;
  });
  made.get_future().get();
  ASSERT_TRUE(testing_support::BlocksOnTheClock(clock, loop));
  clock.AdvanceToNextDeadline();
  MSG got = loop.get();
  EXPECT_EQ(got.message, WM_TIMER);
  EXPECT_EQ(got.wParam, 3u);
}

TEST(WindowClassTest, NamesAreUniqueWithoutRegardToCase) {
  auto procedure = [](HWND, uint32_t, WPARAM, LPARAM) { return LRESULT{0}; };
  ASSERT_TRUE(RegisterClass(u"WindowClassTest", procedure));
  EXPECT_FALSE(RegisterClass(u"windowclasstest", procedure));
  EXPECT_EQ(GetLastError(), 1410u);
  EXPECT_TRUE(UnregisterClass(u"WINDOWCLASSTEST"));
  EXPECT_FALSE(UnregisterClass(u"WindowClassTest"));
  EXPECT_EQ(CreateWindow(u"WindowClassTest"), nullptr);
  EXPECT_EQ(GetLastError(), 1407u);
}

}  // namespace
}  // namespace platform
