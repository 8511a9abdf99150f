// The worker's SMS operations over the simulated card: what a save, a send
// and a delete leave on the SIM and in the store, also when the SIM's
// contents moved under the window's feet, and what the window hears while
// the store is read and when it goes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/sms_draft.h"
#include "app/sms_messages.h"
#include "devicelib/sms_pdu_decoder.h"
#include "platform/text.h"
#include "sim/sms_pdu_encoder.h"
#include "sim/sms_submit_parser.h"
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

SmsDraft LongDraft(std::u16string_view recipient, std::u16string text, std::vector<SmsMessage> replaces = {}) {
  SmsDraft d;
  d.message = Draft(kSmsNotOnSim, recipient, u"");
  d.text = std::move(text);
  d.replaces = std::move(replaces);
  return d;
}

// `n` characters of plain GSM text, no two parts alike.
std::u16string Prose(size_t n, char16_t first = u'a') {
  std::u16string text;
  for (size_t i = 0; text.size() < n; ++i) {
    text += static_cast<char16_t>(u'a' + (first - u'a' + i) % 26);
    if (i % 7 == 6) text += u' ';
  }
  return text.substr(0, n);
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

  void RunText(uintptr_t operation, const SmsDraft& draft) {
    const size_t before = log_.Count("OnSmsOperation");
    ASSERT_TRUE(worker_->Post(WM_APP_SMS_OPERATION, operation, reinterpret_cast<intptr_t>(new SmsDraft(draft))));
    ASSERT_TRUE(RunUntil([&] { return log_.Count("OnSmsOperation") > before && Idle() && platform::PumpMessages() == 0; }));
  }

  // The card's own reading of the SUBMIT in a slot.
  sim::SubmitSummary SlotSubmit(size_t slot) {
    const auto stored = Card().Snapshot().sms.at(slot);
    if (!stored) return {};
    return sim::ParseSubmitPdu(stored->pdu_hex).value_or(sim::SubmitSummary{});
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

TEST_F(WorkerSmsTest, ALongTextIsSentAsPartsOfOneReferenceAndAFailedPartIsToldNotSent) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(Card5());
  ASSERT_TRUE(Ready());

  const std::u16string text = Prose(400);
  size_t from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSendText, LongDraft(u"+4917011", text)));
  std::u16string on_card;
  for (size_t slot = 0; slot < 3; ++slot) {
    SCOPED_TRACE(slot);
    const sim::SubmitSummary part = SlotSubmit(slot);
    EXPECT_EQ(part.recipient, "+4917011");
    EXPECT_EQ(part.part_reference, SlotSubmit(0).part_reference);
    EXPECT_EQ(part.part_total, 3);
    EXPECT_EQ(part.part_sequence, static_cast<int>(slot) + 1);
    EXPECT_EQ(SlotStatus(slot), 3);
    on_card += SlotText(slot);
  }
  EXPECT_EQ(on_card, text);
  EXPECT_LT(NewsAfter(from, SmsNewsSent), notifications_.size());
  const std::vector<SmsEntry> sent = Cache().SmsStore->Entries(CSmsMessages::FolderSent);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text, text);
  EXPECT_TRUE(sent[0].missing.empty());

  // The next long message takes the next reference. Its second part is
  // refused: the failure is told, the first part stays sent and the second
  // unsent, and no message counts as sent.
  Card().InjectFault("+CMSS", sim::Fault{sim::FaultKind::kError, 0, true, 1});
  from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSendText, LongDraft(u"+4917011", Prose(200, u'k'))));
  EXPECT_EQ(SlotSubmit(3).part_reference, SlotSubmit(0).part_reference + 1);
  EXPECT_EQ(SlotSubmit(4).part_sequence, 2);
  EXPECT_EQ(SlotStatus(3), 3);
  EXPECT_EQ(SlotStatus(4), 2);
  EXPECT_TRUE(Received(WM_APP_ERROR, from));
  EXPECT_EQ(NewsAfter(from, SmsNewsSent), notifications_.size());
  EXPECT_TRUE(log_.Contains("part 2 of 2 was not sent"));
}

TEST_F(WorkerSmsTest, ALongDraftIsStoredInPartsAndReplacedWhole) {
  ASSERT_NO_FATAL_FAILURE(StartWorker());
  Plug(Card5().SmsStorage(6));
  ASSERT_TRUE(Ready());
  auto unsent = [&] { return Cache().SmsStore->Entries(CSmsMessages::FolderUnsent); };

  const std::u16string first = Prose(200);
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSaveText, LongDraft(u"+4917011", first)));
  ASSERT_EQ(unsent().size(), 1u);
  EXPECT_EQ(unsent()[0].text, first);
  EXPECT_EQ(SlotStatus(0), 2);
  EXPECT_EQ(SlotSubmit(1).part_sequence, 2);

  // Unchanged: nothing is written.
  size_t from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSaveText, LongDraft(u"+4917011", first, unsent()[0].parts)));
  EXPECT_EQ(NewsAfter(from, SmsNewsWritten), notifications_.size());

  // A write that fails on the second part takes the first back off the
  // SIM; the draft stays as it was.
  Card().InjectFault("+CMGW", sim::Fault{sim::FaultKind::kError, 0, true, 1});
  from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSaveText, LongDraft(u"+4917011", Prose(300), unsent()[0].parts)));
  EXPECT_TRUE(Received(WM_APP_ERROR, from));
  EXPECT_EQ(SlotStatus(2), -1);
  ASSERT_EQ(unsent().size(), 1u);
  EXPECT_EQ(unsent()[0].text, first);

  // Edited: the new parts go to free slots, then every old part goes.
  const std::u16string second = Prose(170, u'p');
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSaveText, LongDraft(u"+4917011", second, unsent()[0].parts)));
  EXPECT_EQ(SlotStatus(0), -1);
  EXPECT_EQ(SlotStatus(1), -1);
  ASSERT_EQ(unsent().size(), 1u);
  EXPECT_EQ(unsent()[0].text, second);
  EXPECT_EQ(unsent()[0].First().Index, 2u);

  // Sent unchanged: its own slots go out, nothing is written again.
  from = notifications_.size();
  ASSERT_NO_FATAL_FAILURE(RunText(SmsOperationSendText, LongDraft(u"+4917011", second, unsent()[0].parts)));
  EXPECT_EQ(NewsAfter(from, SmsNewsWritten), notifications_.size());
  EXPECT_EQ(SlotStatus(2), 3);
  EXPECT_EQ(SlotStatus(3), 3);
  EXPECT_EQ(Cache().SmsStore->Count(), 2u);
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
