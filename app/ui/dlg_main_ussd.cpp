// The main window's side of USSD: the menu entries, the window, and the
// requests and news between the window and the worker.
#include <QAction>
#include <memory>
#include <string>

#include "app/app_messages.h"
#include "app/ui/dlg_main.h"
#include "app/ui/dlg_ussd.h"
#include "app/ussd_session.h"
#include "foundation/xlog.h"

using namespace app_messages;

CDlgUssd* CDlgMain::Ussd() const { return ussd_.data(); }

void CDlgMain::OpenUssd() {
  if (!ussd_) {
    ussd_ = new CDlgUssd(
        [this](UssdOperation operation, const std::u16string& text) {
          auto* record = operation == UssdOperationSend ? new std::u16string(text) : nullptr;
          Post(WM_APP_USSD, operation, reinterpret_cast<intptr_t>(record));
        },
        this);
    ussd_->SetCardReady(CUssdSession::CardReady(values_));
  }
  ussd_->ShowAndActivate();
}

void CDlgMain::OnUssdNews(intptr_t lparam) {
  std::unique_ptr<UssdNews> news(reinterpret_cast<UssdNews*>(lparam));
  if (!news) return;
  XLogLevel(kXLogTrace, "CDlgMain::OnUssdNews %d.", news->status);
  if (!ussd_) {
    // A failure belongs to a window that asked; the network's own message
    // opens one.
    if (news->status == UssdNews::kRequestFailed) return;
    OpenUssd();
  }
  ussd_->OnNews(*news);
}

void CDlgMain::RefreshUssd() {
  const bool ready = CUssdSession::CardReady(values_);
  for (QAction* action : ussd_actions_) {
    if (action != nullptr) action->setEnabled(ready);
  }
  if (ussd_) ussd_->SetCardReady(ready);
}
