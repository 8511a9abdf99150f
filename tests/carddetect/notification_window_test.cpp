#include "carddetect/notification_window.h"

#include <gtest/gtest.h>

#include <vector>

#include "carddetect/nw_api.h"
#include "platform/device_notification.h"
#include "tests/carddetect/nw_library_fixture.h"

namespace {

using platform::DeviceBroadcast;
using testing_support::CardSection;
using testing_support::Notification;

class NotificationWindowTest : public testing_support::NwLibraryFixture {
 protected:
  void Advance(uint64_t ms) {
    clock_.Advance(ms);
    Pump();
  }
  void Power(uint32_t event) {
    platform::BroadcastPowerEvent(event);
    Pump();
  }
  // Notes since `from`.
  std::vector<Notification> NotesFrom(size_t from) const {
    return {notes_.begin() + static_cast<std::ptrdiff_t>(from), notes_.end()};
  }

  // A card whose driver re-creates it after standby: modem and WWAN adapter.
  static CardSection ReplugCard() {
    return EventCard().Family(7).DriverCap("0x82").With("WwanNicName=Card NIC");
  }
};

TEST(DetectionEventTest, ArrivalsAreClassifiedAndNamed) {
  struct Row {
    uint32_t type;
    std::string interface_class;
    DetectionEvent event;
    std::string name;
  };
  const std::vector<Row> rows = {
      {platform::DBT_DEVTYP_DEVICEINTERFACE, std::string(platform::kInterfaceComPort), DetEvComPortDevIfArrived,
       "DetEvComPortDevIfArrived"},
      {platform::DBT_DEVTYP_DEVICEINTERFACE, "{2c7089aa-2e0e-11d1-b114-00c04fc2aae4}", DetEvModemDevIfArrived,
       "DetEvModemDevIfArrived"},
      {platform::DBT_DEVTYP_DEVICEINTERFACE, std::string(platform::kInterfaceUsbDevice), DetEvUsbIfArrived,
       "DetEvUsbIfArrived"},
      {platform::DBT_DEVTYP_DEVICEINTERFACE, std::string(platform::kInterfaceSerialEnumerator),
       DetEvSerEnumBusEnumIfArrived, "DetEvSerEnumBusEnumIfArrived"},
      {platform::DBT_DEVTYP_DEVICEINTERFACE, std::string(platform::kInterfaceNetwork), DetEvNetworkDevIfArrived,
       "DetEvNetworkDevIfArrived"},
      {platform::DBT_DEVTYP_DEVICEINTERFACE, std::string(platform::kInterfaceSmartCardReader), DetEvScReaderIfArrived,
       "DetEvScReaderIfArrived"},
      {platform::DBT_DEVTYP_DEVICEINTERFACE, "{00000000-0000-0000-0000-000000000000}", DetEvUnknown, "DetEvUnknown"},
      {platform::DBT_DEVTYP_DEVNODE, "", DetEvDeviceNodeArrived, "DetEvDeviceNodeArrived"},
      {platform::DBT_DEVTYP_PORT, "", DetEvPortArrived, "DetEvPortArrived"},
      {platform::DBT_DEVTYP_HANDLE, "", DetEvUnknown, "DetEvUnknown"},
  };
  for (const Row& row : rows) {
    DeviceBroadcast broadcast;
    broadcast.event = platform::DBT_DEVICEARRIVAL;
    broadcast.device_type = row.type;
    broadcast.interface_class = row.interface_class;
    EXPECT_EQ(ClassifyArrival(broadcast), row.event) << row.interface_class;
    EXPECT_EQ(DetectionEventName(row.event), row.name);
  }
  EXPECT_EQ(DetectionEventName(DetEvDeviceNodeChanged), "DetEvDeviceNodeChanged");
  EXPECT_EQ(DetectionEventName(0x3), "Unknown!");
}

TEST_F(NotificationWindowTest, EventBasedModemCompletesOnItsArrivalWithoutPolling) {
  Initialize(EventCard().Text());
  const platform::DEVINST card = PlugCard();
  Pump();
  EXPECT_EQ(State(), CardStateStarting);
  EXPECT_TRUE(log_.Contains("Nw: Detection timeout timer started with 300000 msec timeout"));
  EXPECT_FALSE(log_.Contains("Nw: Polling timer started"));

  AddModem(card);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: DetectionEvent is DetEvModemDevIfArrived"));
  EXPECT_EQ(StateChanges(), (std::vector<std::string>{"Starting", "Started"}));
  EXPECT_EQ(notes_, (std::vector<Notification>{{NwEventReasonListenerRegistered, CardStateStopped, 0},
                                               {NwEventReasonCardEvent, CardStateStarting, 0x100},
                                               {NwEventReasonCardEvent, CardStateStarted, 0x100}}));
  EXPECT_TRUE(log_.Contains("Nw: Detection timeout timer stopped"));
}

TEST_F(NotificationWindowTest, PolledModemIsFoundByThePollingTimer) {
  Initialize(CardSection{}.With("XpModemName=Card Modem").With("XpModemDetect=0x1").Text());
  const platform::DEVINST card = PlugCard();
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: Polling timer started with 1 sec frequency"));
  AddModem(card);
  Pump();
  EXPECT_EQ(State(), CardStateStarting);  // not on events
  Advance(1000);
  EXPECT_TRUE(log_.Contains("Nw: polling timer event"));
  EXPECT_EQ(State(), CardStateStarted);
  EXPECT_TRUE(log_.Contains("Nw: Polling timer stopped"));
}

TEST_F(NotificationWindowTest, PolledDiagnosticsPortOfAnEventDrivenCardIsPolledFor) {
  Initialize(EventCard().With("XpDbgPortName=Card Diag").With("XpDbgPortDetect=0x1").Text());
  const platform::DEVINST card = PlugCard();
  AddModem(card);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: Polling timer started with 1 sec frequency"));
  tree_.Add(card, testing_support::SerialNode(platform::kDeviceClassPorts, "Card Diag", u"ttyDIAG"));
  Pump();
  EXPECT_EQ(State(), CardStateStarting);
  Advance(kPollingPeriodMs);
  EXPECT_EQ(CardInfoText(Record().DbgPortName), u"\\\\.\\ttyDIAG");
  EXPECT_EQ(State(), CardStateStarted);
}

TEST_F(NotificationWindowTest, IncompleteCardStopsAfterTheDetectionTimeout) {
  Initialize(EventCard().Text());
  PlugCard();
  Pump();
  ASSERT_EQ(State(), CardStateStarting);
  Advance(kDetectionTimeoutMs - 1);
  EXPECT_EQ(State(), CardStateStarting);
  Advance(1);
  EXPECT_TRUE(log_.Contains("Nw: Detection timed out, cancelling..."));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonCardEvent, CardStateStopped, 0}));
  EXPECT_EQ(NwGetCardInfo(nullptr), 122u);
}

