// The device object over the simulated card classes: taking the card up,
// the initialisation sequence, the derived states, the virtual-home-network
// rule, SIM polling, and the card going away at the awkward moments.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "platform/device_broadcast.h"
#include "platform/device_notification.h"
#include "sim/card_class.h"
#include "tests/devicelib/device_fixture.h"

namespace {

using GSM::Device;
namespace DeviceState = GSM::DeviceState;
using sim::CardKind;
using testing_support::DeviceFixture;

class DeviceTest : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }
};

struct ClassRow {
  CardKind kind;
  GSM::ConnectionKind connection;
  int removability;
  bool technology_selection;
  bool is_3g;
};

std::ostream& operator<<(std::ostream& out, const ClassRow& row) { return out << sim::ClassOf(row.kind).id; }

class EveryCardClass : public DeviceTest, public ::testing::WithParamInterface<ClassRow> {};

TEST_P(EveryCardClass, IsTakenUpInitialisedAndReleased) {
  const ClassRow& row = GetParam();
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(row.kind).Registered(1)));
  EXPECT_EQ(Device().GetDeviceState(), DeviceState::Initialized);
  EXPECT_EQ(Device().CurrentConnectionKind(), row.connection);
  EXPECT_EQ(Device().RemovabilityType(), row.removability);
  EXPECT_EQ(Device().TechnologySelectionSupported(), row.technology_selection);
  EXPECT_EQ(Device().Is3gCard(), row.is_3g);
  // The 0x0E00 card reports packet-switched registration only.
  ASSERT_TRUE(PumpUntil([&] { return Device().CsOrPsRegistered(); }));
  EXPECT_EQ(Device().GetSimState(), 1);

  // Found, then Initialized: the first two device-state events.
  std::vector<int> device_states;
  for (const auto& e : events_) {
    if (e.code == EventDeviceStateChanged) device_states.push_back(e.device_state);
  }
  ASSERT_GE(device_states.size(), 3u);  // the listener registration's, Found, Initialized
  EXPECT_EQ(device_states[1], DeviceState::Found);
  EXPECT_EQ(device_states[2], DeviceState::Initialized);

  Presence().Pull();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_EQ(Device().GetCsState(), 0);
  EXPECT_FALSE(Device().IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Classes, EveryCardClass,
    ::testing::Values(ClassRow{CardKind::kMultiplexing3g, GSM::ConnectionKind::Ndis, 1, false, true},
                      ClassRow{CardKind::kGprs, GSM::ConnectionKind::Ras, 2, false, false},
                      ClassRow{CardKind::kTechnologySelection, GSM::ConnectionKind::Ras, 2, true, true},
                      ClassRow{CardKind::kStack3, GSM::ConnectionKind::BroadcomNdis, 2, false, true},
                      // One technology only: "_OPSYS:" offers "(1),".
                      ClassRow{CardKind::kModel0E00, GSM::ConnectionKind::Ras, 1, false, true},
                      ClassRow{CardKind::kComposite, GSM::ConnectionKind::Ndis, 2, false, true}),
    [](const ::testing::TestParamInfo<ClassRow>& info) { return std::string(sim::ClassOf(info.param.kind).id); });

TEST_F(DeviceTest, ASecondInitialisationSendsNothing) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs)));
  const uint64_t answered = Card().LinesAnswered();
  EXPECT_EQ(DvInitializeDevice(), DV_S_OK);
  EXPECT_EQ(Card().LinesAnswered(), answered);
}

