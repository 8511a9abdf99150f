// The D-Bus link against a stand-in ModemManager on a bus of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

#include "platform/modem_manager.h"
#include "tests/platform/modem_manager_stand_in.h"
#include "tests/platform/private_bus.h"

namespace platform {
namespace {

using testing_support::ModemManagerStandIn;
using testing_support::PrivateBus;

constexpr const char* kUid = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";

class ModemManagerBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why_not;
    bus_ = PrivateBus::Start(why_not);
    if (!bus_) GTEST_SKIP() << "no private bus: " << why_not;
  }

  std::unique_ptr<ModemManagerStandIn> StandIn(ModemManagerStandIn::Answer answer) {
    auto service = std::make_unique<ModemManagerStandIn>(bus_->Address(), answer);
    EXPECT_TRUE(service->Started());
    return service;
  }

  std::unique_ptr<ModemManagerLink> Link() {
    auto link = ConnectModemManager(bus_->Address());
    EXPECT_TRUE(link) << "cannot connect to " << bus_->Address();
    return link;
  }

  std::unique_ptr<PrivateBus> bus_;
};

TEST_F(ModemManagerBusTest, WillingServiceHoldsOffUntilTheInhibitionGoes) {
  auto service = StandIn(ModemManagerStandIn::Answer::kWilling);
  auto link = Link();
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->Present());

  Inhibited got = link->Inhibit(kUid);
  ASSERT_EQ(got.result.status, InhibitStatus::kOk) << got.result.error_name << ": " << got.result.error_message;
  ASSERT_TRUE(got.inhibition);
  EXPECT_TRUE(service->WaitFor(std::string("inhibit ") + kUid));
  got.inhibition.reset();
  EXPECT_TRUE(service->WaitFor(std::string("release ") + kUid));
  EXPECT_EQ(service->Journal().size(), 2u);
}

TEST_F(ModemManagerBusTest, RefusingOrAbsentServiceGrantsNothing) {
  auto link = Link();
  ASSERT_TRUE(link);
  EXPECT_FALSE(link->Present());
  EXPECT_EQ(link->Inhibit(kUid).result.status, InhibitStatus::kAbsent);
  EXPECT_EQ(link->DeviceOfPort("ttyUSB2"), "");

  auto service = StandIn(ModemManagerStandIn::Answer::kRefusing);
  EXPECT_TRUE(link->Present());
  Inhibited got = link->Inhibit(kUid);
  EXPECT_EQ(got.result.status, InhibitStatus::kRefused);
  EXPECT_EQ(got.result.error_name, ModemManagerStandIn::kRefusalName);
  EXPECT_NE(got.result.error_message.find("not authorized"), std::string::npos);
  EXPECT_FALSE(got.inhibition);
}

TEST_F(ModemManagerBusTest, ServiceGoingAwayIsNoticedAndTheNextOneIsLeftAlone) {
  auto service = StandIn(ModemManagerStandIn::Answer::kWilling);
  auto link = Link();
  ASSERT_TRUE(link);
  std::promise<std::string> lost;
  Inhibited got = link->Inhibit(kUid, [&lost](const std::string& uid) { lost.set_value(uid); });
  ASSERT_TRUE(got.inhibition);

  service->Leave();
  auto notice = lost.get_future();
  ASSERT_EQ(notice.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "no notice of the departure";
  EXPECT_EQ(notice.get(), kUid);
  EXPECT_TRUE(got.inhibition->Lost());
  EXPECT_FALSE(link->Present());

  // A ModemManager started afterwards never granted this inhibition: giving
  // it back must not reach the new one.
  auto next = StandIn(ModemManagerStandIn::Answer::kWilling);
  got.inhibition.reset();
  Inhibited fresh = link->Inhibit("/sys/devices/other");
  ASSERT_TRUE(fresh.inhibition);
  EXPECT_EQ(next->Journal(), std::vector<std::string>{"inhibit /sys/devices/other"});
}

// A program that ends without a word (killed, crashed) closes its bus
// connection, and ModemManager ends the inhibition of a caller that left.
// Nothing of ours must keep the connection open behind the link.
TEST_F(ModemManagerBusTest, InhibitionEndsWhenTheConnectionCloses) {
  auto service = StandIn(ModemManagerStandIn::Answer::kWilling);
  auto link = Link();
  ASSERT_TRUE(link);
  Inhibited got = link->Inhibit(kUid);
  ASSERT_TRUE(got.inhibition);
  link.reset();
  EXPECT_TRUE(service->WaitFor(std::string("caller left ") + kUid));
  got.inhibition.reset();  // after its link: nothing left to do, nothing to crash on
  EXPECT_EQ(service->Journal(), (std::vector<std::string>{std::string("inhibit ") + kUid,
                                                          std::string("caller left ") + kUid}));
}

}  // namespace
}  // namespace platform
