#include "platform/power_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/sleep_preparation.h"
#include "platform/thread.h"
#include "platform/win32_error.h"
#include "tests/support/clock_driver.h"
#include "tests/support/eventually.h"

namespace platform {
namespace {

constexpr std::u16string_view kClass = u"PowerMonitorTest";

// Everything the test watches, in one log: the inhibitor writes "take",
// "refused" and "release"; the windows write the PBT_* they were given.
class Journal {
 public:
  void Write(std::string entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> Read() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(entries_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

class FakeInhibitor final : public SleepInhibitor {
 public:
  explicit FakeInhibitor(Journal& journal, bool grants = true)
      : journal_(journal), grants_(grants) {}
  bool Take() override {
    journal_.Write(grants_ ? "take" : "refused");
    return grants_;
  }
  void Release() override { journal_.Write("release"); }

 private:
  Journal& journal_;
  const bool grants_;
};

class PowerMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RegisterClass(kClass, [this](HWND, uint32_t m, WPARAM w, LPARAM) {
      if (m == WM_POWERBROADCAST) journal_.Write(w == PBT_APMSUSPEND ? "suspend" : "resume");
      return LRESULT{0};
    }));
  }
  void TearDown() override {
    if (owner_.valid()) owner_.wait();
    UnregisterClass(kClass);
  }

  // A registered window on a thread of its own, which first waits for `go`
  // and then runs its loop until told to quit.
  HWND StartOwner(std::shared_future<void> go) {
    auto made = std::make_shared<std::promise<HWND>>();
    auto made_future = made->get_future();
    owner_ = std::async(std::launch::async, [this, go, made] {
      HWND hwnd = CreateWindow(kClass);
      HDEVNOTIFY registration = RegisterDeviceNotification(hwnd, kInterfaceModem);
      owner_id_ = GetCurrentThreadId();
      made->set_value(hwnd);
      go.wait();
      MSG msg;
      while (GetMessage(msg)) DispatchMessage(msg);
      UnregisterDeviceNotification(registration);
      DestroyWindow(hwnd);
    });
    return made_future.get();
  }
  void StopOwner() {
    PostThreadMessage(owner_id_, WM_QUIT, 0, 0);
    owner_.get();
  }

  Journal journal_;
  std::future<void> owner_;
  uint32_t owner_id_ = 0;
};

TEST_F(PowerMonitorTest, TheInhibitorIsReleasedOnlyOnceTheWindowsLetGo) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  std::promise<void> go;
  StartOwner(go.get_future().share());
  go.set_value();
  FakeInhibitor inhibitor(journal_);
  SleepPreparation preparation(inhibitor);
  ASSERT_TRUE(preparation.Start());

  const uint64_t start = clock.NowMs();
  preparation.OnPrepareForSleep(true);
  EXPECT_EQ(journal_.Take(), (std::vector<std::string>{"take", "suspend", "release"}));
  EXPECT_FALSE(preparation.HoldsInhibitor());
  EXPECT_EQ(clock.NowMs(), start);

  preparation.OnPrepareForSleep(false);  // posted: the window hears of it later
  ASSERT_TRUE(testing_support::Eventually([&] { return journal_.Read().size() == 2; }));
  const std::vector<std::string> woken = journal_.Take();
  EXPECT_EQ(std::count(woken.begin(), woken.end(), "take"), 1);
  EXPECT_EQ(std::count(woken.begin(), woken.end(), "resume"), 1);
  EXPECT_TRUE(preparation.HoldsInhibitor());
  StopOwner();
}

TEST_F(PowerMonitorTest, AWindowThatNeverAnswersCostsAtMostTheBound) {
  VirtualClock clock;
  ScopedClock scoped(clock);
  std::promise<void> go;
  StartOwner(go.get_future().share());
  FakeInhibitor inhibitor(journal_);
  SleepPreparation preparation(inhibitor);
  ASSERT_TRUE(preparation.Start());

  auto suspend = std::async(std::launch::async, [&] { preparation.OnPrepareForSleep(true); });
  EXPECT_EQ(testing_support::RunClockUntilDone(clock, suspend), kSuspendWaitMs);
  suspend.get();
  EXPECT_EQ(journal_.Take(), (std::vector<std::string>{"take", "release"}));

  go.set_value();  // the late loop still gets the suspend, harmlessly
  ASSERT_TRUE(testing_support::Eventually([&] { return journal_.Read().size() == 1; }));
  EXPECT_EQ(journal_.Take(), std::vector<std::string>{"suspend"});
  StopOwner();
}

// Sequences of logind's signal against a window of this thread: each step
// writes what the inhibitor and the window saw, "|" between steps.
TEST_F(PowerMonitorTest, SignalsOutOfTheUsualOrder) {
  struct Case {
    const char* name;
    bool grants;
    std::vector<bool> signals;
    std::string expected;
  };
  const Case cases[] = {
      {"sleep and wake", true, {true, false}, "take|suspend,release|take,resume"},
      {"repeated sleep", true, {true, true, false}, "take|suspend,release||take,resume"},
      {"wake without a sleep", true, {false}, "take|"},
      {"refused inhibitor", false, {true, false}, "refused|suspend|refused,resume"},
  };
  HWND hwnd = CreateWindow(kClass);
  HDEVNOTIFY registration = RegisterDeviceNotification(hwnd, kInterfaceModem);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInhibitor inhibitor(journal_, c.grants);
    SleepPreparation preparation(inhibitor);
    EXPECT_EQ(preparation.Start(), c.grants);
    auto step = [&] {
      PumpMessages();
      std::string out;
      for (const std::string& e : journal_.Take()) out += (out.empty() ? "" : ",") + e;
      return out;
    };
    std::string log = step();
    for (bool going_to_sleep : c.signals) {
      preparation.OnPrepareForSleep(going_to_sleep);
      log += "|" + step();
    }
    EXPECT_EQ(log, c.expected);
  }
  UnregisterDeviceNotification(registration);
  DestroyWindow(hwnd);
}

// Here there may or may not be a system bus with logind on it; either way
// starting and stopping must be quick and clean.
TEST(PowerMonitorStartTest, StartsOrFailsCleanly) {
  SetLastError(0);
  std::unique_ptr<PowerMonitor> monitor = PowerMonitor::Start();
  if (!monitor) {
    EXPECT_NE(GetLastError(), 0u);
    return;
  }
  monitor.reset();
}

}  // namespace
}  // namespace platform
