#include "devicelib/thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Eventually;
using testing_support::Hex;
using testing_support::kSafetyNet;
using testing_support::LogCapture;

// A body that runs until asked to stop, or one that ignores the request
// until the test finishes it.
class TestThread : public Thread {
 public:
  enum class Body { kUntilStopped, kIgnoresStop };

  explicit TestThread(Body body, bool com_apartment = false, int request_stop_result = 1)
      : body_(body), request_stop_result_(request_stop_result) {
    com_apartment_ = com_apartment ? 1 : 0;
  }

  void Finish() {
    std::lock_guard lock(mutex_);
    finish_ = true;
    cv_.notify_all();
  }
  bool WaitForRuns(int count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] { return runs_ >= count; });
  }
  int Runs() const {
    std::lock_guard lock(mutex_);
    return runs_;
  }
  uint32_t BodyThreadId() const {
    std::lock_guard lock(mutex_);
    return body_thread_id_;
  }
  int StopRequests() const { return stop_requests_.load(); }

 protected:
  void Run() override {
    std::unique_lock lock(mutex_);
    ++runs_;
    body_thread_id_ = platform::GetCurrentThreadId();
    cv_.notify_all();
    switch (body_) {
      case Body::kUntilStopped:
        cv_.wait(lock, [&] { return stop_ || finish_; });
        break;
      case Body::kIgnoresStop:
        cv_.wait(lock, [&] { return finish_; });
        break;
    }
  }
  int RequestStop() override {
    ++stop_requests_;
    std::lock_guard lock(mutex_);
    stop_ = true;
    cv_.notify_all();
    return request_stop_result_;
  }

 private:
  const Body body_;
  const int request_stop_result_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  int runs_ = 0;
  uint32_t body_thread_id_ = 0;
  bool stop_ = false;
  bool finish_ = false;
  std::atomic<int> stop_requests_{0};
};

class ThreadTest : public ::testing::Test {
 protected:
  // Waits until thread `id` has logged its last line and is gone from the
  // process. A thread whose Stop gave up waiting has no handle left to wait
  // for; its object may only go after the last line, and the process may only
  // end (taking the shared wait state with it) after the thread.
  bool WaitForLoopEnd(uint32_t id) {
    const std::string line = "Dv: Thread " + Hex(id) + "'s loop is returning";
    const std::string task = "/proc/self/task/" + std::to_string(id);
    if (!Eventually([&] { return log_.Contains(line) && ::access(task.c_str(), F_OK) != 0; })) {
      return false;
    }
    // And nobody is left waiting on the clock.
    return clock_.TimedWaiters() == 0;
  }

  // Runs Stop on another thread; fails the test (after freeing it) when Stop
  // did not return without the clock moving.
  void StopWithoutTimeout(Thread& thread) {
    const uint64_t before = clock_.NowMs();
    auto stopped = std::async(std::launch::async, [&] { thread.Stop(); });
    if (stopped.wait_for(kSafetyNet) != std::future_status::ready) {
      clock_.Advance(Thread::kStopTimeoutMs);
      stopped.wait();
      FAIL() << "Stop waited for its time-out";
    }
    EXPECT_EQ(clock_.NowMs(), before);
  }

  platform::VirtualClock clock_;
  platform::ScopedClock use_clock_{clock_};
  LogCapture log_;
};

TEST_F(ThreadTest, StartRunsTheBodyOnItsOwnThreadAndStopEndsIt) {
  TestThread thread(TestThread::Body::kUntilStopped);
  thread.Start();
  EXPECT_TRUE(thread.IsRunning());
  ASSERT_TRUE(thread.WaitForRuns(1));
  const uint32_t id = thread.ThreadId();
  EXPECT_EQ(thread.BodyThreadId(), id);
  EXPECT_NE(id, platform::GetCurrentThreadId());

  thread.Start();  // running: nothing happens
  EXPECT_EQ(thread.Runs(), 1);
  EXPECT_EQ(thread.ThreadId(), id);

  StopWithoutTimeout(thread);
  EXPECT_EQ(thread.StopRequests(), 1);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.ThreadId(), 0u);
  const std::vector<std::string> expected{
      "Dv: Stopping thread " + Hex(id) + "...",
      "Dv: Thread " + Hex(id) + "'s loop is returning",
      "Dv: Closing handle for thread " + Hex(id),
  };
  EXPECT_EQ(log_.Lines(), expected);
}

