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
#include "app/ui/dlg_ussd.h"
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

constexpr int kConnectStringId = 57346;
constexpr int kDisconnectStringId = 57347;
constexpr int kRoamingQuestionStringId = 191;
constexpr int kExitConnectedStringId = 152;
constexpr int kSaveTemporarySmsStringId = 205;

bool Registered(int state) { return state == 1 || state == 5; }


std::u16string ProgramErrorText(uint32_t code, bool flag, const CachedDravikValues& values) {
  ErrorReport report;
  report.code = code;
  report.flag = flag;
  report.pin_puk_state = values.PinPukState;
  report.removable_kind = values.RemovableKind;
  return MakeErrorText(report);
}

}  // namespace

CDlgMain::CDlgMain(const QString& title) : CDlgMain(title, Dependencies{}) {}

CDlgMain::CDlgMain(const QString& title, Dependencies d)
    : settings_(d.settings != nullptr ? *d.settings : CSettings::Instance()),
      profiles_(d.profiles != nullptr ? *d.profiles : CAutoProfiles::Instance()),
      connections_(std::move(d.connections)),
      dialogs_(std::move(d.dialogs)),
      ask_(std::move(d.ask)),
      error_text_(d.error_text ? std::move(d.error_text) : ErrorTextFunction(ProgramErrorText)) {
  // The platform window the worker posts to: one class per window, so a
  // second main window (tests make many) never meets the first one's class.
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "%p", static_cast<void*>(this));
  class_name_ = u"VombelConnect.MainWindow." + platform::Utf8ToUtf16(suffix);
  platform::RegisterClass(class_name_, [this](platform::HWND, uint32_t message, platform::WPARAM wparam,
                                              platform::LPARAM lparam) {
    return WindowProcedure(message, wparam, lparam);
  });
  hwnd_ = platform::CreateWindow(class_name_);
  if (hwnd_ == nullptr) XLogLevel(kXLogError, "CDlgMain::CDlgMain, CreateWindow: NOK.");
  if (!dialogs_) dialogs_ = std::make_unique<CProgramCodeDialogs>(hwnd_, this);
  if (!d.connections && settings_.ForeignConnectionFriendlyMode == 0) {
    auto watcher = std::make_unique<CConnectionWatcherThread>(hwnd_);
    if (!watcher->Start()) XLogLevel(kXLogError, "CDlgMain::OnInitDialog, connection watcher thread: NOK.");
    connections_ = std::move(watcher);
  }

  values_ = CachedDravik::Instance().Snapshot();
  setWindowTitle(title);
  BuildLayout();
  BuildTrayIcons(std::move(d.tray_area));
  BuildMenus();
  RetranslateTechnologyLabels();
  XLogLevel(kXLogTrace, "CDlgMain::OnInitDialog, [%d].", static_cast<int>(platform::GetCurrentThreadId()));
  OnUpdateLogo();

  FullRefresh();
  if (d.start_worker) {
    worker_ = std::make_unique<CWorkerThread>(hwnd_);
    if (!worker_->Start()) XLogLevel(kXLogError, "CDlgMain::OnInitDialog, worker thread: NOK.");
  }
  LayoutTechnologyGroup();

  ShowProfile(values_.CurrentProfile ? values_.CurrentProfile->Clone() : nullptr);
  DisableForRequest();
  // The window comes up without taking the focus from what the user does.
  setAttribute(Qt::WA_ShowWithoutActivating);
  reachable_ = true;
  KeepReachable();
}

CDlgMain::~CDlgMain() {
  closing_ = true;
  XLogLevel(kXLogTrace, "CDlgMain::OnDestroy");
  dialogs_.reset();
  tray_sms_.reset();
  tray_main_.reset();
  delete about_.data();
  delete diagnostics_.data();
  delete sms_centre_window_.data();
  delete ussd_.data();
  if (worker_) worker_->Stop();
  connections_.reset();
  // What the worker posted before it ended: the procedure frees the records.
  platform::PumpMessages();
  if (hwnd_ != nullptr) platform::DestroyWindow(hwnd_);
  platform::UnregisterClass(class_name_);
}

