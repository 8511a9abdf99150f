// The SMS store's operations: send, save and delete on the SIM, with the
// store kept in step; a text longer than one message goes as the parts of a
// long message, each in a slot of its own.
#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "app/app_messages.h"
#include "app/sms_draft.h"
#include "app/worker_work.h"
#include "devicelib/dv_api.h"
#include "devicelib/sms_text_split.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

// A draft asking for no report is written afresh when a report is wanted.
bool SameContent(const SmsMessage& a, const SmsMessage& b) {
  return SmsField(a.Address) == SmsField(b.Address) && SmsField(a.Text) == SmsField(b.Text) &&
         (a.StatusReportRequest != 0) == (b.StatusReportRequest != 0);
}

// What the editor may replace: a message stored and not sent yet.
bool IsDraft(const SmsMessage& message) {
  return message.MessageType == kSmsMessageTypeSubmit && message.StorageStatus == kSmsStorageStoredUnsent;
}

}  // namespace

DvResult CWorkerThread::Work::DeleteFromSim(uint32_t index) {
  const DvResult rc = DvDeleteSmsMessage(index);
  XLog("DvDeleteSmsMessage finished with 0x%x", rc);
  if (rc != DV_S_OK) {
    NotifyError(rc);
    return rc;
  }
  cache_.Update([&](CachedDravikValues& v) {
    auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
    store->Remove(store->FindByIndex(index));
    v.SmsStore = std::move(store);
  });
  RefreshSmsCapacity();
  Notify(WM_APP_SMS, SmsNewsDeleted);
  return rc;
}

void CWorkerThread::Work::RunSmsOperation(uintptr_t operation, SmsMessage* record) {
  std::unique_ptr<SmsMessage> owned(record);
  XLog("CWorkerThread::OnSmsOperation, %d, [%d].", static_cast<int>(operation),
       record != nullptr ? static_cast<int>(record->Index) : -2);
  if (record == nullptr || operation > SmsOperationDelete) return;
  const CachedDravikValues now = cache_.Snapshot();
  const SmsMessage* held = record->Index != kSmsNotOnSim ? now.SmsStore->FindByIndex(record->Index) : nullptr;

  if (operation == SmsOperationDelete) {
    // The record is the window's copy of the message it showed. Since then
    // the message may have gone and another taken its slot: only the same
    // message is deleted.
    if (held == nullptr || !CSmsMessages::SameMessage(*held, *record)) {
      XLogLevel(kXLogWarning, "CWorkerThread::OnSmsOperation, slot %d no longer holds the message; nothing deleted.",
                static_cast<int>(record->Index));
      return;
    }
    DeleteFromSim(record->Index);
    return;
  }

  const bool send = operation == SmsOperationSend;
  uint32_t slot = record->Index;
  if (held != nullptr && IsDraft(*held) && SameContent(*held, *record)) {
    // An unchanged draft: nothing to save, and a send sends the slot as it
    // is.
    if (!send) return;
  } else {
    // A new or edited message goes to a free slot. The draft it replaces is
    // deleted only once the new one is written, so a failed write loses
    // nothing; a slot that holds anything but a draft now is left alone.
    const bool replaces = held != nullptr && IsDraft(*held);
    if (held != nullptr && !replaces) {
      XLogLevel(kXLogWarning, "CWorkerThread::OnSmsOperation, slot %d no longer holds the draft; it stays.",
                static_cast<int>(record->Index));
    }
    const uint32_t replaced = record->Index;
    record->Index = kSmsNotOnSim;
    const DvResult rc = DvWriteSmsMessage(record);
    XLog("DvWriteSmsMessage finished with 0x%x", rc);
    if (rc != DV_S_OK) {
      NotifyError(rc);
      return;
    }
    slot = record->Index;
    cache_.Update([&](CachedDravikValues& v) {
      auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
      store->Put(*record);
      v.SmsStore = std::move(store);
    });
    RefreshSmsCapacity();
    Notify(WM_APP_SMS, SmsNewsWritten);
    // A failed delete is told; the old draft then stays beside the new one.
    if (replaces) DeleteFromSim(replaced);
  }
  if (!send) return;
  uint32_t reference = 0;
  const DvResult rc = DvSendSmsMessageFromSim(slot, &reference);
  XLog("DvSendSmsMessageFromSim finished with 0x%x, reference %u", rc, reference);
  if (rc != DV_S_OK) {
    NotifyError(rc);
    return;
  }
  const bool report_requested = record->StatusReportRequest != 0;
  cache_.Update([&](CachedDravikValues& v) {
    auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
    if (SmsMessage* sent = store->FindByIndex(slot)) sent->StorageStatus = kSmsStorageStoredSent;
    if (report_requested) store->SetDeliveryPending(slot, reference);
    v.SmsStore = std::move(store);
  });
  Notify(WM_APP_SMS, SmsNewsSent);
}

