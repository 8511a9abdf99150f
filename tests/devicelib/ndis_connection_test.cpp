// The NDIS connection of a card with a WWAN NDIS port, against a stand-in
// for the card's driver: the state the driver reports becomes the
// connection state, connected only once the adapter has its address; the
// driver's and the card's failures reach the client; the call ends at the
// driver whenever the card is released; the configuration and the
// credentials the driver keeps.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "devicelib/connection.h"
#include "devicelib/dv_api.h"
#include "platform/win32_error.h"
#include "devicelib/library.h"
#include "devicelib/thread.h"
#include "tests/devicelib/stand_in_ndis_driver.h"

namespace {

namespace ConnectionState = GSM::ConnectionState;
using sim::CardKind;
using testing_support::NdisFixture;

constexpr uint32_t kConnect = platform::IOCTL_VL_NDIS_GPRS_CONNECT;
constexpr uint32_t kDisconnect = platform::IOCTL_VL_NDIS_GPRS_DISCONNECT;
constexpr uint32_t kGetConfig = platform::IOCTL_VL_NDIS_GET_CONFIG;
constexpr uint32_t kSetConfig = platform::IOCTL_VL_NDIS_SET_CONFIG;

std::string Field(const std::vector<uint8_t>& bytes, size_t offset) {
  std::string text;
  for (size_t i = offset; i < bytes.size() && bytes[i] != 0; ++i) text.push_back(static_cast<char>(bytes[i]));
  return text;
}

class NdisConnectionTest : public NdisFixture {};

TEST_F(NdisConnectionTest, ConnectsOnceTheAdapterHasAnAddressAndDisconnectsThroughTheDriver) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  EXPECT_EQ(Device().CurrentConnectionKind(), GSM::ConnectionKind::Ndis);
  uint32_t sent = 0;
  uint32_t received = 0;
  uint32_t duration = 0;
  EXPECT_EQ(Current().GetStatistics(&sent, &received, &duration), DV_E_NO_CONNECTION);

  // This driver goes up at once, between two looks of the monitor.
  driver_.SetAfterConnect(platform::kNdisStateConnected, 0);
  ASSERT_EQ(Current().Connect(u"web.vombel", u"user", u"secret", 0), DV_S_OK);
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);
  EXPECT_EQ(Card().Snapshot().contexts.at(1).apn, "web.vombel");
  const std::vector<uint8_t> request = driver_.LastInput(kConnect);
  ASSERT_EQ(request.size(), platform::kNdisConnectRequestSize);
  EXPECT_EQ(Field(request, 0), "ATDT*99***1#");
  EXPECT_EQ(Field(request, platform::kNdisUserNameOffset), "user");
  EXPECT_EQ(Field(request, platform::kNdisPasswordOffset), "secret");

  // Up at the driver, but DHCP has not given the adapter its address yet:
  // still connecting (not a call dropped), and the driver is asked again
  // and again.
  ASSERT_TRUE(PumpReads(3));
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);
  ip_.SetAddress(adapter_, "0.0.0.0");
  ASSERT_TRUE(PumpReads(2));
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);

  ip_.SetAddress(adapter_, "10.64.0.2");
  ASSERT_TRUE(PumpUntilState(ConnectionState::Connected));
  EXPECT_TRUE(errors_.empty());

  driver_.SetStatistics(1200, 34000, 17);
  ASSERT_EQ(Current().GetStatistics(&sent, &received, &duration), DV_S_OK);
  EXPECT_EQ(sent, 1200u);
  EXPECT_EQ(received, 34000u);
  EXPECT_EQ(duration, 17u);
  uint32_t index = 0;
  ASSERT_EQ(Current().GetIpInterfaceIndex(&index), DV_S_OK);
  EXPECT_EQ(index, ip_.AddAdapter(adapter_, platform::MIB_IF_TYPE_ETHERNET, true));
  EXPECT_EQ(Current().GetIpInterfaceIndex(nullptr), DV_E_INVALID_ARGUMENT);

  ASSERT_EQ(Current().Disconnect(), DV_S_OK);
  EXPECT_EQ(driver_.Count(kDisconnect), 1u);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnecting);
  driver_.SetState(platform::kNdisStateDisconnected, 0);
  ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(NdisConnectionTest, TheDriversIdleRecordsAreIgnoredUntilItHasTakenUpTheConnect) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  driver_.SetAfterConnect(platform::kNdisStateDisconnected, 1);
  ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  ASSERT_TRUE(PumpReads(2));
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);
  driver_.SetState(platform::kNdisStateConnecting2, 0);
  ASSERT_TRUE(PumpReads(2));
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);
  EXPECT_TRUE(errors_.empty());

  // Once the driver is on its way, the same idle record is the call gone.
  driver_.SetState(platform::kNdisStateConnecting3, 0);
  ASSERT_TRUE(PumpReads(2));
  driver_.SetState(platform::kNdisStateDisconnected, 1);
  ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
  ASSERT_TRUE(PumpUntil([&] { return CountErrors(DV_E_CONNECTION_DROPPED) == 1; }));
  EXPECT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].type, 1u);
}

