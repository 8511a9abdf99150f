// The worker's SMS operations over the simulated card: what a save, a send
// and a delete leave on the SIM and in the store, also when the SIM's
// contents moved under the window's feet, and what the window hears while
// the store is read and when it goes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/sms_messages.h"
#include "devicelib/sms_pdu_decoder.h"
#include "platform/text.h"
#include "sim/sms_pdu_encoder.h"
#include "tests/app/worker_fixture.h"

namespace {

using namespace app_messages;
using testing_support::Notification;
using testing_support::IncomingSms;
using testing_support::WorkerFixture;

SmsMessage Draft(uint32_t index, std::u16string_view recipient, std::u16string_view text) {
  SmsMessage m;
  std::memset(&m, 0, sizeof m);
  m.Stored = 1;
  m.MessageType = kSmsMessageTypeSubmit;
  m.Index = index;
  m.StorageStatus = kSmsStorageStoredUnsent;
  m.Validity = 255;
  SetSmsField(m.Address, recipient);
  SetSmsField(m.Text, text);
  return m;
}

class WorkerSmsTest : public WorkerFixture {
 protected:
  sim::SimCardBuilder Card5() {
    return sim::NewSimCard(sim::CardKind::kMultiplexing3g)
        .Registered(1)
        .Operator("Vombel Netz", "Vombel", "26203")
        .ServiceCentre("+491710760000")
        .SmsStorage(5);
  }

  // The SIM is read and the store is whole.
  bool Ready() {
    return RunUntil([&] {
      const CachedDravikValues c = Cache();
      return c.SimInserted != 0 && !c.SmsStore->Reading() && Received(WM_APP_SMS) && Idle();
    });
  }

  // Runs one operation to its end: the worker idle with nothing left to
  // tell the window.
  void Run(uintptr_t operation, const SmsMessage& record) {
    const size_t before = log_.Count("OnSmsOperation");
    ASSERT_TRUE(worker_->Post(WM_APP_SMS_OPERATION, operation, reinterpret_cast<intptr_t>(new SmsMessage(record))));
    ASSERT_TRUE(RunUntil([&] { return log_.Count("OnSmsOperation") > before && Idle() && platform::PumpMessages() == 0; }));
  }

  size_t NewsAfter(size_t from, uintptr_t code) const {
    for (size_t i = from; i < notifications_.size(); ++i) {
      if (notifications_[i].message == WM_APP_SMS && notifications_[i].wparam == code) return i;
    }
    return notifications_.size();
  }

  // The text of the card's own slot, decoded; "" for an empty slot.
  std::u16string SlotText(size_t slot) {
    const auto stored = Card().Snapshot().sms.at(slot);
    if (!stored) return u"";
    SmsMessage m;
    SMS::DecodeSmsMessage(platform::Utf8ToUtf16(stored->pdu_hex), static_cast<uint32_t>(stored->tpdu_length), false,
                          1, static_cast<uint32_t>(slot), static_cast<uint32_t>(stored->status), m);
    return std::u16string(SmsField(m.Text));
  }
  int SlotStatus(size_t slot) {
    const auto stored = Card().Snapshot().sms.at(slot);
    return stored ? stored->status : -1;
  }
};

TEST_F(WorkerSmsTest, AnEditedDraftIsWrittenFirstAndItsOldSlotGoesOnlyAfterwards) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(Card5());
  ASSERT_TRUE(Ready());

  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationSave, Draft(kSmsNotOnSim, u"+4917011", u"first words")));
  ASSERT_EQ(SlotText(0), u"first words");
  EXPECT_EQ(SlotStatus(0), 2);

  // Saving it unchanged does nothing at all.
  size_t from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationSave, Draft(0, u"+4917011", u"first words")));
  EXPECT_EQ(NewsAfter(from, SmsNewsWritten), notifications_.size());

  // Edited: the new text goes to a free slot, then the old slot is emptied.
  from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationSave, Draft(0, u"+4917011", u"second words")));
  EXPECT_LT(NewsAfter(from, SmsNewsWritten), NewsAfter(from, SmsNewsDeleted));
  EXPECT_EQ(SlotText(0), u"");
  EXPECT_EQ(SlotText(1), u"second words");
  ASSERT_EQ(Cache().SmsStore->Count(), 1u);
  EXPECT_EQ(SmsField(Cache().SmsStore->FindByIndex(1)->Text), u"second words");

  // A write that fails leaves the draft where it was, on the SIM and in the
  // store, and is told.
  Card().InjectFault("+CMGW", sim::Fault{sim::FaultKind::kError, 0, true});
  from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationSave, Draft(1, u"+4917011", u"third words")));
  EXPECT_TRUE(Received(WM_APP_ERROR, from));
  EXPECT_EQ(SlotText(1), u"second words");
  EXPECT_EQ(SmsField(Cache().SmsStore->FindByIndex(1)->Text), u"second words");

  // Sending the unchanged draft sends its slot: no second copy.
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationSend, Draft(1, u"+4917011", u"second words")));
  EXPECT_EQ(SlotStatus(1), 3);
  EXPECT_EQ(Cache().SmsStore->FindByIndex(1)->StorageStatus, kSmsStorageStoredSent);
  EXPECT_EQ(Cache().SmsStore->Count(), 1u);
}

