#include "carddetect/nw_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "carddetect/notification_line.h"
#include "carddetect/notification_window.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/wait.h"
#include "tests/carddetect/nw_library_fixture.h"

namespace {

using testing_support::Notification;

class NwApiTest : public testing_support::NwLibraryFixture {};

TEST_F(NwApiTest, CallsBeforeInitializationAreNotReady) {
  NwCardInfo info{};
  info.Size = sizeof info;
  EXPECT_EQ(NwGetCardInfo(&info), 21u);
  EXPECT_EQ(NwRegisterListener(window_, kCardMessage), 21u);
  EXPECT_EQ(NwUnregisterListener(), 21u);
  EXPECT_FALSE(NwIsFirstInsertionsFakeRemoval());
  EXPECT_EQ(NwShutdown(), 0u);
  EXPECT_TRUE(notes_.empty());
}

TEST_F(NwApiTest, RecordSizesDecideWhatIsCopied) {
  AddModem(PlugCard());
  Initialize(EventCard().Text());
  ASSERT_EQ(State(), CardStateStarted);

  // The oldest form ends after WwanNicName: nothing past it is touched.
  std::vector<uint8_t> buffer(sizeof(NwCardInfo) + 16, 0xAB);
  auto* info = reinterpret_cast<NwCardInfo*>(buffer.data());
  info->Size = kNwCardInfoSize1596;
  ASSERT_EQ(NwGetCardInfo(info), 0u);
  EXPECT_EQ(info->Size, kNwCardInfoSize1596);
  EXPECT_EQ(info->State, CardStateStarted);
  EXPECT_EQ(info->Model, 0x100u);
  EXPECT_EQ(CardInfoText(info->ModemName), u"Card Modem");
  EXPECT_EQ(CardInfoText(info->AppPortName), kModemPort);
  for (size_t i = kNwCardInfoSize1596; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB) << i;

  struct Row {
    uint32_t size;
    uint32_t rc;
  };
  for (const Row& row : std::vector<Row>{{5000, 122}, {0, 122}, {1595, 122}, {5249, 122}, {2636, 0}, {5248, 0}}) {
    std::fill(buffer.begin(), buffer.end(), 0xCD);
    info->Size = row.size;
    EXPECT_EQ(NwGetCardInfo(info), row.rc) << row.size;
    if (row.rc != 0) {
      // Nothing copied: the bytes after Size are as they were.
      EXPECT_EQ(buffer[sizeof(uint32_t)], 0xCD) << row.size;
    }
  }
  EXPECT_EQ(NwGetCardInfo(nullptr), 122u);
}

TEST_F(NwApiTest, NoCardIsError55ButSuspendedIsReadable) {
  Initialize(EventCard().Text());
  NwCardInfo info{};
  info.Size = sizeof info;
  EXPECT_EQ(NwGetCardInfo(&info), 55u);
  NwShutdown();

  // Another program asks for the card (and waits for the mutex: it keeps a
  // handle open, so the request is not taken for a leftover).
  platform::UniqueHandle request(platform::CreateNamedEvent(kSuspensionEventName, true, true));
  platform::UniqueHandle waiting(platform::CreateMutex(kExclusiveMutexName, false));
  ASSERT_TRUE(request && waiting);
  release_on_suspend_ = false;
  Initialize(EventCard().Text());
  ASSERT_EQ(NwGetCardInfo(&info), 0u);
  EXPECT_EQ(info.State, CardStateSuspended);
  EXPECT_EQ(info.Model, 0u);
}

TEST_F(NwApiTest, RegisteringPostsReasonOneAtOnceAndASecondInitializeChangesNothing) {
  Initialize(EventCard().Text());
  // The initial examination found no card and told nobody; the registration
  // itself is announced.
  EXPECT_EQ(notes_, (std::vector<Notification>{{NwEventReasonListenerRegistered, CardStateStopped, 0}}));

  const platform::HWND window = NotificationWindow();
  log_.Clear();
  EXPECT_EQ(NwInitialize(nullptr), 0u);
  Pump();
  EXPECT_EQ(NotificationWindow(), window);
  EXPECT_FALSE(log_.Contains("Nodwarden v"));
  EXPECT_EQ(notes_.size(), 1u);

  // Still the registered listener: a card shows up there.
  const platform::DEVINST card = PlugCard();
  AddModem(card);
  Pump();
  EXPECT_TRUE(HasNote({NwEventReasonCardEvent, CardStateStarted, 0x100}));

  ASSERT_EQ(NwUnregisterListener(), 0u);
  const size_t before = notes_.size();
  tree_.Remove(card);
  Pump();
  EXPECT_EQ(notes_.size(), before);
}

TEST_F(NwApiTest, ShutdownLetsGoOfTheCardForOthers) {
  AddModem(PlugCard());
  Initialize(EventCard().Text());
  ASSERT_TRUE(log_.Contains("Nw: Exclusive mutex has been grabbed"));
  platform::UniqueHandle other(platform::CreateMutex(kExclusiveMutexName, false));
  EXPECT_EQ(platform::WaitForSingleObject(other.get(), 0), platform::kWaitTimeout);
  NwShutdown();
  EXPECT_EQ(platform::WaitForSingleObject(other.get(), 0), platform::kWaitObject0);
  platform::ReleaseMutex(other.get());
  EXPECT_TRUE(log_.Contains("Nw: Listener thread stopping"));
  EXPECT_TRUE(log_.Contains("Nw: Notification window released"));
}

TEST(NotificationLineTest, ShowsTheRecordsMainFields) {
  NwCardInfo info{};
  info.State = CardStateStarted;
  info.Model = 0x1000;
  info.DriverCapabilities = 0x487;
  SetCardInfoText(info.AppPortName, u"\\\\.\\ttyUSB2");
  SetCardInfoText(info.ModemName, u"Card Modem");
  EXPECT_EQ(FormatNotificationLine(NwEventReasonCardEvent, 0, info),
            "reason=CardEvent state=Started model=0x1000 app=\\\\.\\ttyUSB2 modem=Card Modem nic=- flags=0x487");
  EXPECT_EQ(FormatNotificationLine(NwEventReasonWakeUp, 55, info), "reason=WakeUp state=Stopped (no card)");
  EXPECT_EQ(FormatNotificationLine(9, 21, info), "reason=Unknown (card information not readable: error 21)");
  info = NwCardInfo{};
  info.State = CardStateSuspended;
  EXPECT_EQ(FormatNotificationLine(NwEventReasonCardEvent, 0, info), "reason=CardEvent state=Suspended model=0x0");
}

}  // namespace
