// The worker thread over the simulated card, as the main window sees it:
// the notifications it gets, in order, and the cache it reads on each.
#include "app/worker_thread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/profile.h"
#include "app/settings.h"
#include "app/status_texts.h"
#include "devicelib/sms_message.h"
#include "platform/serial_port.h"
#include "platform/text.h"
#include "sim/sms_pdu_encoder.h"
#include "tests/app/worker_fixture.h"

namespace {

using namespace app_messages;
using sim::CardKind;
using testing_support::IncomingSms;
using testing_support::WorkerFixture;

std::u16string U(const std::string& text) { return platform::Utf8ToUtf16(text); }

class WorkerThreadTest : public WorkerFixture {
 protected:
  sim::SimCardBuilder LockedCard() {
    return sim::NewSimCard(CardKind::kMultiplexing3g)
        .WithPin("4711")
        .Registered(1)
        .Operator("Vombel Netz", "Vombel", "26203")
        .Imsi("262031234567890")
        .SmsStorage(5);
  }

  // Every notification but the last WM_APP_STATE_CHANGED has one after it.
  void ExpectEveryNotificationFollowedByStateChanged() const {
    size_t last_state = notifications_.size();
    for (size_t i = notifications_.size(); i-- > 0;) {
      if (notifications_[i].message == WM_APP_STATE_CHANGED) {
        last_state = i;
        continue;
      }
      EXPECT_LT(last_state, notifications_.size()) << "notification " << notifications_[i].message - WM_APP
                                                   << " at " << i << " has no state change after it";
    }
  }

  bool SmsNewsSince(uintptr_t code, size_t from) const {
    for (size_t i = from; i < notifications_.size(); ++i) {
      if (notifications_[i].message == WM_APP_SMS && notifications_[i].wparam == code) return true;
    }
    return false;
  }