TEST_F(NdisConnectionTest, ADriverFailureWhileConnectingReachesTheClientWithItsReason) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  driver_.SetState(platform::kNdisStateFailed, 33);
  ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty(); }));
  EXPECT_EQ(errors_[0].type, 1u);
  EXPECT_EQ(errors_[0].primary, 0x84040021u);
  EXPECT_EQ(CountErrors(DV_E_CONNECTION_DROPPED), 0u);
}

TEST_F(NdisConnectionTest, ACancelWhileConnectingIsNoFailureAndOneCallAtATime) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  EXPECT_EQ(Current().Disconnect(), DV_E_NO_CONNECTION);
  EXPECT_EQ(Current().ConnectToEntry(u"", u"VLConnect", nullptr, nullptr, nullptr), DV_E_NOT_SUPPORTED);

  ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  EXPECT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_E_CONNECTION_BUSY);
  EXPECT_EQ(driver_.Count(kConnect), 1u);
  ASSERT_TRUE(PumpReads(1));

  // The user gives up: the driver goes down through disconnecting, which
  // is what was asked for, not a call that failed.
  ASSERT_EQ(Current().Disconnect(), DV_S_OK);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnecting);
  driver_.SetState(platform::kNdisStateDisconnected, 0);
  ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
  Pass(1000);
  EXPECT_TRUE(errors_.empty());

  // The next call dropped by the card is one.
  ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  ASSERT_TRUE(PumpReads(1));
  driver_.SetState(platform::kNdisStateDisconnecting, 0);
  ASSERT_TRUE(PumpUntil([&] { return CountErrors(DV_E_CONNECTION_DROPPED) == 1; }));
}

TEST_F(NdisConnectionTest, TheDriversCommandSlotsAreMendedOnceAtOpen) {
  driver_.SetConfigSlot(0, "AT+CSQ");
  driver_.SetConfigSlot(1, "AT+CREG?^0,1~0,5~");
  driver_.SetConfigSlot(2, "AT+CGREG?^0,1~0,5~");
  const std::vector<uint8_t> before = driver_.Config();
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  EXPECT_EQ(driver_.Count(kSetConfig), 1u);
  EXPECT_EQ(driver_.ConfigSlot(0), "AT+CSQ");
  EXPECT_EQ(driver_.ConfigSlot(1), "");
  EXPECT_EQ(driver_.ConfigSlot(2), "AT+CGREG?^0,1~0,5~1,1~1,5~");
  EXPECT_EQ(driver_.Config()[0], before[0]) << "the driver's own bytes are written back as read";

  Current().Close(false);
  EXPECT_FALSE(Current().IsRunning());
  EXPECT_EQ(driver_.OpenFiles(), 0);
  ASSERT_EQ(Current().Open(), DV_S_OK);
  EXPECT_EQ(driver_.Count(kGetConfig), 2u);
  EXPECT_EQ(driver_.Count(kSetConfig), 1u);
}

