// A data connection on every simulated card, end to end: the library
// against the simulated card's network driver and adapter, or against the
// simulated dial-up service dialling the card's modem port, as a client
// drives it.
#include <gtest/gtest.h>

#include <string>

#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "platform/dial_up.h"
#include "platform/text.h"
#include "sim/card_class.h"
#include "sim/ndis_driver.h"
#include "tests/devicelib/device_fixture.h"

namespace {

namespace ConnectionState = GSM::ConnectionState;
namespace DeviceState = GSM::DeviceState;
using sim::CardKind;
using testing_support::DeviceFixture;

struct DriverCard {
  CardKind kind;
  GSM::ConnectionKind connection;
};

// What both kinds of connection share in these tests.
class ConnectionRoadTest : public DeviceFixture {
 protected:
  GSM::Connection& Connection() { return *Device().CurrentConnection(); }
  int State() { return Device().GetConnectionState(); }
  // Bytes both ways and the duration grow while the link is up.
  void ExpectTrafficGrows() {
    uint32_t sent = 0, received = 0, duration = 0;
    ASSERT_EQ(Connection().GetStatistics(&sent, &received, &duration), DV_S_OK);
    Pass(3000);
    uint32_t later_sent = 0, later_received = 0, later_duration = 0;
    ASSERT_EQ(Connection().GetStatistics(&later_sent, &later_received, &later_duration), DV_S_OK);
    EXPECT_GT(later_sent, sent);
    EXPECT_GT(later_received, received);
    EXPECT_GT(later_duration, duration);
  }
};

class DriverConnectionTest : public ConnectionRoadTest, public ::testing::WithParamInterface<DriverCard> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Initialize());
    ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(GetParam().kind).Registered(1)));
    ASSERT_EQ(Device().CurrentConnectionKind(), GetParam().connection);
  }
  std::string Adapter() { return platform::Utf16ToUtf8(CardInfoText(Device().CardInfo().NetCfgInstanceId)); }

  void ConnectAndComeUp() {
    ASSERT_EQ(Connection().Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
    EXPECT_EQ(State(), ConnectionState::Connecting);
    ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Connected; }));
    // Connected means the adapter has its address.
    EXPECT_NE(adapters_.Address(Adapter()), "");
  }
};

TEST_P(DriverConnectionTest, ConnectsWithAnAddressCountsTrafficAndDisconnects) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_EQ(Connection().Connect(nullptr, nullptr, nullptr, 0), DV_E_CONNECTION_BUSY);

  uint32_t index = 0;
  ASSERT_EQ(Connection().GetIpInterfaceIndex(&index), DV_S_OK);
  platform::IfRow row;
  ASSERT_EQ(adapters_.GetIfEntry(index, row), 0u);
  EXPECT_EQ(row.Name, Adapter());

  ExpectTrafficGrows();

  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Disconnected; }));
  EXPECT_EQ(adapters_.Address(Adapter()), "");
  EXPECT_EQ(Connection().Disconnect(), DV_E_NO_CONNECTION);
  EXPECT_TRUE(errors_.empty());
}

TEST_P(DriverConnectionTest, ACallTheNetworkRefusesReachesTheClientWithItsReason) {
  Card().Ndis()->FailNextConnect(sim::NdisDriver::kReasonNotSubscribed);
  ASSERT_EQ(Connection().Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty() && State() == ConnectionState::Disconnected; }));
  EXPECT_EQ(errors_[0].type, 1u);
  EXPECT_EQ(errors_[0].primary, DV_E_CONNECTION_BASE | sim::NdisDriver::kReasonNotSubscribed);
}

TEST_P(DriverConnectionTest, ACallDroppedWhileConnectingIsAFailure) {
  ASSERT_EQ(Connection().Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
  Pass(600);
  ASSERT_EQ(State(), ConnectionState::Connecting);
  Card().Ndis()->DropCall();
  ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Disconnected; }));
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty(); }));
  EXPECT_EQ(errors_.back().primary, DV_E_CONNECTION_DROPPED);
}

TEST_P(DriverConnectionTest, ACardPulledWhileConnectedLeavesNothingRunning) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  ClearEvents();
  Presence().Pull();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_EQ(State(), ConnectionState::Disconnected);
  EXPECT_GE(CountEvents(EventConnectionStateChanged), 1u);
  EXPECT_FALSE(Connection().IsRunning());
}