  bool LogMentions(const std::string& text) const {
    for (const std::string& line : log_.Lines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(WorkerThreadTest, ACardsLifeFromPlugThroughPinConnectionAndMessagesToPull) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(LockedCard());

  // Found, initialised, and the SIM wants its PIN.
  ASSERT_TRUE(RunUntilNotified(WM_APP_PIN_REQUIRED));
  CachedDravikValues v = Last(WM_APP_PIN_REQUIRED)->values;
  EXPECT_EQ(v.DeviceState, CachedDravikValues::kDeviceReady);
  EXPECT_EQ(v.PinPukState, CachedDravikValues::kPinRequired);
  EXPECT_EQ(v.PinRetryCounter, 3);
  ASSERT_NE(v.CardRecord, nullptr);
  EXPECT_NE(v.CurrentProfile, nullptr);
  // Coming up asks nothing of the card it does not have.
  EXPECT_FALSE(Received(WM_APP_ERROR));

  // A wrong PIN costs a trial and asks again.
  ASSERT_TRUE(worker_->Post(WM_APP_ENTER_PIN, 0, reinterpret_cast<intptr_t>(new PinText(u"1111"))));
  ASSERT_TRUE(RunUntil([&] { return Cache().PinRetryCounter == 2; }));
  ASSERT_TRUE(RunUntil([&] { return Received(WM_APP_ERROR); }));

  const size_t before_pin = notifications_.size();
  ASSERT_TRUE(worker_->Post(WM_APP_ENTER_PIN, 0, reinterpret_cast<intptr_t>(new PinText(u"4711"))));
  ASSERT_TRUE(RunUntil([&] { return Received(WM_APP_PIN_READY, before_pin); }));
  EXPECT_EQ(Cache().PinPukState, CachedDravikValues::kPinPukReady);
  EXPECT_EQ(Cache().PinRetryCounter, 3);
  // The window gets the profile to choose the operator's from.
  ASSERT_TRUE(RunUntil([&] { return Received(WM_APP_PROFILE, before_pin); }));
  EXPECT_FALSE(LogMentions("4711"));
  EXPECT_FALSE(LogMentions("1111"));

  // Registered at home with the operator's name; the technology shown.
  ASSERT_TRUE(RunUntil([&] {
    const CachedDravikValues c = Cache();
    return c.CsNetworkState == 1 && c.PsNetworkState == 1 && !c.NetworkName.empty();
  }));
  EXPECT_EQ(Cache().NetworkName, u"Vombel Netz");
  // The SIM's own start-up after the PIN ends in its ready report.
  ASSERT_TRUE(RunUntil([&] { return Cache().SimInserted == 1; }));

  // The signal as the card reports it.
  Card().SetSignal(14, 0);
  ASSERT_TRUE(RunUntil([&] { return Cache().SignalValue == 14; }));

  // Connect with the current profile; the connection state comes back.
  const size_t before_connect = notifications_.size();
  ASSERT_TRUE(worker_->Post(WM_APP_CONNECT, 0, 1));
  ASSERT_TRUE(RunUntil([&] { return Cache().ConnectionState == 2 && Received(WM_APP_CONNECTION_STATE, before_connect); }));

  // A message arrives and lands in the store with its SIM index.
  ASSERT_TRUE(Card().DeliverSms(IncomingSms("+491701111111", "Hallo Welt")).has_value());
  // The cache is written before the window is told: wait for the telling.
  ASSERT_TRUE(RunUntil([&] { return SmsNewsSince(SmsNewsOneRead, 0); }));
  ASSERT_EQ(Cache().SmsStore->Count(), 1u);
  {
    const CachedDravikValues c = Cache();
    const SmsMessage* message = c.SmsStore->FindByIndex(0);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::u16string(message->Text), u"Hallo Welt");
    EXPECT_EQ(std::u16string(message->Address), u"+491701111111");
    EXPECT_EQ(c.SmsStore->Total(), 5);
    EXPECT_EQ(c.SmsStore->Used(), 1);
  }

  // Delete it again (the window posts its copy of the message): the store
  // and the card both lose it.
  const SmsMessage doomed = *Cache().SmsStore->FindByIndex(0);
  const size_t before_delete = notifications_.size();
  ASSERT_TRUE(worker_->Post(WM_APP_SMS_OPERATION, SmsOperationDelete,
                            reinterpret_cast<intptr_t>(new SmsMessage(doomed))));
  ASSERT_TRUE(RunUntil([&] { return SmsNewsSince(SmsNewsDeleted, before_delete); }));
  EXPECT_EQ(Cache().SmsStore->Count(), 0u);

  ASSERT_TRUE(worker_->Post(WM_APP_CONNECT, 0, 0));
  ASSERT_TRUE(RunUntil([&] { return Cache().ConnectionState == 0; }));

  // Pulled: the window is told, and the cache holds nothing of the card but
  // keeps a profile to connect with.
  Presence().Pull();
  ASSERT_TRUE(RunUntilNotified(WM_APP_DEVICE_REMOVED));
  ASSERT_TRUE(RunUntil([&] { return Idle() && platform::PumpMessages() == 0; }, 1000));
  v = Cache();
  EXPECT_EQ(v.DeviceState, CachedDravikValues::kDeviceNotPresent);
  EXPECT_TRUE(v.NetworkName.empty());
  EXPECT_EQ(v.CardRecord, nullptr);
  EXPECT_EQ(v.SmsStore->Count(), 0u);
  EXPECT_NE(v.CurrentProfile, nullptr);

  ExpectEveryNotificationFollowedByStateChanged();
}

TEST_F(WorkerThreadTest, APukLockedCardAsksForThePukAndTakesANewPin) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(LockedCard().WithPuk("97531864").PukLocked());
  ASSERT_TRUE(RunUntilNotified(WM_APP_PUK_REQUIRED));
  EXPECT_EQ(Last(WM_APP_PUK_REQUIRED)->values.PinPukState, CachedDravikValues::kPukRequired);

