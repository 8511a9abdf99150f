// What a client sees while a card lives: the network's changes arriving as
// events with the card's values, a card misbehaving on the line, standby,
// and another program borrowing the card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "carddetect/library_globals.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "platform/device_broadcast.h"
#include "platform/device_notification.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/text.h"
#include "platform/wait.h"
#include "tests/devicelib/device_fixture.h"

namespace {

namespace DeviceState = GSM::DeviceState;
using sim::CardKind;
using testing_support::DeviceFixture;

class CardRoadTest : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }

  bool WaitForEvent(uint32_t code) {
    const size_t before = CountEvents(code);
    return PumpUntil([&] { return CountEvents(code) > before; });
  }
};

TEST_F(CardRoadTest, TheNetworksChangesReachTheClientWithTheCardsValues) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g).Registered(1)));
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() == 1 && Device().GetPsState() == 1; }));
  int state = -1;

  Card().SetRegistration(5);
  ASSERT_TRUE(PumpUntil([&] { return DvGetCsNetworkState(&state) == DV_S_OK && state == 5; }));
  EXPECT_GE(CountEvents(EventCsNetworkStateChanged), 1u);
  ASSERT_TRUE(PumpUntil([&] { return DvGetPsNetworkState(&state) == DV_S_OK && state == 5; }));

  ClearEvents();
  Card().SetSignal(12, 3);
  ASSERT_TRUE(WaitForEvent(EventSignalStrengthChanged));
  int value = -1;
  int extended = -1;
  ASSERT_EQ(DvGetSignalStrength(&value, &extended), DV_S_OK);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(extended, 3);

  ClearEvents();
  Card().Update([](sim::CardState& s) { s.antenna = 2; });
  ASSERT_TRUE(WaitForEvent(EventWcdmaSignalStrengthChanged));
  ASSERT_EQ(DvGetWcdmaSignalStrength(&value), DV_S_OK);
  EXPECT_EQ(value, 2);

  ClearEvents();
  Card().Update([](sim::CardState& s) { s.idle_text = "Roaming Partner"; });
  ASSERT_TRUE(WaitForEvent(EventIdleTextChanged));
  EXPECT_EQ(Device().GetIdleText(), u"Roaming Partner");

  // On GSM the 2G cell type tells EDGE.
  ClearEvents();
  Card().Update([](sim::CardState& s) {
    s.network_rat = 0;
    s.cell_2g = 3;
  });
  ASSERT_TRUE(WaitForEvent(EventEdgeNetworkStateChanged));
  ASSERT_EQ(DvGetEdgeNetworkState(&state), DV_S_OK);
  EXPECT_EQ(state, 1);
  Card().Update([](sim::CardState& s) { s.cell_2g = 2; });
  ASSERT_TRUE(PumpUntil([&] { return DvGetEdgeNetworkState(&state) == DV_S_OK && state == 0; }));

  // Out of coverage: nothing registered, no signal.
  ClearEvents();
  Card().SetRegistration(0);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() == 0 && Device().GetPsState() == 0; }));
  ASSERT_EQ(DvGetSignalStrength(&value, &extended), DV_S_OK);
  EXPECT_EQ(value, 0);

  // Pulled: NotFound, and the client is told.
  ClearEvents();
  Presence().Pull();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_EQ(CountEvents(EventDeviceStateChanged), 1u);
  EXPECT_EQ(events_.back().device_state, DeviceState::NotFound);
}

TEST_F(CardRoadTest, ALateAnswerFailsItsCommandAndSpoilsNoOther) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)));
  Card().InjectFault("+CGMM", sim::Fault{sim::FaultKind::kLate, 15000, true});
  clock_.SetSleepAdvances(false);
  std::atomic<bool> gave_up{false};
  std::thread system([&] {
    // The connection's status monitor waits in periods of its own; only
    // the waits that begin at each step are the command's and the card's.
    clock_.AdvanceWhenWaitBegins(10);     // the pause before the command
    clock_.WaitForWaitBegun(15000);       // the card holds its answer back
    clock_.AdvanceWhenWaitBegins(10000);  // the command's budget runs out
    while (!gave_up) std::this_thread::yield();
    clock_.AdvanceWhenWaiting(5000);      // the card answers, late
  });
  char16_t text[kDvNameSize];
  EXPECT_EQ(DvGetDeviceName(text), DV_E_NO_ANSWER);
  gave_up = true;
  system.join();
  clock_.SetSleepAdvances(true);
  // The late answer comes (its line and its OK), and nobody reads it.
  ASSERT_TRUE(testing_support::Eventually([&] { return Device().QueuedAnswers() == 2; }));
  ASSERT_EQ(DvGetFirmwareInfo(text), DV_S_OK);
  EXPECT_EQ(std::u16string(text), platform::Utf8ToUtf16(std::string(Card().Class().firmware)));
  ASSERT_EQ(DvGetDeviceName(text), DV_S_OK);
  EXPECT_EQ(std::u16string(text), platform::Utf8ToUtf16(std::string(Card().Class().model_name)));
}

