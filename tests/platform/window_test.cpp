#include "platform/window.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
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

// Messages sent to a window that another thread owns. The procedure answers
// wParam + lParam and notes on which thread it ran; kAskBack sends on to the
// window in wParam, so a sender is seen serving a send while it waits.
class CrossThreadSendTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kAskBack = WM_APP + 50;
  struct Ran {
    uint32_t message;
    uint32_t thread_id;
  };

  void SetUp() override {
    ASSERT_TRUE(RegisterClass(kClass, [this](HWND, uint32_t m, WPARAM w, LPARAM l) {
      if (m == WM_CREATE || m == WM_DESTROY) return LRESULT{0};
      {
        std::lock_guard lock(mutex_);
        ran_.push_back({m, GetCurrentThreadId()});
      }
      if (m == kAskBack) return SendMessage(reinterpret_cast<HWND>(w), WM_APP, 40, 2);
      return static_cast<LRESULT>(w) + l;
    }));
  }
  void TearDown() override {
    if (owner_.valid()) owner_.wait();
    UnregisterClass(kClass);
  }

  // Starts a thread that makes a window and then runs `body` with it.
  template <typename Body>
  HWND StartOwner(Body body) {
    auto made = std::make_shared<std::promise<HWND>>();
    auto made_future = made->get_future();
    owner_ = std::async(std::launch::async, [this, body, made] {
      HWND hwnd = CreateWindow(kClass);
      owner_id_ = GetCurrentThreadId();
      made->set_value(hwnd);
      body(hwnd);
    });
    return made_future.get();
  }
  std::vector<Ran> RanSoFar() {
    std::lock_guard lock(mutex_);
    return ran_;
  }

  static constexpr std::u16string_view kClass = u"CrossThreadSendTest";
  std::future<void> owner_;
  uint32_t owner_id_ = 0;
  std::promise<void> go_;
  std::mutex mutex_;
  std::vector<Ran> ran_;
};

struct SendOutcome {
  bool ok;
  uint32_t error;
  LRESULT result;
};

std::future<SendOutcome> SendLater(HWND hwnd, uint32_t message, WPARAM w, LPARAM l,
                                   uint32_t timeout_ms) {
  return std::async(std::launch::async, [=] {
    LRESULT result = -1;
    const bool ok = SendMessageTimeout(hwnd, message, w, l, timeout_ms, &result);
    return SendOutcome{ok, ok ? 0 : GetLastError(), result};
  });
}

TEST_F(CrossThreadSendTest, TheResultComesBackFromTheOwnersThread) {
  std::vector<uint32_t> retrieved;
  HWND hwnd = StartOwner([&](HWND own) {
    MSG msg;
    while (GetMessage(msg)) {
      retrieved.push_back(msg.message);
      DispatchMessage(msg);
    }
    DestroyWindow(own);
  });
  EXPECT_EQ(SendMessage(hwnd, WM_APP, 20, 22), 42);
  LRESULT result = 0;
  EXPECT_TRUE(SendMessageTimeout(hwnd, WM_APP + 1, 1, 2, kInfinite, &result));
  EXPECT_EQ(result, 3);

  // The owner's procedure sends back to a window of this thread, which runs
  // it while it waits for its own answer.
  HWND mine = CreateWindow(kClass);
  EXPECT_EQ(SendMessage(hwnd, kAskBack, reinterpret_cast<WPARAM>(mine), 0), 42);
  DestroyWindow(mine);

  ASSERT_TRUE(PostThreadMessage(owner_id_, WM_QUIT, 0, 0));
  owner_.get();
  EXPECT_TRUE(retrieved.empty());  // sent messages never reach the loop itself
  const std::vector<Ran> ran = RanSoFar();
  ASSERT_EQ(ran.size(), 4u);
  EXPECT_EQ(ran[0].thread_id, owner_id_);
  EXPECT_EQ(ran[1].thread_id, owner_id_);
  EXPECT_EQ(ran[2].message, kAskBack);
  EXPECT_EQ(ran[3].message, WM_APP);
  EXPECT_EQ(ran[3].thread_id, GetCurrentThreadId());
}

TEST_F(CrossThreadSendTest, SentMessagesRunBeforePostedOnes) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  auto go = go_.get_future();
  HWND hwnd = StartOwner([&](HWND own) {
    PostMessage(own, WM_APP + 1, 0, 0);
    go.wait();
    MSG msg;
    GetMessage(msg);
    EXPECT_EQ(msg.message, WM_APP + 1);
    DispatchMessage(msg);
    DestroyWindow(own);
  });
  auto sender = SendLater(hwnd, WM_APP + 2, 1, 2, 60'000);
  ASSERT_TRUE(testing_support::BlocksOnTheClock(clock, sender));  // queued, waiting
  go_.set_value();
  owner_.get();
  const SendOutcome outcome = sender.get();
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.result, 3);
  const std::vector<Ran> ran = RanSoFar();
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[0].message, WM_APP + 2);
  EXPECT_EQ(ran[1].message, WM_APP + 1);
}

TEST_F(CrossThreadSendTest, ATimedOutSendRunsLaterHarmlessly) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  auto go = go_.get_future();
  std::promise<size_t> late;
  HWND hwnd = StartOwner([&](HWND own) {
    go.wait();
    late.set_value(PumpMessages());
    MSG msg;
    while (GetMessage(msg)) DispatchMessage(msg);
    DestroyWindow(own);
  });
  const uint64_t start = clock.NowMs();
  auto sender = SendLater(hwnd, WM_APP + 3, 5, 0, 500);
  ASSERT_TRUE(testing_support::BlocksOnTheClock(clock, sender));
  clock.AdvanceToNextDeadline();
  const SendOutcome outcome = sender.get();
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error, kErrorTimeout);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(clock.NowMs() - start, 500u);

  go_.set_value();
  EXPECT_EQ(late.get_future().get(), 1u);  // the owner still runs it, into the void
  EXPECT_EQ(SendMessage(hwnd, WM_APP + 4, 1, 1), 2);  // and later answers are not mixed up
  PostThreadMessage(owner_id_, WM_QUIT, 0, 0);
  owner_.get();
  const std::vector<Ran> ran = RanSoFar();
  ASSERT_EQ(ran.size(), 2u);
  EXPECT_EQ(ran[0].message, WM_APP + 3);
}

TEST_F(CrossThreadSendTest, AWindowThatGoesReleasesItsSenders) {
  for (const bool destroy : {true, false}) {
    SCOPED_TRACE(destroy ? "window destroyed" : "owning thread ended");
    VirtualClock clock;
    ScopedClock scoped(clock);
    std::promise<void> go;
    auto go_future = go.get_future();
    HWND hwnd = StartOwner([&](HWND own) {
      go_future.wait();
      if (destroy) DestroyWindow(own);
    });
    auto sender = SendLater(hwnd, WM_APP, 1, 1, 60'000);
    ASSERT_TRUE(testing_support::BlocksOnTheClock(clock, sender));
    const uint64_t start = clock.NowMs();
    go.set_value();
    const SendOutcome outcome = sender.get();
    owner_.get();
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error, 1400u);
    EXPECT_EQ(clock.NowMs(), start);  // released, not timed out
    EXPECT_FALSE(SendMessageTimeout(hwnd, WM_APP, 1, 1, 60'000, nullptr));
    EXPECT_EQ(GetLastError(), 1400u);
    EXPECT_TRUE(RanSoFar().empty());
  }
}

}  // namespace
}  // namespace platform