  ASSERT_TRUE(worker_->Post(WM_APP_ENTER_PUK, reinterpret_cast<uintptr_t>(new PinText(u"97531864")),
                            reinterpret_cast<intptr_t>(new PinText(u"2468"))));
  ASSERT_TRUE(RunUntilNotified(WM_APP_PIN_READY));
  EXPECT_EQ(Cache().PinPukState, CachedDravikValues::kPinPukReady);
  EXPECT_FALSE(LogMentions("97531864"));
  EXPECT_FALSE(LogMentions("2468"));
}

TEST_F(WorkerThreadTest, RequestsStillQueuedAtStopAreDroppedWithTheirRecords) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  // No card: every request runs against a missing device, and those still
  // queued when the loop ends are freed unrun (the sanitizer build sees a
  // record that leaks).
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(worker_->Post(WM_APP_SAVE_PROFILE, 0, reinterpret_cast<intptr_t>(new CProfile())));
    ASSERT_TRUE(worker_->Post(WM_APP_ENTER_PUK, reinterpret_cast<uintptr_t>(new PinText(u"1")),
                              reinterpret_cast<intptr_t>(new PinText(u"2"))));
  }
  worker_->Stop();
  EXPECT_FALSE(worker_->Post(WM_APP_SAVE_PROFILE, 0, reinterpret_cast<intptr_t>(new CProfile())));
  EXPECT_FALSE(worker_->Post(WM_APP_SMS_OPERATION, SmsOperationSave, reinterpret_cast<intptr_t>(new SmsMessage())));
  // A notification posted after the window went frees its record too.
  platform::PumpMessages();
}

TEST_F(WorkerThreadTest, ACommandThatFailsKeepsWhatTheWindowAlreadyKnows) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  // The service centre cannot be read when the SIM's messages are listed.
  Plug(sim::NewSimCard(CardKind::kMultiplexing3g)
           .Registered(1)
           .Operator("Vombel Netz", "Vombel", "26203")
           .SmsStorage(5)
           .WithStoredSms(IncomingSms("+491702222222", "stored before"))
           .WithFault("+CSCA", sim::Fault{sim::FaultKind::kError, 0, true}));
  ASSERT_TRUE(RunUntil([&] {
    return Cache().SmsStore->Count() == 1 && Cache().NetworkName == u"Vombel Netz" && Received(WM_APP_ERROR);
  }));
  EXPECT_EQ(std::u16string(Cache().SmsStore->FindByIndex(0)->Text), u"stored before");

  // Packet data goes while the circuit-switched registration stays: the
  // operator's name stays too.
  Card().Update([](sim::CardState& s) { s.attached = false; });
  ASSERT_TRUE(RunUntil([&] { return Cache().PsNetworkState == 0; }));
  ASSERT_TRUE(RunUntil([&] { return Idle() && platform::PumpMessages() == 0; }, 1000));
  EXPECT_EQ(Cache().CsNetworkState, 1);
  EXPECT_EQ(Cache().NetworkName, u"Vombel Netz");
}

TEST_F(WorkerThreadTest, AConnectThatFailsAtOnceStillReportsTheConnectionState) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  // No card: the library refuses before any state changes, so no event
  // would tell the window; the worker reads the state back itself.
  ASSERT_TRUE(worker_->Post(WM_APP_CONNECT, 0, 1));
  ASSERT_TRUE(RunUntilNotified(WM_APP_CONNECTION_STATE));
  EXPECT_EQ(Last(WM_APP_CONNECTION_STATE)->values.ConnectionState, 0);
  ASSERT_TRUE(RunUntil([&] { return Received(WM_APP_ERROR); }));
}

