// The program's main window. For now it is the window itself: created hidden
// with the application title, shown and brought forward on the activation
// message of another instance, hidden (not closed) by its Close button and
// Escape, and destroyed by the exit command, which ends the program. The
// device, network and connection display, the profile fields and the tray
// icon move into it with the main-window work.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class CDlgMain : public QDialog {
 public:
  explicit CDlgMain(const QString& title);

  // A message another instance posted to the window's class: the activation
  // message and the exit command; anything else is ignored.
  void HandleMessage(uint32_t message, uintptr_t wparam, intptr_t lparam);

  // WM_APP_SHOW_MAIN: show the window and bring it to the foreground.
  void ShowAndActivate();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnExit();
};
