// Start-up's user interface on Qt Widgets: message boxes captioned with the
// application title, the main window, and the hand-over of other instances'
// messages from the listener's thread to the user-interface thread.
#pragma once

#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "app/app_ui.h"
#include "app/ui/dlg_main.h"
#include "platform/unique_fd.h"

class QtAppUi final : public CAppUi {
 public:
  // Create on the user-interface thread, after the application object.
  QtAppUi();
  ~QtAppUi() override;

  void Initialize(std::u16string_view title) override;
  void ShowMessageBox(std::u16string_view text) override;
  WindowResult CreateMainWindow() override;
  void ShowMainWindow() override;
  void PostToMainWindow(uint32_t message, uintptr_t wparam, intptr_t lparam) override;

  // The main window once made (null before, and after it ended).
  CDlgMain* MainWindow() const { return window_.data(); }

 private:
  using Message = std::tuple<uint32_t, uintptr_t, intptr_t>;

  void DeliverPosted();

  QString title_;
  QPointer<CDlgMain> window_;

  // Messages from the listener's thread wait here; an eventfd wakes the
  // user-interface thread, which takes them under the lock. Nothing but the
  // plain queue crosses threads, so ownership never passes through Qt's
  // event queue.
  std::mutex posted_mutex_;
  std::vector<Message> posted_;
  platform::UniqueFd wake_;
  std::unique_ptr<QSocketNotifier> wake_notifier_;
};
