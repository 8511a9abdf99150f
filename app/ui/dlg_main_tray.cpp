// The main window's tray icons: making them, their clicks and the menu.
#include "app/ui/dlg_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <cstdio>
#include "app/app_main.h"
#include "app/app_messages.h"
#include "app/auto_profiles.h"
#include "app/connection_watcher_thread.h"
#include "app/error_texts.h"
#include "app/profile.h"
#include "app/settings.h"
#include "app/status_texts.h"
#include "app/string_loader.h"
#include "app/ui/qt_text.h"
#include "app/ui/apn_line_edit.h"
#include "app/ui/about_box.h"
#include "app/ui/dlg_diagnostics.h"
#include "app/ui/dlg_sms_centre.h"
#include "app/ui/program_code_dialogs.h"
#include "app/ui/main_window_texts.h"
#include "app/ui/notify_icon.h"
#include "app/ui/signal_bars_widget.h"
#include "app/worker_thread.h"
#include "carddetect/card_info.h"
#include "foundation/xlog.h"
#include "platform/text.h"
#include "platform/thread.h"

using namespace app_messages;

// --- Tray --------------------------------------------------------------------

void CDlgMain::BuildTrayIcons(std::unique_ptr<CTrayArea> area) {
  tray_area_ = area ? std::move(area) : MakeSystemTrayArea();
  const auto report = [this](const QString& text) { Ask(text, false); };
  tray_main_ = std::make_unique<CNotifyIconHk>(*tray_area_, report, windowTitle(),
                                               [this](uintptr_t command) { OnSysCommand(command); }, this);
  tray_main_->SetIdentity(hwnd_, kMainTrayIconId, WM_APP_TRAY_NOTIFY, tray_main_->Icon());
  if (settings_.SmsSupported != 0) {
    tray_sms_ = std::make_unique<CNotifyIconSms>(*tray_area_, report);
    tray_sms_->SetIdentity(hwnd_, kSmsTrayIconId, WM_APP_SMS_TRAY_NOTIFY, QIcon());
  }
}

void CDlgMain::OnTrayNotify(intptr_t mouse_message) {
  switch (mouse_message) {
    case kTrayRightButtonUp:
    case kTrayContextMenu:
    case kTrayMenuRequest:
      OpenTrayMenu();
      break;
    case kTrayLeftButtonUp:
      // A single click opens the menu once the double-click time passed;
      // the release that ends a double click does nothing.
      if (tray_double_click_) {
        tray_double_click_ = false;
      } else {
        platform::SetTimer(hwnd_, kTrayClickTimer, static_cast<uint32_t>(QApplication::doubleClickInterval()));
      }
      break;
    case kTrayLeftDoubleClick:
      platform::KillTimer(hwnd_, kTrayClickTimer);
      tray_double_click_ = true;
      platform::PostMessage(hwnd_, WM_APP_SHOW_MAIN, 0, 0);
      break;
    default:
      break;
  }
}

void CDlgMain::OpenTrayMenu() {
  if (isVisible()) BringForward(this);
  tray_main_->SetConnectItem(ShownConnectionState() == 0, ConnectAllowed());
  tray_main_->Menu()->popup(QCursor::pos());
}
