// The library front: initialisation and its undoing, the communicator
// window's messages, the delivery of events and the records they carry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "carddetect/notification_window.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "platform/heap.h"
#include "platform/port_holder_text.h"
#include "platform/serial_port.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/devicelib/device_fixture.h"

namespace {

using GSM::Device;
using testing_support::DeviceFixture;

using LibraryTest = DeviceFixture;

TEST_F(LibraryTest, CallsBeforeInitialisationAndAfterShutdownAreRefused) {
  int state = 0;
  EXPECT_EQ(DvGetConnectionState(&state), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvInitializeDevice(), DV_E_NOT_INITIALIZED);
  ASSERT_NO_FATAL_FAILURE(Initialize());
  EXPECT_EQ(DvGetConnectionState(&state), DV_S_OK);
  EXPECT_EQ(DvGetConnectionState(nullptr), DV_E_INVALID_ARGUMENT);
  Shutdown();
  EXPECT_EQ(DvGetConnectionState(&state), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(GSM::CommunicatorWindow(), nullptr);
}

TEST_F(LibraryTest, ASecondInitialisationMakesNoSecondWindow) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  platform::HWND window = GSM::CommunicatorWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(DvInitialize(nullptr, {}), DV_S_OK);
  EXPECT_EQ(GSM::CommunicatorWindow(), window);
  EXPECT_EQ(log_.Count("Dv: Dravik v1.0.0.1 (Unicode library)"), 1u);
}

TEST_F(LibraryTest, TheListenerRegistrationWithoutACardTellsTheFullPictureOnce) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  const std::vector<uint32_t> expected = {
      EventPsNetworkStateChanged, EventEdgeNetworkStateChanged, EventHsdpaNetworkStateChanged,
      EventSignalStrengthChanged, EventWcdmaSignalStrengthChanged, EventConnectionStateChanged,
      EventVoiceStateChanged,     EventSimStateChanged,         EventIdleTextChanged,
      EventDeviceStateChanged,
  };
  EXPECT_EQ(EventCodes(), expected);
}

TEST_F(LibraryTest, AFailedInitialisationIsUndoneAndCanBeRetried) {
  // Another window class of the same name: the window cannot be made.
  ASSERT_TRUE(platform::RegisterClass(GSM::kCommunicatorWindowClass,
                                      [](platform::HWND, uint32_t, platform::WPARAM, platform::LPARAM) {
                                        return platform::LRESULT{0};
                                      }));
  EXPECT_TRUE(DvFailed(DvInitialize(nullptr, {})));
  EXPECT_FALSE(GSM::LibraryInitialized());
  EXPECT_EQ(GSM::CommunicatorWindow(), nullptr);
  ASSERT_TRUE(platform::UnregisterClass(GSM::kCommunicatorWindowClass));

  ASSERT_NO_FATAL_FAILURE(Initialize());
  EXPECT_TRUE(GSM::LibraryInitialized());
  EXPECT_EQ(CountEvents(EventDeviceStateChanged), 1u);
}

TEST_F(LibraryTest, AnUnknownReasonIsNamedSoAndStillHandled) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  log_.Clear();
  ASSERT_EQ(GSM::PostToCommunicator(GSM::WM_CARD_DETECTION_EVENT, 7), DV_S_OK);
  Settle();
  EXPECT_TRUE(log_.Contains("Dv: Card detection event arrived, reason is <unknown NwEventReason>"));
  // No card: the device's exit path ran.
  EXPECT_TRUE(log_.Contains("Dv: Device::Exit(): Card is not initialized, ignoring exit request.."));
}

TEST_F(LibraryTest, EventRecordsReachTheClientWhichFreesThem) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  ClearEvents();
  auto* record = static_cast<DvUssdMessage*>(platform::LocalAlloc(sizeof(DvUssdMessage)));
  ASSERT_NE(record, nullptr);
  std::memset(record, 0, sizeof *record);
  record->Status = 2;
  ASSERT_EQ(GSM::RaiseEvent(EventUssdMessageArrived, reinterpret_cast<uintptr_t>(record)), DV_S_OK);
  Settle();
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].parameter, reinterpret_cast<uintptr_t>(record));
  // The fixture frees it as a client does.
}

TEST_F(LibraryTest, RecordsNobodyTakesAreFreedByTheLibrary) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  ClearEvents();
  // Queued but not yet delivered when the library shuts down: the library
  // frees it (the leak checker of the sanitizer build sees the difference).
  void* record = platform::LocalAlloc(sizeof(DvUssdMessage));
  ASSERT_EQ(GSM::RaiseEvent(EventUssdMessageArrived, reinterpret_cast<uintptr_t>(record)), DV_S_OK);
  ASSERT_EQ(GSM::RaiseError(1, DV_E_CONNECTION_DROPPED), DV_S_OK);
  Shutdown();
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(errors_.empty());
  // Without a window nothing can be posted: the record goes back at once.
  void* late = platform::LocalAlloc(sizeof(DvUssdMessage));
  EXPECT_EQ(GSM::RaiseEvent(EventUssdMessageArrived, reinterpret_cast<uintptr_t>(late)), DV_E_NOT_INITIALIZED);
}