TEST_F(ThreadTest, StoppingAThreadThatWasNeverStartedLogsOneLineAndAsksNothing) {
  TestThread thread(TestThread::Body::kUntilStopped);
  thread.Stop();
  EXPECT_EQ(log_.Lines(),
            std::vector<std::string>{"Dv: Thread was not created - nothing to terminate"});
  EXPECT_EQ(thread.StopRequests(), 0);
}

TEST_F(ThreadTest, StopDoesNotWaitWhenTheRequestSaysSo) {
  TestThread thread(TestThread::Body::kIgnoresStop, false, 0);
  thread.Start();
  const uint32_t id = thread.ThreadId();
  StopWithoutTimeout(thread);
  EXPECT_EQ(thread.StopRequests(), 1);
  EXPECT_TRUE(log_.Contains("Dv: Closing handle for thread " + Hex(id)));
  EXPECT_FALSE(log_.Contains("timed out"));
  EXPECT_FALSE(log_.Contains("loop is returning")) << "the body still runs";
  thread.Finish();
  ASSERT_TRUE(WaitForLoopEnd(id));
}

TEST_F(ThreadTest, BodyThatDoesNotReturnIsGivenUpAfterTenSecondsAndLeftRunning) {
  TestThread thread(TestThread::Body::kIgnoresStop);
  thread.Start();
  const uint32_t id = thread.ThreadId();
  auto stopped = std::async(std::launch::async, [&] { thread.Stop(); });
  clock_.WaitForTimedWaiters(1);
  EXPECT_EQ(stopped.wait_for(0ms), std::future_status::timeout);
  clock_.AdvanceWhenWaiting(Thread::kStopTimeoutMs);
  ASSERT_EQ(stopped.wait_for(kSafetyNet), std::future_status::ready);

  const std::vector<std::string> expected{
      "Dv: Stopping thread " + Hex(id) + "...",
      "Dv: Thread termination timed out",
      "Dv: Closing handle for thread " + Hex(id),
  };
  EXPECT_EQ(log_.Lines(), expected);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.ThreadId(), 0u);

  // Not killed: the body ends when it chooses to.
  thread.Finish();
  ASSERT_TRUE(WaitForLoopEnd(id));
}

TEST_F(ThreadTest, ComApartmentThreadsUseTheirOwnLines) {
  {
    TestThread never(TestThread::Body::kUntilStopped, true);
    never.Stop();
    EXPECT_EQ(log_.Lines(),
              std::vector<std::string>{"thread was not created - nothing to terminate"});
  }
  log_.Clear();
  {
    TestThread thread(TestThread::Body::kUntilStopped, true);
    thread.Start();
    const uint32_t id = thread.ThreadId();
    StopWithoutTimeout(thread);
    const std::vector<std::string> expected{
        "Dv: Thread::ThreadFn: CoUninitializing...",
        "Dv: Thread::ThreadFn: CoUninitialized",
        "Dv: Thread " + Hex(id) + "'s loop is returning",
        "closing handle for thread " + Hex(id),
    };
    EXPECT_EQ(log_.Lines(), expected);
  }
  log_.Clear();
  {
    TestThread stuck(TestThread::Body::kIgnoresStop, true);
    stuck.Start();
    const uint32_t id = stuck.ThreadId();
    auto stopped = std::async(std::launch::async, [&] { stuck.Stop(); });
    clock_.AdvanceWhenWaiting(Thread::kStopTimeoutMs);
    ASSERT_EQ(stopped.wait_for(kSafetyNet), std::future_status::ready);
    const std::vector<std::string> expected{
        "thread termination timed out",
        "closing handle for thread " + Hex(id),
    };
    EXPECT_EQ(log_.Lines(), expected);
    stuck.Finish();
    ASSERT_TRUE(WaitForLoopEnd(id));
  }
}

}  // namespace
