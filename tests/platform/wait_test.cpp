#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <future>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

class WaitTest : public ::testing::Test {
 protected:
  VirtualClock clock_;
  ScopedClock use_clock_{clock_};
};

TEST_F(WaitTest, AutoResetEventReleasesOneWaitThenResets) {
  UniqueHandle event(CreateEvent(false, true));
  ASSERT_TRUE(event);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitTimeout);
}

TEST_F(WaitTest, ManualResetEventStaysSignalledUntilReset) {
  UniqueHandle event(CreateEvent(true, false));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitTimeout);
  ASSERT_TRUE(SetEvent(event.get()));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitObject0);
  ASSERT_TRUE(ResetEvent(event.get()));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), kWaitTimeout);
}

TEST_F(WaitTest, TimeoutFollowsTheVirtualClockNotRealTime) {
  UniqueHandle event(CreateEvent(false, false));
  auto waited = std::async(std::launch::async, [&] { return WaitForSingleObject(event.get(), 5000); });
  clock_.WaitForTimedWaiters(1);
  clock_.Advance(4999);
  // Still blocked one millisecond short of the deadline.
  EXPECT_EQ(waited.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
  clock_.Advance(1);
  EXPECT_EQ(waited.get(), kWaitTimeout);
}

TEST_F(WaitTest, SetEventWakesAWaiterBeforeItsDeadline) {
  UniqueHandle event(CreateEvent(false, false));
  auto waited = std::async(std::launch::async, [&] { return WaitForSingleObject(event.get(), 5000); });
  clock_.WaitForTimedWaiters(1);
  SetEvent(event.get());
  EXPECT_EQ(waited.get(), kWaitObject0);
}

TEST_F(WaitTest, WaitAnyReturnsTheLowestSignalledIndexAndTakesOnlyIt) {
  UniqueHandle a(CreateEvent(false, false)), b(CreateEvent(false, true)), c(CreateEvent(false, true));
  const std::array<HANDLE, 3> handles{a.get(), b.get(), c.get()};
  EXPECT_EQ(WaitForMultipleObjects(handles, false, 0), kWaitObject0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(handles, false, 0), kWaitObject0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(handles, false, 0), kWaitTimeout);
}

TEST_F(WaitTest, WaitAllTakesNothingUntilEveryObjectIsSignalled) {
  UniqueHandle a(CreateEvent(false, true)), b(CreateEvent(false, false));
  const std::array<HANDLE, 2> handles{a.get(), b.get()};
  EXPECT_EQ(WaitForMultipleObjects(handles, true, 0), kWaitTimeout);
  // `a` was not consumed by the failed wait-all.
  SetEvent(b.get());
  EXPECT_EQ(WaitForMultipleObjects(handles, true, 0), kWaitObject0);
  EXPECT_EQ(WaitForSingleObject(a.get(), 0), kWaitTimeout);
  EXPECT_EQ(WaitForSingleObject(b.get(), 0), kWaitTimeout);
}

TEST_F(WaitTest, BadHandlesAndBadSetsFailWithTheirErrors) {
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(uintptr_t{0x7FF0}), 0), kWaitFailed);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(WaitForMultipleObjects({}, false, 0), kWaitFailed);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(SetEvent(kInvalidHandle));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST_F(WaitTest, ClosedHandleIsInvalidAndClosingTwiceFails) {
  HANDLE event = CreateEvent(true, true);
  ASSERT_TRUE(CloseHandle(event));
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(WaitForSingleObject(event, 0), kWaitFailed);
}

TEST_F(WaitTest, ThreadHandleIsSignalledWhenTheBodyReturns) {
  UniqueHandle go(CreateEvent(true, false));
  uint32_t id = 0;
  UniqueHandle thread(CreateThread(
      [&] {
        WaitForSingleObject(go.get(), kInfinite);
        return 42u;
      },
      &id));
  ASSERT_TRUE(thread);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  uint32_t code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
  EXPECT_EQ(code, kStillActive);
  EXPECT_EQ(WaitForSingleObject(thread.get(), 0), kWaitTimeout);
  SetEvent(go.get());
  EXPECT_EQ(WaitForSingleObject(thread.get(), kInfinite), kWaitObject0);
  ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
  EXPECT_EQ(code, 42u);
}

