// The SMS store's operations: send, save and delete on the SIM, with the
// store kept in step.
#include <memory>

#include "app/app_messages.h"
#include "app/worker_work.h"
#include "devicelib/dv_api.h"
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
