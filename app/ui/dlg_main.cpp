#include "app/ui/dlg_main.h"

#include <QCloseEvent>
#include <QShowEvent>

#include "app/app_main.h"
#include "foundation/xlog.h"
#include "platform/thread.h"

CDlgMain::CDlgMain(const QString& title) {
  setWindowTitle(title);
  setMinimumSize(360, 240);
  XLogLevel(kXLogTrace, "CDlgMain::OnInitDialog, [%d].",
            static_cast<int>(platform::GetCurrentThreadId()));
}

void CDlgMain::HandleMessage(uint32_t message, uintptr_t wparam, intptr_t /*lparam*/) {
  if (message == CAppMain::WM_APP_SHOW_MAIN) {
    ShowAndActivate();
  } else if (message == platform::WM_COMMAND && (wparam & 0xFFFF) == CAppMain::kExitCommand) {
    OnExit();
  }
}

void CDlgMain::ShowAndActivate() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void CDlgMain::reject() { hide(); }

void CDlgMain::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

void CDlgMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  XLogLevel(kXLogTrace, "CDlgMain::OnShowWindow, shown.");
}

void CDlgMain::OnExit() {
  XLogLevel(kXLogTrace, "CDlgMain::OnExit");
  // Destroying the main window ends the program (the owner quits the loop
  // when it goes).
  deleteLater();
}
