// The connection watcher over simulated adapters on the virtual clock: the
// count it keeps, and the news it gives the main window only on a change.
#include "app/connection_watcher_thread.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/app_messages.h"
#include "platform/clock.h"
#include "platform/sim_ip_helper.h"
#include "platform/window.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimIpHelper;

TEST(CountConnectedAdapters, CountsConnectedAdaptersAndSkipsUnreadableOnes) {
  SimIpHelper helper;
  EXPECT_EQ(CountConnectedAdapters(helper), 0) << "no adapters";
  helper.AddAdapter("eth0", platform::MIB_IF_TYPE_ETHERNET, true);
  helper.AddAdapter("ppp0", platform::MIB_IF_TYPE_PPP, false);
  EXPECT_EQ(CountConnectedAdapters(helper), 0) << "adapters without an address are not operational";
  helper.SetAddress("eth0", "192.168.1.20", "255.255.255.0");
  EXPECT_EQ(CountConnectedAdapters(helper), 1);
  helper.SetAddress("ppp0", "10.64.1.2");
  EXPECT_EQ(CountConnectedAdapters(helper), 2) << "the program's own connection counts too";

  testing_support::LogCapture log;
  helper.FailCall(SimIpHelper::Call::GetIfEntry, 87);
  EXPECT_EQ(CountConnectedAdapters(helper), 0);
  EXPECT_TRUE(log.Contains("Error in GetIfEntry."));
  helper.FailCall(SimIpHelper::Call::GetIfEntry, 0);
  helper.FailCall(SimIpHelper::Call::GetIfTable, 122);
  EXPECT_EQ(CountConnectedAdapters(helper), 0);
  EXPECT_TRUE(log.Contains("Error in GetIfTable."));
  helper.FailCall(SimIpHelper::Call::GetIfTable, 0);
  helper.FailCall(SimIpHelper::Call::GetAdaptersInfo, 111);
  EXPECT_EQ(CountConnectedAdapters(helper), 0);
}

class ConnectionWatcherTest : public ::testing::Test {
 protected:
  static constexpr char16_t kWindowClass[] = u"ConnectionWatcherTest.Window";

  void SetUp() override {
    platform::RegisterClass(kWindowClass, [this](platform::HWND, uint32_t message, platform::WPARAM,
                                                 platform::LPARAM) -> platform::LRESULT {
      if (message == app_messages::WM_APP_FOREIGN_CONNECTIONS) ++news_;
      return 0;
    });
    window_ = platform::CreateWindow(kWindowClass);
    ASSERT_NE(window_, nullptr);
    watcher_ = std::make_unique<CConnectionWatcherThread>(window_);
    ASSERT_TRUE(watcher_->Start());
    next_tick_ = clock_.NowMs() + CConnectionWatcherThread::kPeriodMs;
  }

  void TearDown() override {
    watcher_.reset();
    platform::DestroyWindow(window_);
    platform::UnregisterClass(kWindowClass);
  }

  // Lets one period pass. The watcher has counted once it waits for the
  // next tick, so its news of this one is queued when this returns.
  void Tick() {
    ASSERT_TRUE(testing_support::Eventually([&] { return clock_.AdvanceIfWaitedFor(next_tick_); }));
    clock_.WaitForWaiterAt(CConnectionWatcherThread::kPeriodMs);
    next_tick_ += CConnectionWatcherThread::kPeriodMs;
  }

  int News() {
    platform::PumpMessages();
    return news_;
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  SimIpHelper adapters_;
  platform::ScopedIpHelper scoped_adapters_{adapters_};
  platform::HWND window_ = nullptr;
  std::unique_ptr<CConnectionWatcherThread> watcher_;
  uint64_t next_tick_ = 0;
  int news_ = 0;
};

TEST_F(ConnectionWatcherTest, TellsTheWindowOfEachChangeOfTheCountAndOnlyThen) {
  EXPECT_EQ(watcher_->ActiveConnections(), 0);
  Tick();
  EXPECT_EQ(News(), 0) << "no adapters: the count stays 0";

  adapters_.AddAdapter("eth0", platform::MIB_IF_TYPE_ETHERNET, true);
  adapters_.SetAddress("eth0", "192.168.1.20", "255.255.255.0");
  EXPECT_EQ(watcher_->ActiveConnections(), 0) << "counted only on the tick";
  Tick();
  EXPECT_EQ(watcher_->ActiveConnections(), 1);
  EXPECT_EQ(News(), 1);
  Tick();
  Tick();
  EXPECT_EQ(News(), 1) << "the same count again is no news";

  adapters_.AddAdapter("ppp0", platform::MIB_IF_TYPE_PPP, false);
  adapters_.SetAddress("ppp0", "10.64.1.2");
  Tick();
  EXPECT_EQ(CConnectionWatcherThread::ActiveConnectionCount(), 2);
  EXPECT_EQ(News(), 2);

  adapters_.RemoveAdapter("eth0");
  adapters_.RemoveAdapter("ppp0");
  Tick();
  EXPECT_EQ(watcher_->ActiveConnections(), 0);
  EXPECT_EQ(News(), 3);
}

TEST_F(ConnectionWatcherTest, EndsWithItsLogLineAndStartsAgainFromZero) {
  adapters_.AddAdapter("eth0", platform::MIB_IF_TYPE_ETHERNET, true);
  adapters_.SetAddress("eth0", "192.168.1.20", "255.255.255.0");
  Tick();
  ASSERT_EQ(watcher_->ActiveConnections(), 1);
  testing_support::LogCapture log;
  watcher_.reset();
  EXPECT_TRUE(log.Contains("CConnectionWatcherThread::ExitInstance"));

  CConnectionWatcherThread again(window_);
  ASSERT_TRUE(again.Start());
  EXPECT_EQ(again.ActiveConnections(), 0);
}

}  // namespace