TEST_F(DeviceTest, ACardThatNeverAnswersFailsAfterThreeTries) {
  ASSERT_TRUE(Plug(sim::NewSimCard(CardKind::kGprs)));
  Card().SetMute(true);
  // Every wait is meant to run out: let each pass as it comes.
  std::atomic<bool> done{false};
  std::thread driver([&] {
    while (!done) {
      if (clock_.TimedWaiters() > 0) clock_.AdvanceToNextDeadline();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const uint64_t start = clock_.NowMs();
  const DvResult rc = InitializeDevice();
  done = true;
  driver.join();
  EXPECT_EQ(rc, DV_E_NO_ANSWER) << std::hex << rc;
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT\r"), 3u);
  EXPECT_EQ(log_.Count("Dv: Modem write: [ATE0\r"), 1u);
  // The wait, three tries of 2 s with about a second after each, ATE0.
  EXPECT_GE(clock_.NowMs() - start, 1000u + 3 * (2000u + 999u) + 3000u);
  EXPECT_EQ(Device().GetDeviceState(), DeviceState::Found);
}

TEST_F(DeviceTest, ACardPulledDuringTheWaitsBetweenTriesEndsTheSequence) {
  ASSERT_TRUE(Plug(sim::NewSimCard(CardKind::kGprs)));
  Card().SetMute(true);
  clock_.SetSleepAdvances(false);
  std::thread system([&] {
    clock_.AdvanceWhenWaiting(1000);  // the wait before initialising
    clock_.AdvanceWhenWaiting(10);    // the lone CR
    clock_.AdvanceWhenWaiting(10);    // "AT"
    clock_.AdvanceWhenWaiting(2000);  // its budget runs out
    clock_.WaitForWaiterAt(333);      // the first pause after it
    Card().Pull();
    while (!Device().GoingDown()) std::this_thread::yield();
    clock_.Advance(333);
  });
  const DvResult rc = InitializeDevice();
  system.join();
  clock_.SetSleepAdvances(true);
  EXPECT_EQ(rc, DV_E_NO_DEVICE) << std::hex << rc;
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT\r"), 1u);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
}

TEST_F(DeviceTest, SimPollingRunsUntilTheSimIsInitialised) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g).WithPin("1234").SimInitTakes(4000)));
  EXPECT_EQ(Device().GetSimState(), 0);
  EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerSimPolling));

  ClearEvents();
  // The SIM state is 0 already: polling must start all the same.
  ASSERT_EQ(DvEnterPinCode(u"1234"), DV_S_OK);
  EXPECT_TRUE(GSM::LibraryTimerRunning(GSM::TimerSimPolling));
  const uint64_t entered = clock_.NowMs();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetSimState() == 1; }));
  EXPECT_GE(clock_.NowMs() - entered, 4000u);
  EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerSimPolling));
  EXPECT_EQ(CountEvents(EventSimStateChanged), 1u);
  // The set-up after the PIN ran once the SIM could take it.
  EXPECT_TRUE(Device().PostPinOperationDone());
}

TEST_F(DeviceTest, RoamingOnAVirtualHomeNetworkIsShownAsHome) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)
                                    .Registered(5)
                                    .Operator("Partner", "Partner", "302720")
                                    .Imsi("302370123456789")));
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() != 0; }));
  EXPECT_EQ(Device().GetCsState(), GSM::NetworkState::Registered);
  EXPECT_EQ(Device().HomeNetworkCode(), 30237u);
}

TEST_F(DeviceTest, RoamingWithAnotherSimStaysRoaming) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)
                                    .Registered(5)
                                    .Operator("Partner", "Partner", "302720")
                                    .Imsi("262019876543210")));
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() != 0; }));
  EXPECT_EQ(Device().GetCsState(), GSM::NetworkState::RegisteredRoaming);
}

TEST_F(DeviceTest, TheVirtualHomeNetworkRuleAppliesAfterALatePinEntry) {
  // The SIM asks for its PIN: the IMSI cannot be read during initialisation.
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)
                                    .WithPin("1234")
                                    .Registered(5)
                                    .Operator("Partner", "Partner", "302720")
                                    .Imsi("302370123456789")));
  EXPECT_EQ(Device().HomeNetworkCode(), 0u);
  ASSERT_EQ(DvEnterPinCode(u"1234"), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetSimState() == 1 && Device().GetCsState() != 0; }));
  EXPECT_EQ(Device().HomeNetworkCode(), 30237u);
  // The next roaming report is hidden.
  Card().SetRegistration(1);
  Card().SetRegistration(5);
  ASSERT_TRUE(PumpUntil([&] { return log_.Contains("virtual home network"); }));
  Settle();
  EXPECT_EQ(Device().GetCsState(), GSM::NetworkState::Registered);
}

