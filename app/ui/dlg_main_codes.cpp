// The main window's technology choice, PIN switch, code dialogs and errors.
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

namespace {

constexpr int kTechnologyQuestionStringId = 132;
constexpr int kDeviceLockedErrorStringId = 204;

}  // namespace

// --- Technology and PIN -----------------------------------------------------

void CDlgMain::OnTechnologyClicked(int control_id) {
  const int mode = TechnologyModeOfControl(control_id);
  if (mode < 0) {
    XLogLevel(kXLogWarning, "CDlgMain::OnChangeTechnologySelectionModeCommand: %d, ignored.", control_id);
    return;
  }
  if (mode == marked_technology_) return;
  if (!Ask(ProgramText(kTechnologyQuestionStringId), true)) {
    MarkTechnology(marked_technology_);
    return;
  }
  DisableForRequest();
  MarkTechnology(mode);
  Post(WM_APP_SET_TECHNOLOGY_MODE, 0, mode);
}

void CDlgMain::OnTechnologyMode(int mode) {
  MarkTechnology(mode);
  ReenableControls();
}

void CDlgMain::MarkTechnology(int mode) {
  marked_technology_ = mode;
  for (int i = 0; i < 4; ++i) {
    QRadioButton* button = technology_buttons_[i];
    const bool marked = TechnologyModeOfControl(kFirstTechnologyControl + i) == mode;
    button->setAutoExclusive(false);
    button->setChecked(marked);
    button->setAutoExclusive(true);
  }
}

void CDlgMain::MarkPin(std::optional<bool> enabled) {
  marked_pin_ = enabled;
  for (QRadioButton* button : {pin_enabled_, pin_disabled_}) {
    button->setAutoExclusive(false);
    button->setChecked(enabled.has_value() && *enabled == (button == pin_enabled_));
    button->setAutoExclusive(true);
  }
}

void CDlgMain::OnPinButtonClicked(bool enable) {
  if (marked_pin_ == enable) return;
  MarkPin(enable);
  dialogs_->OpenPin(enable ? CCodeDialogs::kPinEnable : CCodeDialogs::kPinDisable, values_.PinRetryCounter,
                    values_.RetryCountersSupported != 0);
}

void CDlgMain::OnPinMode(bool only_enabling) {
  if (only_enabling) {
    EnablePinButtons(values_.DeviceState != CachedDravikValues::kDeviceNotPresent &&
                     values_.PinPukState == CachedDravikValues::kPinPukReady);
    return;
  }
  if (values_.DeviceState != CachedDravikValues::kDeviceNotPresent) MarkPin(values_.PinEnabled != 0);
  ReenableControls();
}

void CDlgMain::OnPinRequired() {
  dialogs_->OpenPin(CCodeDialogs::kPinEnter, values_.PinRetryCounter, values_.RetryCountersSupported != 0);
}

void CDlgMain::OnPukRequired() {
  const bool quiet = dialogs_->HasPinDialog() && dialogs_->PinMode() != CCodeDialogs::kPinEnter;
  dialogs_->OpenPuk(values_.PukRetryCounter, values_.RetryCountersSupported != 0, quiet);
}

void CDlgMain::OnPinDialogResult(uintptr_t result, intptr_t source) {
  const bool from_change = source == kFromChangePin;
  const int mode = dialogs_->PinMode();
  if (result == 0) {
    XLogLevel(kXLogTrace, "OnWmAppPinDialogMessage::PIN_CANCELLED");
    if (!from_change && mode != CCodeDialogs::kPinEnter) MarkPin(values_.PinEnabled != 0);
  } else if (result == 1 && from_change) {
    auto* old_pin = new PinText(ToU16(dialogs_->TakeChangeOldPin()));
    auto* new_pin = new PinText(ToU16(dialogs_->TakeChangeNewPin()));
    Post(WM_APP_CHANGE_PIN, reinterpret_cast<uintptr_t>(old_pin), reinterpret_cast<intptr_t>(new_pin));
    XLogLevel(kXLogTrace, "OnWmAppPinDialogMessage::PIN_CHANGED: XXXX");
  } else if (result == 1 && (mode == CCodeDialogs::kPinEnable || mode == CCodeDialogs::kPinDisable)) {
    auto* pin = new PinText(ToU16(dialogs_->TakePin()));
    Post(WM_APP_SET_PIN_MODE, mode == CCodeDialogs::kPinEnable ? 1 : 0, reinterpret_cast<intptr_t>(pin));
    XLogLevel(kXLogTrace, "OnWmAppPinDialogMessage::WM_APP_SET_PIN_MODE: [%d]", mode);
  } else if (result == 1) {
    auto* pin = new PinText(ToU16(dialogs_->TakePin()));
    Post(WM_APP_ENTER_PIN, 0, reinterpret_cast<intptr_t>(pin));
    XLogLevel(kXLogTrace, "OnWmAppPinDialogMessage::PIN_ENTERED: XXXX");
  } else {
    XLogLevel(kXLogTrace, "OnWmAppPinDialogMessage::Unknown result");
  }
}

void CDlgMain::OnPukDialogResult(uintptr_t result) {
  if (result == 1) {
    auto* puk = new PinText(ToU16(dialogs_->TakePuk()));
    auto* pin = new PinText(ToU16(dialogs_->TakeNewPin()));
    Post(WM_APP_ENTER_PUK, reinterpret_cast<uintptr_t>(puk), reinterpret_cast<intptr_t>(pin));
    XLogLevel(kXLogTrace, "OnWmAppPukDialogMessage::PUK_ENTERED: [XXXX][XXXX]");
  } else if (result == 0) {
    XLogLevel(kXLogTrace, "OnWmAppPukDialogMessage::PUK_CANCELLED");
  } else {
    XLogLevel(kXLogTrace, "OnWmAppPukDialogMessage::Unknown result");
  }
}

// --- Errors -----------------------------------------------------------------

void CDlgMain::OnError(uint32_t code, bool flag) {
  // A failed connect or disconnect leaves the state the worker reports.
  requested_connection_state_.reset();
  FullRefresh();
  QString text;
  if (code == 0 && !flag && CachedDravikValues::IsDeviceLock(values_.PinPukState)) {
    text = ProgramText(kDeviceLockedErrorStringId);
  } else {
    const std::u16string message = error_text_(code, flag, values_);
    text = ToQString(message);
  }
  dialogs_->ShowError(text);
  ReenableControls();
}