TEST_F(WorkerSmsTest, AMessageThatTookAnotherMessagesSlotIsNeitherReplacedNorDeleted) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(Card5().WithStoredSms(IncomingSms("+491702222222", "keep me"), 0));
  ASSERT_TRUE(Ready());
  const SmsMessage received = *Cache().SmsStore->FindByIndex(0);

  // A draft the window still thinks is in slot 0: saved to a new slot, the
  // received message stays.
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationSave, Draft(0, u"+4917011", u"stale draft")));
  EXPECT_EQ(SlotText(0), u"keep me");
  EXPECT_EQ(SlotText(1), u"stale draft");

  // A delete of a message that is no longer in slot 0: nothing goes.
  SmsMessage other = received;
  SetSmsField(other.Text, u"what was here before");
  const size_t from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationDelete, other));
  EXPECT_EQ(NewsAfter(from, SmsNewsDeleted), notifications_.size());
  EXPECT_EQ(SlotText(0), u"keep me");

  // The window's copy of the message itself deletes it, read mark or not.
  SmsMessage copy = received;
  copy.StorageStatus = kSmsStorageReceivedRead;
  ASSERT_NO_FATAL_FAILURE(Run(SmsOperationDelete, copy));
  EXPECT_EQ(SlotStatus(0), -1);
  EXPECT_EQ(Cache().SmsStore->FindByIndex(0), nullptr);
}

TEST_F(WorkerSmsTest, TheWindowHearsWhileTheStoreIsReadAndWhenItGoesWithTheCard) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  // The listing hangs until its time runs out: the window hears that the
  // store is being read, and that it is no longer, also after a failure.
  Plug(Card5()
           .WithStoredSms(IncomingSms("+491702222222", "one"))
           .WithFault("+CMGL", sim::Fault{sim::FaultKind::kSilent, 0, true}));
  ASSERT_TRUE(RunUntil([&] {
    const Notification* last = Last(WM_APP_SMS);
    return last != nullptr && last->wparam == SmsNewsStoreFilled && last->values.SmsStore->Reading();
  }));
  const size_t reading = notifications_.size();
  ASSERT_TRUE(DriveUntil([&] { return NewsAfter(reading, SmsNewsStoreFilled) < notifications_.size(); }));
  EXPECT_FALSE(notifications_[NewsAfter(reading, SmsNewsStoreFilled)].values.SmsStore->Reading());
  EXPECT_TRUE(Received(WM_APP_ERROR, reading));

  // The next listing reads the message.
  Presence().Pull();
  ASSERT_TRUE(RunUntilNotified(WM_APP_DEVICE_REMOVED));
  Plug(Card5().WithStoredSms(IncomingSms("+491702222222", "one")));
  ASSERT_TRUE(RunUntil([&] { return Cache().SmsStore->Count() == 1 && !Cache().SmsStore->Reading(); }));

  // Pulled: the store's news comes before the removal's.
  const size_t from = notifications_.size();
  Presence().Pull();
  ASSERT_TRUE(RunUntilNotified(WM_APP_DEVICE_REMOVED));
  size_t removed = from;
  while (notifications_[removed].message != WM_APP_DEVICE_REMOVED) ++removed;
  ASSERT_GT(removed, from);
  EXPECT_EQ(notifications_[removed - 1].message, WM_APP_SMS);
  EXPECT_EQ(notifications_[removed - 1].wparam, SmsNewsStoreFilled);
  EXPECT_EQ(notifications_[removed - 1].values.SmsStore->Count(), 0u);
}

}  // namespace