TEST_F(CardRoadTest, GarbageAndOverlongLinesEndInADefinedStateAndTheNextCommandWorks) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)));
  char16_t text[kDvNameSize];

  Card().InjectFault("+CGMM", sim::Fault{sim::FaultKind::kOverlong, 0, true});
  const DvResult overlong = DvGetDeviceName(text);
  // The over-long line is cut and dropped; the answer after it still counts.
  EXPECT_TRUE(overlong == DV_S_OK || overlong == DV_E_UNEXPECTED_ANSWER) << std::hex << overlong;
  ASSERT_EQ(DvGetFirmwareInfo(text), DV_S_OK);

  Card().InjectFault("+CGMM", sim::Fault{sim::FaultKind::kGarbage, 0, true});
  // The noise comes and is read as the answer; then no final result comes,
  // and every wait left is meant to run out.
  std::atomic<bool> done{false};
  const uint64_t received = Device().AnswersReceived();
  std::thread system([&] {
    ASSERT_TRUE(testing_support::Eventually(
        [&] { return Device().AnswersReceived() > received && Device().QueuedAnswers() == 0; }));
    while (!done) {
      if (clock_.TimedWaiters() > 0) clock_.AdvanceToNextDeadline();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const DvResult garbage = DvGetDeviceName(text);
  done = true;
  system.join();
  EXPECT_EQ(garbage, DV_E_NO_ANSWER) << std::hex << garbage;
  ASSERT_EQ(DvGetFirmwareInfo(text), DV_S_OK);
  EXPECT_EQ(std::u16string(text), platform::Utf8ToUtf16(std::string(Card().Class().firmware)));
}

TEST_F(CardRoadTest, ACardPulledDuringStandbyIsNotTakenUpAgain) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)));
  platform::SendPowerEvent(platform::PBT_APMSUSPEND, 4000);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  Presence().Standby();
  Presence().Pull();
  platform::BroadcastPowerEvent(platform::PBT_APMRESUMESUSPEND);
  // The wake-up is watched for a while; then the card counts as gone.
  Pass(60000);
  EXPECT_EQ(Device().GetDeviceState(), DeviceState::NotFound);
  EXPECT_FALSE(Device().IsOpen());
}

// Another program asks for the card the way programs share it: it signals
// the suspension event and waits for the exclusive mutex; when it is done it
// releases the mutex and resets the event.
class OtherProgram {
 public:
  // A test that failed before the card came back leaves the thread waiting.
  ~OtherProgram() {
    if (thread_.joinable()) thread_.detach();
  }
  void Borrow() {
    request_.reset(platform::CreateNamedEvent(kSuspensionEventName, true, false));
    thread_ = std::thread([this] {
      platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, false));
      platform::SetEvent(request_.get());
      const uint32_t got = platform::WaitForSingleObject(mutex.get(), platform::kInfinite);
      owned_.set_value(got == platform::kWaitObject0 || got == platform::kWaitAbandoned0);
      give_back_.get_future().wait();
      platform::ReleaseMutex(mutex.get());
      platform::ResetEvent(request_.get());
    });
  }
  std::future<bool> Owned() { return owned_.get_future(); }
  void GiveBack() {
    give_back_.set_value();
    thread_.join();
  }

 private:
  platform::UniqueHandle request_;
  std::thread thread_;
  std::promise<bool> owned_;
  std::promise<void> give_back_;
};

TEST_F(CardRoadTest, AnotherProgramBorrowsTheCardAndTheLibraryTakesItBack) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(CardKind::kMultiplexing3g)));
  OtherProgram other;
  std::future<bool> owned = other.Owned();
  other.Borrow();
  // The library lets go of the port and hands the card over.
  ASSERT_TRUE(PumpUntil([&] {
    return owned.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_TRUE(owned.get());
  EXPECT_EQ(Device().GetDeviceState(), DeviceState::NotFound);
  EXPECT_FALSE(Device().IsOpen());
  char16_t text[kDvNameSize];
  EXPECT_EQ(DvGetDeviceName(text), DV_E_NO_DEVICE);

  other.GiveBack();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::Found; }));
  ASSERT_EQ(InitializeDevice(), DV_S_OK);
  ASSERT_EQ(DvGetDeviceName(text), DV_S_OK);
}

}  // namespace
