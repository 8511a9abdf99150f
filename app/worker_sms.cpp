// The SMS store's operations: send, save and delete on the SIM, with the
// store kept in step.
#include <memory>

#include "app/app_messages.h"
#include "app/worker_work.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

bool SameContent(const SmsMessage& a, const SmsMessage& b) {
  return std::u16string_view(a.Address) == std::u16string_view(b.Address) &&
         std::u16string_view(a.Text) == std::u16string_view(b.Text);
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
  if (record == nullptr || operation > SmsOperationDelete) return;

  if (operation == SmsOperationDelete) {
    // The record names the message by its SIM slot; the store's own record
    // is found afresh, since the store may have been refilled meanwhile.
    DeleteFromSim(record->Index);
    return;
  }

  const bool send = operation == SmsOperationSend;
  uint32_t slot = record->Index;
  bool stored = false;
  if (record->Index != kSmsNotOnSim) {
    const CachedDravikValues now = cache_.Snapshot();
    const SmsMessage* held = now.SmsStore->FindByIndex(record->Index);
    if (held != nullptr && SameContent(*held, *record)) {
      // An unchanged draft: nothing to save, and a send sends the slot as
      // it is.
      if (!send) return;
      stored = true;
    } else if (held != nullptr && DeleteFromSim(record->Index) != DV_S_OK) {
      return;
    }
  }
  if (!stored) {
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
  }
  if (!send) return;
  const DvResult rc = DvSendSmsMessageFromSim(slot);
  XLog("DvSendSmsMessageFromSim finished with 0x%x", rc);
  if (rc != DV_S_OK) {
    NotifyError(rc);
    return;
  }
  cache_.Update([&](CachedDravikValues& v) {
    auto store = std::make_shared<CSmsMessages>(*v.SmsStore);
    if (SmsMessage* sent = store->FindByIndex(slot)) sent->StorageStatus = kSmsStorageStoredSent;
    v.SmsStore = std::move(store);
  });
  Notify(WM_APP_SMS, SmsNewsSent);
}