INSTANTIATE_TEST_SUITE_P(
    CardClasses, DriverConnectionTest,
    ::testing::Values(DriverCard{CardKind::kMultiplexing3g, GSM::ConnectionKind::Ndis},
                      DriverCard{CardKind::kComposite, GSM::ConnectionKind::Ndis},
                      DriverCard{CardKind::kStack3, GSM::ConnectionKind::BroadcomNdis}),
    [](const auto& info) { return std::string(sim::ClassOf(info.param.kind).id); });

// --- Dial-up ------------------------------------------------------------------

class DialUpConnectionTest : public ConnectionRoadTest, public ::testing::WithParamInterface<CardKind> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Initialize());
    ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(GetParam()).Registered(1)));
    ASSERT_EQ(Device().CurrentConnectionKind(), GSM::ConnectionKind::Ras);
  }
  bool OnePort() { return !Device().PortUsableDuringDataCall(); }
  // The card takes commands again (its port is back on a one-port card).
  bool CardAnswers() {
    char16_t imsi[kDvNumberSize] = {};
    return PumpUntil([&] { return Device().IsOpen() && DvGetImsiNumber(imsi) == DV_S_OK; });
  }

  void ConnectAndComeUp() {
    ASSERT_EQ(Connection().Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
    ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Connected; }));
  }
};

TEST_P(DialUpConnectionTest, DialsGetsTheCardsAddressCountsTrafficAndHangsUp) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  EXPECT_EQ(Device().IsOpen(), !OnePort());

  uint32_t index = 0;
  ASSERT_EQ(Connection().GetIpInterfaceIndex(&index), DV_S_OK);
  platform::IfRow row;
  ASSERT_EQ(adapters_.GetIfEntry(index, row), 0u);
  EXPECT_EQ(adapters_.Address(row.Name), Card().Snapshot().dial_up_address);

  ExpectTrafficGrows();

  ASSERT_EQ(Connection().Disconnect(), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Disconnected; }));
  EXPECT_FALSE(adapters_.HasAdapter(row.Name));
  EXPECT_TRUE(CardAnswers());
  EXPECT_TRUE(errors_.empty());

  // And again: the entry is kept, the modem port free.
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
}

TEST_P(DialUpConnectionTest, ADialTheCardRefusesReachesTheClientAndGivesThePortBack) {
  Card().InjectFault("D", sim::Fault{sim::FaultKind::kError});
  ASSERT_EQ(Connection().Connect(nullptr, nullptr, nullptr, 0), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty() && State() == ConnectionState::Disconnected; }));
  EXPECT_EQ(errors_[0].type, 0u);
  EXPECT_EQ(errors_[0].primary, DvFromSystemError(platform::kRasErrorFromDevice));
  EXPECT_TRUE(CardAnswers());
}

TEST_P(DialUpConnectionTest, ALoginTheNetworkRefusesReachesTheClient) {
  Card().AcceptDialUpLogin("vombel", "secret");
  ASSERT_EQ(Connection().Connect(nullptr, u"vombel", u"wrong", 1), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty() && State() == ConnectionState::Disconnected; }));
  EXPECT_EQ(errors_[0].primary, DvFromSystemError(platform::kRasErrorAuthenticationFailure));
  EXPECT_TRUE(CardAnswers());
}

TEST_P(DialUpConnectionTest, TheNetworkEndingTheCallIsSeenAndThePortGivenBack) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  Card().DropDataCall();
  ASSERT_TRUE(PumpUntil([&] { return State() == ConnectionState::Disconnected; }));
  EXPECT_TRUE(CardAnswers());
}

TEST_P(DialUpConnectionTest, ACardPulledDuringTheCallIsTakenUpAgainWhenItComesBack) {
  ASSERT_NO_FATAL_FAILURE(ConnectAndComeUp());
  ClearEvents();
  Presence().Pull();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_EQ(State(), ConnectionState::Disconnected);
  EXPECT_GE(CountEvents(EventConnectionStateChanged), 1u);

  ASSERT_TRUE(Presence().Plug());
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::Found; }));
  ASSERT_EQ(DvInitializeDevice(), DV_S_OK);
  EXPECT_TRUE(CardAnswers());
  EXPECT_TRUE(Connection().IsRunning());
}

INSTANTIATE_TEST_SUITE_P(CardClasses, DialUpConnectionTest,
                         ::testing::Values(CardKind::kTechnologySelection, CardKind::kGprs),
                         [](const auto& info) { return std::string(sim::ClassOf(info.param).id); });

}  // namespace
