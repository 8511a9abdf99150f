#include "app/ui/notify_icon.h"

#include <QAction>
#include <QFont>
#include <QMenu>

#include "app/ui/main_window_texts.h"
#include "app/ui/tray_icons.h"
#include "foundation/xlog.h"

namespace {

constexpr unsigned kConnectStringId = 124;
constexpr unsigned kDisconnectStringId = 125;
constexpr unsigned kNewMessageStringId = 200;
constexpr unsigned kStorageFullStringId = 201;

}  // namespace

// --- CNotifyIcon -------------------------------------------------------------

CNotifyIcon::CNotifyIcon(CTrayArea& area, ErrorReport report_error)
    : area_(area), report_error_(std::move(report_error)) {}

CNotifyIcon::~CNotifyIcon() {
  if (created_ && entry_) entry_->Remove();
}

void CNotifyIcon::SetIdentity(platform::HWND owner, uint32_t id, uint32_t callback_message, const QIcon& icon) {
  owner_ = owner;
  id_ = id;
  callback_message_ = callback_message;
  icon_ = icon;
  if (!entry_) {
    entry_ = area_.NewEntry([this](intptr_t mouse_message) {
      if (owner_ != nullptr) platform::PostMessage(owner_, callback_message_, id_, mouse_message);
    });
  }
}

bool CNotifyIcon::Create() {
  if (created_) return true;
  if (!area_.Available()) {
    if (!failure_reported_) {
      XLogLevel(kXLogWarning, "CNotifyIcon::Create, the desktop has no notification area; the main window stays "
                              "reachable.");
      failure_reported_ = true;
    }
    return false;
  }
  if (!entry_ || !entry_->Add(icon_, text_)) {
    XLogLevel(kXLogError, "CNotifyIcon::Create, Shell_NotifyIcon: NOK.");
    // Once: a refresh tries again, and a message box at each would pile up.
    if (!failure_reported_ && report_error_) report_error_(QStringLiteral("Application error."));
    failure_reported_ = true;
    return false;
  }
  created_ = true;
  return true;
}

void CNotifyIcon::Destroy() {
  if (!created_) return;
  if (entry_->Remove()) {
    created_ = false;
  } else {
    XLogLevel(kXLogError, "CNotifyIcon::Destroy, Shell_NotifyIcon: 0x%x.", 0u);
  }
}

void CNotifyIcon::SetText(const QString* text) {
  if (!created_) {
    XLogLevel(kXLogError, "CNotifyIcon::SetText: improper call, ignored.");
    return;
  }
  text_ = text != nullptr ? text->left(kTooltipMax) : QString();
  if (!entry_->SetTooltip(text_)) XLogLevel(kXLogError, "CNotifyIcon::SetText, Shell_NotifyIcon: 0x%x.", 0u);
}

// --- CNotifyIconHk -----------------------------------------------------------

CNotifyIconHk::CNotifyIconHk(CTrayArea& area, ErrorReport report_error, const QString& application_name,
                             std::function<void(uintptr_t command)> on_command, QWidget* menu_parent)
    : CNotifyIcon(area, std::move(report_error)), menu_(new QMenu(menu_parent)) {
  menu_->setObjectName(QStringLiteral("tray_menu"));
  SetIcon(MainTrayIcon());
  QString open = ProgramText(CNotifyIconHk::kOpenItem);
  if (open.contains(QStringLiteral("%s"))) open.replace(QStringLiteral("%s"), MenuEscaped(application_name));
  QAction* open_action = menu_->addAction(open);
  QFont bold = open_action->font();
  bold.setBold(true);
  open_action->setFont(bold);
  menu_->setDefaultAction(open_action);
  QObject::connect(open_action, &QAction::triggered, menu_, [on_command] { on_command(kOpenItem); });
  connect_action_ = menu_->addAction(ProgramText(kConnectStringId));
  QObject::connect(connect_action_, &QAction::triggered, menu_, [on_command] { on_command(kConnectItem); });
}

CNotifyIconHk::~CNotifyIconHk() { delete menu_.data(); }

void CNotifyIconHk::SetConnectItem(bool disconnected, bool enabled) {
  if (connect_action_ == nullptr) return;
  connect_action_->setText(ProgramText(disconnected ? kConnectStringId : kDisconnectStringId));
  connect_action_->setEnabled(enabled);
}

// --- CNotifyIconSms ----------------------------------------------------------

CNotifyIconSms::CNotifyIconSms(CTrayArea& area, ErrorReport report_error)
    : CNotifyIcon(area, std::move(report_error)) {}

void CNotifyIconSms::SetState(State state) {
  Destroy();
  if (state == kNewMessage || state == kStorageFull) {
    SetIcon(SmsTrayIcon(state == kStorageFull));
    if (Create()) {
      const QString text = ProgramText(state == kStorageFull ? kStorageFullStringId : kNewMessageStringId);
      SetText(&text);
    }
  }
  state_ = state;
}

void CNotifyIconSms::Destroy() {
  CNotifyIcon::Destroy();
  state_ = kHidden;
}