platform::LRESULT CDlgMain::WindowProcedure(uint32_t message, platform::WPARAM wparam, platform::LPARAM lparam) {
  if (message == platform::WM_TIMER && wparam == kTrayClickTimer) {
    platform::KillTimer(hwnd_, kTrayClickTimer);
    platform::PostMessage(hwnd_, WM_APP_TRAY_NOTIFY, kMainTrayIconId, kTrayMenuRequest);
    return 0;
  }
  if (message < platform::WM_APP) return 0;
  if (closing_) {
    CWorkerThread::FreeNotificationRecord(message, wparam, lparam);
    return 0;
  }
  OnNotification(message, wparam, lparam);
  return 0;
}

void CDlgMain::OnNotification(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  values_ = CachedDravik::Instance().Snapshot();
  switch (message) {
    case WM_APP_TRAY_NOTIFY:
      OnTrayNotify(lparam);
      break;
    case WM_APP_SMS_TRAY_NOTIFY:
      if (lparam == kTrayLeftDoubleClick) OpenSmsCentre();
      break;
    case WM_APP_SHOW_MAIN:
      ShowAndActivate();
      break;
    case WM_APP_STATE_CHANGED:
      FullRefresh();
      break;
    case WM_APP_PIN_REQUIRED:
      OnPinRequired();
      break;
    case WM_APP_PUK_REQUIRED:
      OnPukRequired();
      break;
    case kPinDialogResult:
      OnPinDialogResult(wparam, lparam);
      break;
    case kPukDialogResult:
      OnPukDialogResult(wparam);
      break;
    case WM_APP_DEVICE_REMOVED:
      dialogs_->HideCodeDialogs();
      break;
    case WM_APP_PIN_READY:
      OnPinReady();
      break;
    case WM_APP_ERROR:
      OnError(static_cast<uint32_t>(wparam), lparam != 0);
      break;
    case WM_APP_TECHNOLOGY_MODE:
      OnTechnologyMode(static_cast<int>(lparam));
      break;
    case WM_APP_PIN_MODE:
      OnPinMode(wparam == 1);
      break;
    case WM_APP_PROFILE:
      ShowProfile(std::unique_ptr<CProfile>(reinterpret_cast<CProfile*>(lparam)));
      break;
    case WM_APP_CONNECTION_STATE:
      OnConnectionState();
      break;
    case WM_APP_FOREIGN_CONNECTIONS:
      OnForeignConnections();
      break;
    case WM_APP_DIAGNOSTICS:
      // Only a diagnostics window that exists asks for runs and hears of them.
      if (!diagnostics_) break;
      if (wparam == kDiagnosticsRun) {
        Post(WM_APP_RUN_DIAGNOSTICS, 0, 0);
        diagnostics_->UpdateButtons();
      } else {
        diagnostics_->OnDiagnostics(wparam);
      }
      break;
    case WM_APP_SMS:
      OnSms(wparam, lparam);
      break;
    case WM_APP_SMS_OPERATION:
      Post(WM_APP_SMS_OPERATION, wparam, lparam);
      break;
    case WM_APP_UPDATE_LOGO:
      OnUpdateLogo();
      break;
    case WM_APP_TRAFFIC:
      RefreshTraffic();
      break;
    case WM_APP_USSD_NEWS:
      OnUssdNews(lparam);
      break;
    default:
      break;
  }
}

void CDlgMain::HandleMessage(uint32_t message, uintptr_t wparam, intptr_t /*lparam*/) {
  if (message == CAppMain::WM_APP_SHOW_MAIN) {
    ShowAndActivate();
  } else if (message == platform::WM_COMMAND && (wparam & 0xFFFF) == CAppMain::kExitCommand) {
    OnExit();
  }
}

// --- Showing, hiding, ending ---------------------------------------------

void CDlgMain::ShowAndActivate() {
  XLogLevel(kXLogTrace, "CDlgMain::ShowAndActivate");
  setAttribute(Qt::WA_ShowWithoutActivating, false);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  QWidget* foremost = dialogs_->ForemostVisible();
  BringForward(foremost != nullptr ? foremost : this);
}

void CDlgMain::BringForward(QWidget* window) {
  window->raise();
  window->activateWindow();
}

void CDlgMain::reject() { HideToTray(); }