TEST_F(LibraryTest, ErrorsReachTheErrorHandler) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  ASSERT_EQ(GSM::RaiseError(4, 0x84040005), DV_S_OK);
  Settle();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].type, 4u);
  EXPECT_EQ(errors_[0].primary, 0x84040005u);
  EXPECT_EQ(errors_[0].secondary, 0u);
}

TEST_F(LibraryTest, StartingARunningTimerLeavesOneTimer) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  EXPECT_EQ(GSM::StartLibraryTimer(GSM::TimerSimPolling), DV_S_OK);
  EXPECT_EQ(GSM::StartLibraryTimer(GSM::TimerSimPolling), DV_S_OK);
  EXPECT_EQ(log_.Count("Dv: SIM state polling has started"), 1u);
  EXPECT_EQ(GSM::StopLibraryTimer(GSM::TimerSimPolling), DV_S_OK);
  EXPECT_EQ(GSM::StopLibraryTimer(GSM::TimerSimPolling), DV_S_OK);
  EXPECT_EQ(log_.Count("Dv: SIM state polling has stopped"), 1u);
  EXPECT_FALSE(GSM::LibraryTimerRunning(GSM::TimerSimPolling));
}

TEST_F(LibraryTest, ExtendedErrorsAreNotReEnabledWhileConnecting) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kGprs)));
  Device::Instance().SetConnectionState(GSM::ConnectionState::Connecting);
  const uint64_t answered = Card().LinesAnswered();
  ASSERT_EQ(GSM::PostToCommunicator(GSM::WM_ENABLE_EX_ERRORS), DV_S_OK);
  Settle();
  EXPECT_EQ(Card().LinesAnswered(), answered);
  Device::Instance().SetConnectionState(GSM::ConnectionState::Disconnected);
  ASSERT_EQ(GSM::PostToCommunicator(GSM::WM_ENABLE_EX_ERRORS), DV_S_OK);
  Settle();
  EXPECT_GT(Card().LinesAnswered(), answered);
}

// A standard card whose ports ModemManager holds and will not hand over:
// the client hears the one sentence once, the card is left alone, and once
// the ports are free the client hears an empty sentence and gets the card.
TEST_F(LibraryTest, AHeldCardsSentenceReachesTheClientOnceAndGoesWhenThePortIsFree) {
  ASSERT_NO_FATAL_FAILURE(Initialize());
  modem_manager_.Return(platform::SimModemManager::Behaviour::kRefusing);
  presence_ = sim::NewSimCard(sim::CardKind::kStandard).Registered(1).BuildIn(tree_, &adapters_);
  ASSERT_NE(presence_, nullptr);
  // Held in this process, as by a ModemManager of another user whose
  // process the /proc scan cannot read: ModemManager says it has the modem.
  const std::string ports[] = {Card().ModemPortPath(), Card().AtPortPath()};
  platform::SerialPort held[2];
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(held[i].Open(ports[i])) << ports[i];
    modem_manager_.AddModem("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4", ports[i]);
  }
  auto held_texts = [&] {
    std::vector<std::string> texts;
    for (const testing_support::DeliveredEvent& e : events_) {
      if (e.code == EventCardHeld) texts.push_back(platform::Utf16ToUtf8(reinterpret_cast<DvCardHeld*>(e.parameter)->Text));
    }
    return texts;
  };
  ASSERT_TRUE(PumpUntil([&] { return held_texts().size() == 1; }));
  const std::string sentence = held_texts()[0];
  EXPECT_TRUE(sentence == platform::PortInUseText(ports[0], platform::kModemManagerProgram) ||
              sentence == platform::PortInUseText(ports[1], platform::kModemManagerProgram))
      << sentence;
  EXPECT_EQ(Device().GetDeviceState(), GSM::DeviceState::NotFound);

  // Looked at again while held: not told again.
  Pass(2 * kHeldCardRecheckMs);
  EXPECT_EQ(held_texts().size(), 1u);

  for (platform::SerialPort& port : held) port.Close();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() != GSM::DeviceState::NotFound; }));
  ASSERT_TRUE(PumpUntil([&] { return held_texts().size() == 2; }));
  EXPECT_EQ(held_texts()[1], "");
}

}  // namespace