TEST_F(WaitTest, ClosingAThreadHandleLeavesTheThreadRunning) {
  UniqueHandle go(CreateEvent(true, false));
  UniqueHandle done(CreateEvent(true, false));
  HANDLE thread = CreateThread(
      [&] {
        WaitForSingleObject(go.get(), kInfinite);
        SetEvent(done.get());
        return 0u;
      },
      nullptr);
  ASSERT_TRUE(CloseHandle(thread));
  SetEvent(go.get());
  EXPECT_EQ(WaitForSingleObject(done.get(), kInfinite), kWaitObject0);
}

TEST_F(WaitTest, SleepWaitsForTheClockAndSleepAdvancesMovesIt) {
  std::atomic<bool> woke{false};
  auto sleeper = std::async(std::launch::async, [&] {
    Sleep(100);
    woke = true;
  });
  clock_.AdvanceWhenWaiting(100);
  sleeper.get();
  EXPECT_TRUE(woke);

  const uint32_t before = GetTickCount();
  clock_.SetSleepAdvances(true);
  Sleep(250);
  EXPECT_EQ(GetTickCount() - before, 250u);
}

TEST_F(WaitTest, AdvanceToNextDeadlineWakesTheEarliestWaiterOnly) {
  UniqueHandle never(CreateEvent(true, false));
  auto early = std::async(std::launch::async, [&] { return WaitForSingleObject(never.get(), 300); });
  auto late = std::async(std::launch::async, [&] { return WaitForSingleObject(never.get(), 900); });
  clock_.WaitForTimedWaiters(2);
  const uint64_t start = clock_.NowMs();
  ASSERT_TRUE(clock_.AdvanceToNextDeadline());
  EXPECT_EQ(clock_.NowMs() - start, 300u);
  EXPECT_EQ(early.get(), kWaitTimeout);
  EXPECT_EQ(late.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
  clock_.Advance(600);
  EXPECT_EQ(late.get(), kWaitTimeout);
}

TEST_F(WaitTest, AdvanceIfWaitedForMovesOnlyToADeadlineSomeoneWaitsFor) {
  UniqueHandle never(CreateEvent(true, false));
  const uint64_t start = clock_.NowMs();
  EXPECT_FALSE(clock_.AdvanceIfWaitedFor(start + 400));  // nobody waits yet
  EXPECT_EQ(clock_.NowMs(), start);
  auto waiter = std::async(std::launch::async, [&] { return WaitForSingleObject(never.get(), 400); });
  clock_.WaitForWaiterAt(400);
  EXPECT_FALSE(clock_.AdvanceIfWaitedFor(start + 300));
  EXPECT_FALSE(clock_.AdvanceIfWaitedFor(start + 500));
  EXPECT_EQ(clock_.NowMs(), start);
  EXPECT_TRUE(clock_.AdvanceIfWaitedFor(start + 400));
  EXPECT_EQ(clock_.NowMs(), start + 400);
  EXPECT_EQ(waiter.get(), kWaitTimeout);
}

TEST_F(WaitTest, AWaitBegunNowIsNotConfusedWithTheRestOfAnEarlierOne) {
  UniqueHandle never(CreateEvent(true, false));
  UniqueHandle poke(CreateEvent(false, false));
  // A periodic waiter, 10 ms before its deadline, woken by something else
  // and waiting again for what is left.
  auto periodic = std::async(std::launch::async, [&] { return WaitForSingleObject(never.get(), 200); });
  clock_.WaitForWaitBegun(200);
  clock_.Advance(190);
  SetEvent(poke.get());
  EXPECT_FALSE(clock_.AdvanceIfWaitBegun(10));
  EXPECT_EQ(clock_.NowMs(), 1190u);

  // A pause of 10 that begins now is one.
  auto pause = std::async(std::launch::async, [] { platform::Sleep(10); });
  clock_.AdvanceWhenWaitBegins(10);
  pause.get();
  EXPECT_EQ(periodic.get(), kWaitTimeout);
  EXPECT_EQ(clock_.NowMs(), 1200u);
}

TEST(DeadlineTest, InfiniteHasNoDeadlineAndRemainingCountsDown) {
  VirtualClock clock(5000);
  ScopedClock use(clock);
  EXPECT_EQ(DeadlineAfter(kInfinite), kNoDeadline);
  EXPECT_EQ(RemainingMs(kNoDeadline), kInfinite);
  const uint64_t deadline = DeadlineAfter(1000);
  clock.Advance(400);
  EXPECT_EQ(RemainingMs(deadline), 600u);
  clock.Advance(700);
  EXPECT_EQ(RemainingMs(deadline), 0u);
}

}  // namespace
}  // namespace platform