void CDlgMain::closeEvent(QCloseEvent* event) {
  event->ignore();
  HideToTray();
}

void CDlgMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  XLogLevel(kXLogTrace, "CDlgMain::OnShowWindow, shown.");
}

bool CDlgMain::event(QEvent* event) {
  const bool handled = QDialog::event(event);
  if (event->type() == QEvent::WindowActivate && QApplication::focusWidget() == nullptr && connect_->isEnabled()) {
    connect_->setFocus();
  }
  return handled;
}

void CDlgMain::OnSysCommand(uintptr_t command) {
  XLogLevel(kXLogTrace, "CDlgMain::OnSysCommand %x %x.", static_cast<unsigned>(command), 0u);
  switch (command & ~uintptr_t{0xF}) {
    case kAboutCommand:
      OpenAbout();
      return;
    case kExitSysCommand:
      OnExit();
      return;
    case kDiagnosticsCommand:
      OpenDiagnostics();
      return;
    case kSmsCentreCommand:
      OpenSmsCentre();
      return;
    case kUssdCommand:
      OpenUssd();
      return;
    default:
      break;
  }
  if (command == kConnectCommand) ConnectDisconnect();
  if (command == kShowMainCommand) ShowAndActivate();
}

void CDlgMain::OnExit() {
  XLogLevel(kXLogTrace, "CDlgMain::OnExit");
  switch (ShownConnectionState()) {
    case 0:
      // Destroying the main window ends the program (the owner quits the
      // loop when it goes).
      hide();
      deleteLater();
      return;
    case 1:
      exit_pending_ = true;
      ConnectDisconnect(false);
      return;
    case 2:
      if (Ask(ProgramText(kExitConnectedStringId).replace(QStringLiteral("%s"), windowTitle()), true)) {
        exit_pending_ = true;
        ConnectDisconnect(false);
      }
      return;
    default:
      exit_pending_ = true;
      return;
  }
}

CDlgSmsCentre* CDlgMain::SmsCentre() const { return sms_centre_window_.data(); }

void CDlgMain::OpenSmsCentre() {
  if (settings_.SmsSupported == 0) return;
  if (!sms_centre_window_) {
    CDlgSmsCentre::AskFunction ask;
    if (ask_) ask = [this](const QString& text) { return ask_(text, true); };
    sms_centre_window_ = new CDlgSmsCentre(hwnd_, settings_, std::move(ask), this);
  }
  sms_centre_window_->Open();
}

void CDlgMain::OnSms(uintptr_t code, intptr_t lparam) {
  const bool sim = values_.SimInserted != 0;
  auto storage_state = [&] {
    sms_icon_ = values_.SmsStore->Full() ? SmsIconState::kStorageFull : SmsIconState::kHidden;
  };
  if (!sim) sms_icon_ = SmsIconState::kHidden;
  switch (code) {
    case SmsNewsDeliveryReport:
      if (sms_centre_window_) sms_centre_window_->OnSmsNews(code);
      break;
    case SmsNewsSent:
    case SmsNewsWritten:
    case SmsNewsDeleted:
    case SmsNewsStoreFilled:
      if (sms_centre_window_) sms_centre_window_->OnSmsNews(code);
      if (sim) storage_state();
      break;
    case SmsNewsOneRead:
      if (sms_centre_window_) sms_centre_window_->OnSmsNews(code);
      if (sim) sms_icon_ = SmsIconState::kNewMessage;
      break;
    case SmsNewsTemporary: {
      std::unique_ptr<SmsMessage> record(reinterpret_cast<SmsMessage*>(lparam));
      if (!record) break;
      const std::u16string question =
          ReplaceFirstPlaceholder(LoadProgramString(kSaveTemporarySmsStringId), SmsField(record->Text));
      if (Ask(QString::fromStdU16String(question), true)) {
        // Shown, never stored: whatever index the library gave it, it has
        // no slot, and saving it must not replace the message in one.
        record->Index = kSmsNotOnSim;
        Post(WM_APP_SMS_OPERATION, SmsOperationSave, reinterpret_cast<intptr_t>(record.release()));
      }
      break;
    }
    case SmsNewsMarkedRead:
      if (sim) storage_state();
      break;
    default:
      break;
  }
  static_assert(static_cast<int>(SmsIconState::kNewMessage) == CNotifyIconSms::kNewMessage &&
                static_cast<int>(SmsIconState::kStorageFull) == CNotifyIconSms::kStorageFull &&
                static_cast<int>(SmsIconState::kHidden) == CNotifyIconSms::kHidden);
  // Only a change re-creates the tray entry.
  const auto tray_state = static_cast<CNotifyIconSms::State>(sms_icon_);
  if (tray_sms_ && tray_sms_->GetState() != tray_state) tray_sms_->SetState(tray_state);
  FullRefresh();
}