TEST_F(DeviceTest, VirtualHomeNetworkPairsMatchTheSimByItsHomeCode) {
  EXPECT_TRUE(Device().IsVirtualHomeNetwork(302720, u"302370123456789"));
  EXPECT_FALSE(Device().IsVirtualHomeNetwork(302720, u"302371123456789"));
  EXPECT_FALSE(Device().IsVirtualHomeNetwork(302721, u"302370123456789"));
  EXPECT_FALSE(Device().IsVirtualHomeNetwork(302720, u"30237"));
  EXPECT_FALSE(Device().IsVirtualHomeNetwork(302720, u""));
}

TEST_F(DeviceTest, UmtsWithoutPacketAttachWaitsForTheCellType) {
  // A 3G card registered for circuit-switched service only.
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g).Change([](sim::CardState& s) {
    s.attached = false;
    s.cell_3g = 0;
  })));
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() == 1; }));
  Device().SetAccessTechnology(GSM::PacketSwitchedTechnologyUmts);
  Device().Set3GCellType(0);
  Settle();
  EXPECT_EQ(Device().GetPsState(), 0);
  EXPECT_TRUE(GSM::LibraryTimerRunning(GSM::TimerCellTypePolling));

  Card().Update([](sim::CardState& s) { s.cell_3g = 1; });
  ASSERT_TRUE(PumpUntil([&] { return Device().GetPsState() == 1; }));
  EXPECT_EQ(Device().Get3GCellType(), 1);
}

TEST_F(DeviceTest, TimerWorkOfASetterOnAnotherThreadRunsOnTheWindowThread) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)));
  std::thread connection_thread([&] { Device().SetConnectionState(GSM::ConnectionState::Connected); });
  connection_thread.join();
  // Nothing started the timer on the connection thread.
  EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerHsdpaPolling));
  Settle();
  EXPECT_TRUE(GSM::LibraryTimerRunning(GSM::TimerHsdpaPolling));

  std::thread again([&] { Device().SetConnectionState(GSM::ConnectionState::Disconnected); });
  again.join();
  Settle();
  EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerHsdpaPolling));
}

TEST_F(DeviceTest, APulledCardEndsACommandAndTheDeviceGoesAway) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs)));
  Card().InjectFault("+CGMM", sim::Fault{sim::FaultKind::kPull});
  char16_t name[kDvNameSize];
  EXPECT_EQ(DvGetDeviceName(name), DV_E_NO_DEVICE);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_EQ(DvGetDeviceName(name), DV_E_NO_DEVICE);
}

TEST_F(DeviceTest, AFirstCardRemovalQueryClosesTheCardBeforeItIsGranted) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kGprs)));
  platform::HANDLE token = Device().RemovalNotificationHandle();
  ASSERT_NE(token, nullptr);
  // The query is sent from another thread, as the system would; this
  // thread answers it while it pumps.
  bool granted = false;
  std::thread system([&] { granted = platform::QueryHandleRemoval(token, 5000); });
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  system.join();
  EXPECT_TRUE(granted);
  EXPECT_FALSE(Device().IsOpen());
}

TEST_F(DeviceTest, StandbyReleasesThePortAndWakingUpTakesItAgain) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)));
  platform::SendPowerEvent(platform::PBT_APMSUSPEND, 4000);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_FALSE(Device().IsOpen());
  Presence().Standby();
  ClearEvents();
  platform::BroadcastPowerEvent(platform::PBT_APMRESUMESUSPEND);
  ASSERT_TRUE(Presence().Resume());
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::Found; }));
  EXPECT_TRUE(Device().IsOpen());
  ASSERT_EQ(InitializeDevice(), DV_S_OK);
}

}  // namespace

namespace {

using testing_support::DeviceFixture;

class Model0E00Test : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }
};

TEST_F(Model0E00Test, OneTechnologyOnlySkipsTheSelectionCircuitRegistrationAndVoice) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kModel0E00)));
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT_OPSYS=?"), 1u);
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT_OSSYS=1"), 0u);
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT+CREG=1;+CREG?"), 0u);
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT_OPCMENABLE?"), 0u);
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT_OGACT=1"), 1u);
  EXPECT_FALSE(Device().VoiceCapable());
  EXPECT_FALSE(Device().TechnologySelectionSupported());
  // No HSDPA polling for this model once connected.
  Device().SetConnectionState(GSM::ConnectionState::Connected);
  Settle();
  EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerHsdpaPolling));
  Device().SetConnectionState(GSM::ConnectionState::Disconnected);
}

}  // namespace