// --- texts of any length -------------------------------------------------------

void CWorkerThread::Work::RunTextOperation(bool send, SmsDraft* draft) {
  std::unique_ptr<SmsDraft> owned(draft);
  XLog("CWorkerThread::OnSmsOperation, %d, [%d], %u characters.", send ? 3 : 4,
       draft != nullptr && !draft->replaces.empty() ? static_cast<int>(draft->replaces.front().Index) : -1,
       draft != nullptr ? static_cast<unsigned>(draft->text.size()) : 0u);
  if (draft == nullptr) return;
  const SMS::TextParts split = SMS::SplitText(draft->text, draft->message.Alphabet);
  if (split.Refused()) {
    XLogLevel(kXLogError, "CWorkerThread::OnSmsOperation, the text needs more than %u messages; nothing is stored.",
              static_cast<unsigned>(SMS::kMaxConcatenatedParts));
    NotifyError(DV_E_INVALID_ARGUMENT);
    return;
  }
  if (split.parts.size() == 1 && draft->replaces.size() <= 1) {
    // One message in place of at most one: the way of a single record.
    auto record = std::make_unique<SmsMessage>(draft->message);
    record->Index = draft->replaces.empty() ? kSmsNotOnSim : draft->replaces.front().Index;
    SetSmsField(record->Text, draft->text);
    RunSmsOperation(send ? SmsOperationSend : SmsOperationSave, record.release());
    return;
  }

  // The draft as the SIM still holds it: the slots the editor was opened
  // with that still hold the same draft, by sequence number.
  const std::shared_ptr<const CSmsMessages> store = cache_.Snapshot().SmsStore;
  bool unchanged = !draft->replaces.empty();
  std::vector<std::pair<uint32_t, uint32_t>> held_parts;  // sequence, slot
  for (const SmsMessage& replaced : draft->replaces) {
    const SmsMessage* held = store->FindByIndex(replaced.Index);
    if (held == nullptr || !IsDraft(*held) || !CSmsMessages::SameMessage(*held, replaced)) {
      unchanged = false;
      continue;
    }
    held_parts.emplace_back(store->PartOf(replaced.Index)->Sequence, replaced.Index);
  }
  std::sort(held_parts.begin(), held_parts.end());
  std::u16string held_text;
  for (size_t i = 0; unchanged && i < held_parts.size(); ++i) {
    const uint32_t slot = held_parts[i].second;
    unchanged = held_parts[i].first == i + 1 && store->PartOf(slot)->Total == held_parts.size();
    held_text += SmsField(store->FindByIndex(slot)->Text);
  }
  if (unchanged) {
    const SmsMessage& first = *store->FindByIndex(held_parts.front().second);
    unchanged = held_text == draft->text && SmsField(first.Address) == SmsField(draft->message.Address) &&
                (first.StatusReportRequest != 0) == (draft->message.StatusReportRequest != 0);
  }

  std::vector<uint32_t> slots;
  if (unchanged) {
    // Nothing to save; a send sends the stored parts as they are.
    if (!send) return;
    for (const auto& [sequence, slot] : held_parts) slots.push_back(slot);
  } else {
    slots = WriteParts(*draft, split.parts);
    if (slots.empty()) return;
    // The draft it replaces goes only now, and only where its slots still
    // hold it; a failed delete is told and leaves the old parts beside the
    // new ones.
    for (const SmsMessage& replaced : draft->replaces) {
      const SmsMessage* held = cache_.Snapshot().SmsStore->FindByIndex(replaced.Index);
      if (held != nullptr && IsDraft(*held) && CSmsMessages::SameMessage(*held, replaced)) {
        DeleteFromSim(replaced.Index);
      } else {
        XLogLevel(kXLogWarning, "CWorkerThread::OnSmsOperation, slot %d no longer holds the draft; it stays.",
                  static_cast<int>(replaced.Index));
      }
    }
  }
  if (send) SendParts(slots, draft->message.StatusReportRequest != 0);
}