TEST_F(NotificationWindowTest, RemovalStopsAStartedCardOnTheFirstBroadcastAfterward) {
  const platform::DEVINST card = PlugCard();
  AddModem(card);
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateStarted);
  const size_t before = notes_.size();

  // The node goes inactive without a broadcast of its own: nothing yet.
  tree_.SetChangeListener({});
  tree_.SetStatus(card, platform::DN_DRIVER_LOADED | platform::DN_STARTED | platform::DN_WILL_BE_REMOVED);
  Pump();
  EXPECT_EQ(notes_.size(), before);
  platform::BroadcastDeviceChange({platform::DBT_DEVNODES_CHANGED, 0, "", "", 0});
  Pump();
  EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonCardEvent, CardStateStopped, 0}}));
}

TEST_F(NotificationWindowTest, PulledCardStopsOnce) {
  const platform::DEVINST card = PlugCard();
  AddModem(card);
  Initialize(EventCard().Text());
  const size_t before = notes_.size();
  tree_.Remove(card);
  Pump();
  EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonCardEvent, CardStateStopped, 0}}));
}

TEST_F(NotificationWindowTest, ResumeWithoutACardReportsWakeUpStopped) {
  Initialize(EventCard().Text());
  Power(platform::PBT_APMSUSPEND);
  Power(platform::PBT_APMRESUMESUSPEND);
  EXPECT_EQ(NotesFrom(1), (std::vector<Notification>{{NwEventReasonStandby, CardStateStopped, 0},
                                                     {NwEventReasonWakeUp, CardStateStopped, 0}}));
}

TEST_F(NotificationWindowTest, ArrivalsWaitForTheResumeButRemovalsDoNot) {
  const platform::DEVINST card = PlugCard();
  AddNic(card);
  AddModem(card);
  Initialize(ReplugCard().Text() + EventCard().Named("Other").Model("0x200").Ids("USB\\VID_2222&PID_0002").Text());
  ASSERT_EQ(State(), CardStateStarted);
  Power(platform::PBT_APMSUSPEND);
  EXPECT_TRUE(log_.Contains("Nw: Current card will be replugged, storing its WWAN NIC device node"));

  // The card goes away while the machine sleeps, and another one comes.
  tree_.Remove(card);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: Current repluggable card has been removed"));
  const size_t before = notes_.size();
  AddModem(PlugCard("USB\\VID_2222&PID_0002"));
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: ... device arrival event is ignored before complete system wake up"));
  EXPECT_EQ(notes_.size(), before);

  log_.Clear();
  Power(platform::PBT_APMRESUMESUSPEND);
  EXPECT_EQ(StateChanges(), (std::vector<std::string>{"Starting", "Started"}));
  EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonWakeUp, CardStateStarted, 0x200},
                                                          {NwEventReasonWakeUp, CardStateStarted, 0x200}}));
  EXPECT_FALSE(log_.Contains("Nw: Replug timeout timer started"));
}

