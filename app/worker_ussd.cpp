// USSD: the window's requests go to the library, the network's answers
// (library event 15) and the requests the card refused go back to the
// window as WM_APP_USSD_NEWS.
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_messages.h"
#include "app/ussd_session.h"
#include "app/worker_work.h"
#include "devicelib/device_states.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"
#include "platform/heap.h"

using namespace app_messages;

void CWorkerThread::Work::RunUssdOperation(uintptr_t operation, const std::u16string* text) {
  if (operation == UssdOperationCancel) {
    // Nothing to tell: the window has ended the conversation already.
    XLog("DvCancelUssd finished with 0x%x", DvCancelUssd());
    return;
  }
  if (text == nullptr) return;
  const DvResult rc = DvSendUssd(text->c_str());
  XLog("DvSendUssd finished with 0x%x", rc);
  if (rc == DV_S_OK) return;
  auto news = std::make_unique<UssdNews>();
  news->error = rc;
  Notify(WM_APP_USSD_NEWS, 0, reinterpret_cast<intptr_t>(news.release()));
}

void CWorkerThread::Work::OnUssdMessage(uintptr_t parameter) {
  auto* record = reinterpret_cast<DvUssdMessage*>(parameter);
  if (record == nullptr) {
    XLogLevel(kXLogError, "EventUssdMessageArrived suspicious evtParams.");
    return;
  }
  auto news = std::make_unique<UssdNews>();
  news->status = record->Status;
  const std::u16string_view text(record->Text, std::size(record->Text));
  news->text.assign(text.substr(0, text.find(u'\0')));
  platform::LocalFree(record);
  XLog("USSD answer with status %d, %zu characters.", news->status, news->text.size());
  Notify(WM_APP_USSD_NEWS, 0, reinterpret_cast<intptr_t>(news.release()));
}