void CDlgMain::OpenDiagnostics() {
  if (!diagnostics_) diagnostics_ = new CDlgDiagnostics(hwnd_, this);
  diagnostics_->ShowAndActivate();
}

void CDlgMain::OpenAbout() {
  if (!about_) about_ = new CAboutBox(this);
  about_->ShowAndActivate();
}

// --- Refresh --------------------------------------------------------------

int CDlgMain::ShownConnectionState() const {
  return requested_connection_state_ ? *requested_connection_state_ : values_.ConnectionState;
}

StatusInputs CDlgMain::Inputs() const {
  StatusInputs in = StatusInputs::From(values_, settings_, sms_icon_, ActiveConnections());
  in.connection_state = ShownConnectionState();
  return in;
}

void CDlgMain::FullRefresh() {
  RefreshConnectButton();
  RefreshStatus();
  RefreshUssd();
  if (values_.DeviceState != CachedDravikValues::kDeviceNotPresent) {
    ShowProfile(values_.CurrentProfile ? values_.CurrentProfile->Clone() : nullptr);
    if (tray_main_->Create()) {
      const QString tooltip = QString::fromStdU16String(tooltip_text_);
      tray_main_->SetText(&tooltip);
    }
    if (values_.DeviceState == CachedDravikValues::kDeviceReady &&
        (values_.TechnologySelectionSupported != 0) != (settings_.LastTechnologySelectionModeSupported != 0)) {
      settings_.SetLastTechnologySelectionModeSupported(values_.TechnologySelectionSupported != 0);
      LayoutTechnologyGroup();
    }
    EnableTechnologyButtons(TechnologyButtonsAllowed());
  } else {
    MarkTechnology(-1);
    MarkPin(std::nullopt);
    user_name_->clear();
    password_->clear();
    apn_->clear();
    // Whatever is typed now was never compared with a stored profile.
    profile_shown_ = false;
    SetSaveEnabled(false);
    RememberFocus();
    EnableTechnologyButtons(false);
    EnablePinButtons(false);
    EnableProfileFields(false);
    tray_main_->Destroy();
  }
}

// On a desktop without a notification area nothing brings a hidden window
// back: it waits minimised instead, from the start (-noshow) to the end.
void CDlgMain::KeepReachable() {
  if (closing_ || !reachable_ || tray_area_->Available() || isVisible()) return;
  XLogLevel(kXLogTrace, "CDlgMain::KeepReachable, no notification area: the window waits minimised.");
  showMinimized();
}

bool CDlgMain::HideToTray() {
  if (!tray_area_->Available()) {
    showMinimized();
    return false;
  }
  hide();
  return true;
}

bool CDlgMain::ConnectAllowed() const {
  const int state = ShownConnectionState();
  if (state == 1 || state == 2) return true;
  if (state != 0) return false;
  return Registered(values_.PsNetworkState) &&
         (settings_.ForeignConnectionFriendlyMode != 0 || ActiveConnections() == 0);
}

void CDlgMain::RefreshConnectButton() {
  const int state = ShownConnectionState();
  connect_->setText(ProgramText(state == 0 ? kConnectStringId : kDisconnectStringId));
  const bool enable = ConnectAllowed();
  connect_->setEnabled(enable);
  if (enable && isActiveWindow() && QApplication::focusWidget() == nullptr) connect_->setFocus();
}

bool CDlgMain::TechnologyButtonsAllowed() const {
  return settings_.LastTechnologySelectionModeSupported != 0 &&
         (values_.DriverCapabilities() & CardDriverCapabilitiesTechnologySelection) != 0 &&
         ShownConnectionState() == 0 && values_.RadioState == 1;
}