TEST_F(NotificationWindowTest, WakeUpTimesOutAfterTenOrSixtySeconds) {
  struct Row {
    CardSection card;
    uint32_t timeout_ms;
  };
  const std::vector<Row> rows = {
      {EventCard(), kWakeupTimeoutMs},
      {EventCard().Family(1).DriverCap("0x81").With("XpAppPortName=Card AT").With("XpAppPortDetect=0x2,0x41"),
       kSlowWakeupTimeoutMs},
  };
  PlugCard();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.timeout_ms);
    Initialize(row.card.Text());
    Power(platform::PBT_APMSUSPEND);
    const size_t before = notes_.size();
    Power(platform::PBT_APMRESUMESUSPEND);
    EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonWakeUp, CardStateStarting, 0x100}}));
    EXPECT_TRUE(log_.Contains("Nw: Wakeup timeout timer started with " + std::to_string(row.timeout_ms) +
                              " msec timeout"));
    Advance(row.timeout_ms - 1);
    EXPECT_TRUE(log_.Contains("Nw: Wakeup polling timer event"));
    EXPECT_EQ(State(), CardStateStarting);
    Advance(1);
    EXPECT_TRUE(log_.Contains("Nw: Wakeup check timed out, cancelling..."));
    EXPECT_EQ(notes_.back(), (Notification{NwEventReasonWakeUp, CardStateStopped, 0}));
    NwShutdown();
    notes_.clear();
    log_.Clear();
  }
}

TEST_F(NotificationWindowTest, ReplugCardIsWaitedForAfterResume) {
  const platform::DEVINST card = PlugCard();
  AddNic(card);
  AddModem(card);
  Initialize(ReplugCard().Text());
  Power(platform::PBT_APMSUSPEND);

  // The old instance is still there at resume: ignored, and the replug is
  // waited for.
  size_t before = notes_.size();
  Power(platform::PBT_APMRESUMESUSPEND);
  EXPECT_TRUE(log_.Contains("is detected but it is ignored since it will be replugged"));
  EXPECT_TRUE(log_.Contains("Nw: Replug timeout timer started with 35000 msec timeout"));
  EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonWakeUp, CardStateStopped, 0}}));

  // The driver removes it and creates it anew: the new one is the card.
  before = notes_.size();
  tree_.Remove(card);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: Replug timeout timer stopped"));
  const platform::DEVINST again = PlugCard();
  Pump();
  AddNic(again);
  AddModem(again);
  Pump();
  EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonCardEvent, CardStateStarting, 0x100},
                                                          {NwEventReasonCardEvent, CardStateStarted, 0x100}}));
  Advance(kReplugTimeoutMs);
  EXPECT_FALSE(log_.Contains("Nw: Replug timeout timer event"));
}

TEST_F(NotificationWindowTest, ReplugCardThatStaysIsTakenAfterThirtyFiveSeconds) {
  const platform::DEVINST card = PlugCard();
  AddNic(card);
  AddModem(card);
  Initialize(ReplugCard().Text());
  Power(platform::PBT_APMSUSPEND);
  Power(platform::PBT_APMRESUMESUSPEND);
  const size_t before = notes_.size();
  Advance(kReplugTimeoutMs - 1);
  EXPECT_EQ(notes_.size(), before);
  log_.Clear();
  Advance(1);
  EXPECT_TRUE(log_.Contains("Nw: Repluggable card was not replugged within a reasonable time after standby, "
                            "assuming non-powered down USB, checking system..."));
  EXPECT_EQ(StateChanges(), (std::vector<std::string>{"Starting", "Started"}));
  EXPECT_EQ(NotesFrom(before), (std::vector<Notification>{{NwEventReasonCardEvent, CardStateStarted, 0x100},
                                                          {NwEventReasonCardEvent, CardStateStarted, 0x100}}));
}

TEST_F(NotificationWindowTest, AppPortRemovalNoticeStopsTheCard) {
  const platform::DEVINST card = PlugCard();
  tree_.Add(card, testing_support::SerialNode(platform::kDeviceClassModem, "Card Modem", u"COM7"));
  tree_.AddDeviceName(u"\\\\.\\COM7", pty_.SlavePath());
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateStarted);
  // Another port going away changes nothing; the application port does.
  platform::PostMessage(NotificationWindow(), kMsgPortChange, 8, 0);
  Pump();
  EXPECT_EQ(State(), CardStateStarted);
  platform::PostMessage(NotificationWindow(), kMsgPortChange, 7, 0);
  Pump();
  EXPECT_TRUE(log_.Contains("Nw: CeDeviceChanged event: COM7 has disappeared"));
  EXPECT_TRUE(log_.Contains("Nw: Application port has been removed"));
  EXPECT_EQ(notes_.back(), (Notification{NwEventReasonCardEvent, CardStateStopped, 0}));
}

}  // namespace