TEST_F(WorkerThreadTest, AMuteCardEndsTheDiagnosticsRunInTimeAndOneRunAtATime) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(sim::NewSimCard(CardKind::kMultiplexing3g).Registered(1).OwnNumbers({"+491705550001"}));
  ASSERT_TRUE(RunUntil([&] { return Cache().CsNetworkState == 1 && Cache().PinPukState == 1; }));
  ASSERT_TRUE(RunUntil([&] { return Idle() && platform::PumpMessages() == 0; }, 1000));

  // The card stops answering: the run's commands wait for their budgets, and
  // the clock stands still until this test moves it, so the run is in
  // progress when the second request comes.
  Card().SetMute(true);
  ASSERT_TRUE(worker_->Post(WM_APP_RUN_DIAGNOSTICS, 0, 0));
  EXPECT_TRUE(CWorkerThread::DiagnosticsInProgress());
  EXPECT_FALSE(worker_->Post(WM_APP_RUN_DIAGNOSTICS, 0, 0));
  const size_t before = notifications_.size();
  ASSERT_TRUE(DriveUntil([&] { return !CWorkerThread::DiagnosticsInProgress(); }));
  ASSERT_TRUE(RunUntil([&] {
    for (size_t i = before; i < notifications_.size(); ++i) {
      if (notifications_[i].message == WM_APP_DIAGNOSTICS && notifications_[i].wparam == kDiagnosticsEnded) return true;
    }
    return false;
  }));

  // Answering again, the next run fills the record.
  Card().SetMute(false);
  ASSERT_TRUE(RunUntil([&] { return Idle() && platform::PumpMessages() == 0; }, 1000));
  ASSERT_TRUE(worker_->Post(WM_APP_RUN_DIAGNOSTICS, 0, 0));
  ASSERT_TRUE(RunUntil([&] { return !CWorkerThread::DiagnosticsInProgress(); }));
  const CDiagnostics d = Cache().Diagnostics;
  EXPECT_EQ(d.DeviceName, U(std::string(Card().Class().model_name)));
  EXPECT_EQ(d.FirmwareVersion, U(std::string(Card().Class().firmware)));
  EXPECT_EQ(d.PhoneNumbers, u"+491705550001");
  EXPECT_FALSE(d.Imei.empty());
  EXPECT_FALSE(d.Iccid.empty());
}

// A card whose ports ModemManager holds and will not hand over: the state
// text is the library's sentence in place of "Device not found" until the
// ports are free, and then the card is taken up.
TEST_F(WorkerThreadTest, AHeldCardIsToldByTheStateTextUntilItsPortIsFree) {
  StartWorker();
  modem_manager_.Return(platform::SimModemManager::Behaviour::kRefusing);
  Plug(sim::NewSimCard(CardKind::kStandard).Registered(1));
  ASSERT_NE(presence_, nullptr);
  // Held in this process, which the /proc scan takes for nobody's: the
  // sentence names ModemManager, which says it has the modem.
  platform::SerialPort held[2];
  const std::string ports[] = {Card().ModemPortPath(), Card().AtPortPath()};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(held[i].Open(ports[i])) << ports[i];
    modem_manager_.AddModem("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4", ports[i]);
  }
  auto state_text = [](const CachedDravikValues& values) {
    return platform::Utf16ToUtf8(
        MakeStateText(StatusInputs::From(values, CSettings::Instance(), SmsIconState::kHidden, 0)).text);
  };
  auto state_changed_with = [&](auto predicate) {
    return RunUntil([&] {
      const testing_support::Notification* last = Last(WM_APP_STATE_CHANGED);
      return last != nullptr && predicate(last->values);
    });
  };
  ASSERT_TRUE(state_changed_with([](const CachedDravikValues& v) { return !v.CardHeldText.empty(); }));
  const CachedDravikValues held_values = Last(WM_APP_STATE_CHANGED)->values;
  EXPECT_EQ(held_values.DeviceState, CachedDravikValues::kDeviceNotPresent);
  const std::string sentence = platform::Utf16ToUtf8(held_values.CardHeldText);
  EXPECT_NE(sentence.find("ModemManager"), std::string::npos) << sentence;
  EXPECT_EQ(state_text(held_values), sentence);

  for (platform::SerialPort& port : held) port.Close();
  ASSERT_TRUE(state_changed_with([](const CachedDravikValues& v) {
    return v.CardHeldText.empty() && v.DeviceState == CachedDravikValues::kDeviceReady;
  }));
  EXPECT_NE(state_text(Last(WM_APP_STATE_CHANGED)->values), sentence);
}

}  // namespace