bool CDlgMain::ProfileFieldsAllowed() const {
  return ShownConnectionState() == 0 && values_.PinPukState == CachedDravikValues::kPinPukReady;
}

void CDlgMain::EnableTechnologyButtons(bool enable) {
  for (QRadioButton* button : technology_buttons_) button->setEnabled(enable);
}

void CDlgMain::EnablePinButtons(bool enable) {
  pin_enabled_->setEnabled(enable);
  pin_disabled_->setEnabled(enable);
}

void CDlgMain::EnableProfileFields(bool enable) {
  user_name_->setEnabled(enable);
  password_->setEnabled(enable);
  apn_->setEnabled(enable);
  automatic_->setEnabled(enable);
  save_->setEnabled(enable && unsaved_edits_);
}

void CDlgMain::ReenableControls() {
  EnableTechnologyButtons(TechnologyButtonsAllowed());
  EnablePinButtons(values_.DeviceState != CachedDravikValues::kDeviceNotPresent &&
                   values_.PinPukState == CachedDravikValues::kPinPukReady);
  EnableProfileFields(ProfileFieldsAllowed());
  RestoreFocus();
}

void CDlgMain::RememberFocus() {
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && isAncestorOf(focus)) remembered_focus_ = focus;
}

void CDlgMain::RestoreFocus() {
  QWidget* focus = QApplication::focusWidget();
  if ((focus == nullptr || !isAncestorOf(focus)) && remembered_focus_ && remembered_focus_->isEnabled() &&
      isActiveWindow()) {
    remembered_focus_->setFocus();
  }
}

void CDlgMain::DisableForRequest() {
  RememberFocus();
  EnableTechnologyButtons(false);
  EnablePinButtons(false);
  EnableProfileFields(false);
}

bool CDlgMain::Ask(const QString& text, bool ok_cancel) {
  if (ask_) return ask_(text, ok_cancel);
  QMessageBox box(ok_cancel ? QMessageBox::Question : QMessageBox::Information, windowTitle(), text,
                  ok_cancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
  return box.exec() == QMessageBox::Ok;
}

bool CDlgMain::Post(uint32_t request, uintptr_t wparam, intptr_t lparam) {
  if (!worker_) {
    CWorkerThread::FreeRequestRecords(request, wparam, lparam);
    return false;
  }
  return worker_->Post(request, wparam, lparam);
}

// --- Connection -------------------------------------------------------------

void CDlgMain::ConnectDisconnect(bool ask_roaming) {
  const int state = ShownConnectionState();
  if (ask_roaming && settings_.RoamingAware != 0 && state == 0 && values_.PsNetworkState == 5 &&
      !Ask(ProgramText(kRoamingQuestionStringId), true)) {
    XLogLevel(kXLogTrace, "CDlgMain::ConnectDisconnect, RoamingAware. Connection cancelled.");
    return;
  }
  requested_connection_state_ = state == 0 ? 1 : 3;
  RefreshConnectButton();
  RefreshStatus();
  // The profile and the technology stay as they are while a connection is
  // under way.
  EnableTechnologyButtons(TechnologyButtonsAllowed());
  EnableProfileFields(ProfileFieldsAllowed());
  Post(WM_APP_CONNECT, 0, state == 0 ? 1 : 0);
}

void CDlgMain::OnConnectionState() {
  requested_connection_state_.reset();
  RefreshConnectButton();
  RefreshTraffic();
  EnableTechnologyButtons(TechnologyButtonsAllowed());
  EnableProfileFields(ProfileFieldsAllowed());
  if (exit_pending_ && ShownConnectionState() == 0) OnExit();
}

void CDlgMain::OnForeignConnections() {
  const int state = ShownConnectionState();
  if ((state == 1 || state == 2) && settings_.ForeignConnectionFriendlyMode == 0 &&
      ActiveConnections() > 1) {
    ConnectDisconnect(false);
  } else if (state == 0) {
    RefreshConnectButton();
    // The foreign-connection pane reads the same count: it follows at once
    // rather than at the next change of the card's state.
    RefreshStatus();
  }
}