TEST_F(NdisConnectionTest, ACardWhoseDriverRefusesItsConfigurationIsNotTakenUpAndNotKeptOpen) {
  struct Row {
    uint32_t failing;
    const char* slot;  // one to mend, so that a write-back is due
  };
  for (const Row& row : {Row{kGetConfig, ""}, Row{kSetConfig, "AT+CREG?"}}) {
    SCOPED_TRACE(row.failing == kGetConfig ? "read refused" : "write refused");
    driver_.SetConfigSlot(0, row.slot);
    driver_.Fail(row.failing, platform::kErrorGenFailure);
    presence_ = sim::NewSimCard(CardKind::kMultiplexing3g).BuildIn(tree_);
    ASSERT_NE(presence_, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return driver_.Count(row.failing) > 0; }));
    Pass(1000);
    EXPECT_EQ(Device().GetDeviceState(), GSM::DeviceState::NotFound);
    EXPECT_EQ(driver_.OpenFiles(), 0);
    EXPECT_FALSE(Current().IsRunning());
    presence_.reset();
    driver_.Fail(row.failing, 0);
    Settle();
  }
}

TEST_F(NdisConnectionTest, CredentialsRoundTripThroughTheDriverInTheOemCodePage) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  char16_t user[kDvNdisCredentialSize] = u"stale";
  char16_t password[kDvNdisCredentialSize] = u"stale";
  ASSERT_EQ(DvGetNdisCredentials(user, password), DV_S_OK);
  EXPECT_EQ(std::u16string(user), u"");

  ASSERT_EQ(DvSetNdisCredentials(u"m\u00fcller", u"0123456789012345678901234567890123456789"), DV_S_OK);
  const std::vector<uint8_t> config = driver_.Config();
  EXPECT_EQ(Field(config, platform::kNdisUserNameOffset), "m\x81ller");
  ASSERT_EQ(DvGetNdisCredentials(user, password), DV_S_OK);
  EXPECT_EQ(std::u16string(user), u"m\u00fcller");
  EXPECT_EQ(std::u16string(password), u"012345678901234567890123456789012345678");

  ASSERT_EQ(DvSetNdisCredentials(nullptr, u"pw"), DV_S_OK);
  ASSERT_EQ(DvGetNdisCredentials(user, password), DV_S_OK);
  EXPECT_EQ(std::u16string(user), u"");
  EXPECT_EQ(std::u16string(password), u"pw");
  EXPECT_EQ(DvGetNdisCredentials(nullptr, password), DV_E_INVALID_ARGUMENT);

  driver_.Fail(kGetConfig, platform::kErrorGenFailure);
  EXPECT_EQ(DvGetNdisCredentials(user, password), 0x8007001Fu);
  EXPECT_EQ(DvSetNdisCredentials(u"a", u"b"), 0x8007001Fu);
}

TEST_F(NdisConnectionTest, CredentialsBelongToTheNdisConnectionOnly) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs)));
  char16_t user[kDvNdisCredentialSize];
  char16_t password[kDvNdisCredentialSize];
  EXPECT_EQ(DvGetNdisCredentials(user, password), DV_E_NOT_AVAILABLE);
  EXPECT_EQ(DvSetNdisCredentials(u"a", u"b"), DV_E_NOT_AVAILABLE);
}

TEST_F(NdisConnectionTest, TheCompositeCardsWanCallIsPolledUntilItIsUp) {
  ASSERT_TRUE(PlugCard(CardKind::kComposite));
  ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  EXPECT_EQ(Card().Ndis()->WanCallState(), 2);
  EXPECT_TRUE(GSM::LibraryTimerRunning(GSM::TimerDataCallPolling));
  ASSERT_TRUE(PumpUntil([] { return !GSM::LibraryTimerRunning(GSM::TimerDataCallPolling); }));
  EXPECT_EQ(ConnectionState(), ConnectionState::Connecting);
  EXPECT_EQ(driver_.Count(kDisconnect), 0u);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(NdisConnectionTest, TheCompositeCardsWanCallDownOrFailedTakesTheConnectionDown) {
  ASSERT_TRUE(PlugCard(CardKind::kComposite));
  driver_.SetAfterDisconnect(platform::kNdisStateDisconnected, 0);
  struct Row {
    int wan_state;
    size_t dropped_errors;
  };
  for (const Row& row : {Row{3, 1}, Row{0, 0}}) {
    SCOPED_TRACE(row.wan_state);
    errors_.clear();
    const size_t disconnects = driver_.Count(kDisconnect);
    // The card's WAN call follows its driver's call: a refused call
    // fails (3), a dropped one is down (0).
    if (row.wan_state == 3) Card().Ndis()->FailNextConnect(sim::NdisDriver::kReasonNotSubscribed);
    ASSERT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
    if (row.wan_state == 0) {
      ASSERT_TRUE(Card().Ndis()->DropCall());
    }
    ASSERT_TRUE(PumpUntilState(ConnectionState::Disconnected));
    EXPECT_EQ(driver_.Count(kDisconnect), disconnects + 1);
    EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerDataCallPolling));
    Settle();
    EXPECT_EQ(CountErrors(DV_E_CONNECTION_DROPPED), row.dropped_errors);
  }
}