std::vector<uint32_t> CWorkerThread::Work::WriteParts(const SmsDraft& draft, const std::vector<std::u16string>& parts) {
  const auto total = static_cast<uint32_t>(parts.size());
  const uint32_t reference = total > 1 ? NextLongMessageReference(*cache_.Snapshot().SmsStore) : 0;
  std::vector<uint32_t> slots;
  for (uint32_t sequence = 1; sequence <= total; ++sequence) {
    SmsMessageDetails part{};
    part.Message = draft.message;
    part.Message.Index = kSmsNotOnSim;
    SetSmsField(part.Message.Text, parts[sequence - 1]);
    part.Concatenation = SmsConcatenation{0, 1, 1};
    DvResult rc = DV_S_OK;
    if (total == 1) {
      rc = DvWriteSmsMessage(&part.Message);
      XLog("DvWriteSmsMessage finished with 0x%x", rc);
    } else {
      part.Concatenation = SmsConcatenation{reference, total, sequence};
      rc = DvWriteSmsMessagePart(&part.Message, part.Concatenation);
      XLog("DvWriteSmsMessagePart finished with 0x%x, part %u of %u, reference %u", rc, sequence, total, reference);
    }
    if (rc != DV_S_OK) {
      if (total > 1) {
        XLogLevel(kXLogError,
                  "CWorkerThread::OnSmsOperation, part %u of %u was not written (0x%x); the %u written before it "
                  "are deleted.",
                  sequence, total, rc, sequence - 1);
      }
      NotifyError(rc);
      for (uint32_t slot : slots) DeleteFromSim(slot);
      return {};
    }
    slots.push_back(part.Message.Index);
    cache_.Update([&](CachedDravikValues& v) {
      auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
      store->Put(part);
      v.SmsStore = std::move(store);
    });
  }
  RefreshSmsCapacity();
  Notify(WM_APP_SMS, SmsNewsWritten);
  return slots;
}

void CWorkerThread::Work::SendParts(const std::vector<uint32_t>& slots, bool report_requested) {
  const auto total = static_cast<uint32_t>(slots.size());
  std::vector<std::pair<uint32_t, uint32_t>> sent;  // slot, the card's reference
  DvResult failure = DV_S_OK;
  for (uint32_t i = 0; i < total; ++i) {
    uint32_t reference = 0;
    const DvResult rc = DvSendSmsMessageFromSim(slots[i], &reference);
    XLog("DvSendSmsMessageFromSim finished with 0x%x, reference %u, part %u of %u", rc, reference, i + 1, total);
    if (rc != DV_S_OK) {
      XLogLevel(kXLogError, "CWorkerThread::OnSmsOperation, part %u of %u was not sent (0x%x); %u before it were.",
                i + 1, total, rc, i);
      failure = rc;
      break;
    }
    sent.emplace_back(slots[i], reference);
  }
  if (!sent.empty()) {
    cache_.Update([&](CachedDravikValues& v) {
      auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
      for (const auto& [slot, reference] : sent) {
        if (SmsMessage* part = store->FindByIndex(slot)) part->StorageStatus = kSmsStorageStoredSent;
        if (report_requested) store->SetDeliveryPending(slot, reference);
      }
      v.SmsStore = std::move(store);
    });
  }
  if (failure != DV_S_OK) {
    // Not sent whole: no news of a sent message, only of the parts that
    // moved to the Sent folder.
    NotifyError(failure);
    if (!sent.empty()) Notify(WM_APP_SMS, SmsNewsWritten);
    return;
  }
  Notify(WM_APP_SMS, SmsNewsSent);
}

uint32_t CWorkerThread::Work::NextLongMessageReference(const CSmsMessages& store) {
  // A reference the SIM already holds for a long message to send would
  // join the new parts with the old ones.
  std::array<bool, 256> held{};
  for (const SmsEntry& entry : store.Entries(CSmsMessages::FolderAll)) {
    if (entry.Long() && entry.First().MessageType == kSmsMessageTypeSubmit) held[entry.reference & 0xFF] = true;
  }
  for (size_t tries = 0; tries < held.size(); ++tries) {
    long_message_reference_ = (long_message_reference_ + 1) & 0xFF;
    if (!held[long_message_reference_]) break;
  }
  return long_message_reference_;
}
