// The program's entries in the notification area. `CNotifyIcon` owns one
// entry; `CNotifyIconHk` is the main icon with the program's context menu;
// `CNotifyIconSms` announces new short messages and a full SIM store. The
// main window owns both, receives their clicks as its callback messages
// (wParam the icon's identifier, lParam the mouse message) and decides when
// they are shown.
#pragma once

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/ui/tray_area.h"
#include "platform/window.h"

class QWidget;

class CNotifyIcon {
 public:
  // The longest tooltip an entry carries; longer texts are cut.
  static constexpr int kTooltipMax = 127;
  // Tells the user that an entry could not be made.
  using ErrorReport = std::function<void(const QString& text)>;

  CNotifyIcon(CTrayArea& area, ErrorReport report_error);
  virtual ~CNotifyIcon();
  CNotifyIcon(const CNotifyIcon&) = delete;
  CNotifyIcon& operator=(const CNotifyIcon&) = delete;

  // Also makes the (not yet shown) entry that reports the clicks.
  void SetIdentity(platform::HWND owner, uint32_t id, uint32_t callback_message, const QIcon& icon);
  // Adds the entry unless it exists. A failure leaves it absent, so that the
  // next call tries again; the user hears of it once, and a desktop without
  // a notification area is only noted in the log.
  bool Create();
  virtual void Destroy();
  // Only while the entry exists; null gives an empty tooltip.
  void SetText(const QString* text);

  bool Created() const { return created_; }
  QString Text() const { return text_; }
  QIcon Icon() const { return icon_; }

 protected:
  void SetIcon(const QIcon& icon) { icon_ = icon; }

 private:
  CTrayArea& area_;
  ErrorReport report_error_;
  std::unique_ptr<CTrayEntry> entry_;
  platform::HWND owner_ = nullptr;
  uint32_t id_ = 0;
  uint32_t callback_message_ = 0;
  QIcon icon_;
  QString text_;
  bool created_ = false;
  bool failure_reported_ = false;
};

class CNotifyIconHk final : public CNotifyIcon {
 public:
  static constexpr uintptr_t kConnectItem = 1297;
  static constexpr uintptr_t kOpenItem = 1298;

  // The context menu holds "Open <application>" (the default item) and
  // "Connect"; the main window appends its entries. `on_command` receives
  // the command of the item chosen.
  CNotifyIconHk(CTrayArea& area, ErrorReport report_error, const QString& application_name,
                std::function<void(uintptr_t command)> on_command, QWidget* menu_parent);
  ~CNotifyIconHk() override;

  QMenu* Menu() const { return menu_; }
  // The menu's Connect item as the Connect button shows it.
  void SetConnectItem(bool disconnected, bool enabled);

 private:
  QPointer<QMenu> menu_;
  QPointer<QAction> connect_action_;
};

class CNotifyIconSms final : public CNotifyIcon {
 public:
  enum State { kNewMessage = 0, kStorageFull = 1, kHidden = 2 };

  CNotifyIconSms(CTrayArea& area, ErrorReport report_error);

  // Shows the entry for `state` with its text and icon, or removes it.
  void SetState(State state);
  State GetState() const { return state_; }
  void Destroy() override;

 private:
  State state_ = kHidden;
};