TEST_F(NdisConnectionTest, AccessDeniedFromTheControlDeviceStopsTheMonitorAndReleasesTheCard) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  ASSERT_TRUE(ConnectAndReachConnected());
  driver_.Fail(testing_support::StandInNdisDriver::kAnyRequest, platform::kErrorAccessDenied);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == GSM::DeviceState::NotFound; }));
  EXPECT_FALSE(Current().IsRunning());
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);
  EXPECT_EQ(driver_.OpenFiles(), 0);
}

TEST_F(NdisConnectionTest, ACardPulledWhileConnectedEndsDisconnectedWithTheClientTold) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  ASSERT_TRUE(ConnectAndReachConnected());
  ClearEvents();
  Presence().Pull();
  ASSERT_TRUE(PumpUntil([&] {
    return Device().GetDeviceState() == GSM::DeviceState::NotFound && CountEvents(EventConnectionStateChanged) > 0;
  }));
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);
  EXPECT_FALSE(Current().IsRunning());
  EXPECT_EQ(driver_.OpenFiles(), 0);
}

TEST_F(NdisConnectionTest, ReleasingTheCardEndsTheCallAtTheDriver) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  ASSERT_TRUE(ConnectAndReachConnected());
  // Standby, a removal query and shut-down release the card this way; the
  // device is going down by then, so no guarded call would get through.
  Device().Exit(true);
  EXPECT_EQ(driver_.Count(kDisconnect), 1u);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);
  EXPECT_FALSE(Current().IsRunning());
}

TEST_F(NdisConnectionTest, OnACardThatCannotMultiplexTheCallIsStillMadeMeasuredAndEnded) {
  ASSERT_TRUE(PlugNonMultiplexing3g());
  ASSERT_FALSE(Device().PortUsableDuringDataCall());
  driver_.SetAfterDisconnect(platform::kNdisStateDisconnected, 0);
  ASSERT_EQ(Current().Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
  driver_.SetState(platform::kNdisStateConnected, 0);
  ip_.SetAddress(adapter_, "10.64.0.2");
  ASSERT_TRUE(PumpUntilState(ConnectionState::Connected));
  uint32_t sent = 0;
  uint32_t received = 0;
  uint32_t duration = 0;
  EXPECT_EQ(Current().GetStatistics(&sent, &received, &duration), DV_S_OK);
  ASSERT_EQ(Current().Disconnect(), DV_S_OK);
  EXPECT_EQ(driver_.Count(kDisconnect), 1u);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);

  // A refused connect is cleaned up at the driver.
  driver_.Fail(kConnect, platform::kErrorGenFailure);
  EXPECT_EQ(Current().Connect(nullptr, nullptr, nullptr, 0), 0x8007001Fu);
  EXPECT_EQ(driver_.Count(kDisconnect), 2u);
  EXPECT_EQ(ConnectionState(), ConnectionState::Disconnected);
}

TEST_F(NdisConnectionTest, TheControlDeviceIsClosedOnlyOnceTheMonitorIsOutOfItsRequest) {
  ASSERT_TRUE(PlugCard(CardKind::kMultiplexing3g));
  // Nothing but the test moves the clock from here, so the close's wait
  // for the monitor is found at its exact deadline.
  clock_.SetSleepAdvances(false);
  driver_.HoldNextStateRead();
  ASSERT_TRUE(PumpUntil([&] { return driver_.HoldingRead(); }));
  std::thread closer([&] { Current().Close(false); });
  clock_.WaitForWaiterAt(Thread::kStopTimeoutMs);
  driver_.ReleaseStateRead();
  closer.join();
  clock_.SetSleepAdvances(true);
  EXPECT_EQ(driver_.OpenFilesWhenHeldReadReturned(), 1);
  EXPECT_EQ(driver_.OpenFiles(), 0);
  EXPECT_FALSE(Current().IsRunning());
}

}  // namespace
