// The main window's code and error dialogs as the program shows them: the
// PIN, PUK and change-PIN dialogs, which post their results to the main
// window's platform window, and the error window. Each is created on first
// use and kept until the main window goes.
#pragma once

#include <QPointer>
#include <memory>

#include "app/ui/code_dialogs.h"
#include "app/ui/dlg_change_pin.h"
#include "app/ui/dlg_error.h"
#include "app/ui/dlg_pin.h"
#include "app/ui/dlg_puk.h"
#include "platform/window.h"

class CProgramCodeDialogs final : public CCodeDialogs {
 public:
  CProgramCodeDialogs(platform::HWND result_window, QWidget* parent);
  ~CProgramCodeDialogs() override;

  void OpenPin(int mode, int trials_left, bool retry_counters_supported) override;
  int PinMode() const override;
  bool HasPinDialog() const override { return pin_ != nullptr; }
  QString TakePin() override;
  void OpenPuk(int trials_left, bool retry_counters_supported, bool quiet_cancel) override;
  QString TakePuk() override;
  QString TakeNewPin() override;
  QString TakeChangeOldPin() override;
  QString TakeChangeNewPin() override;
  void HideCodeDialogs() override;
  void ShowError(const QString& text) override;
  bool ErrorShown() const override;
  QWidget* ForemostVisible() const override;

 private:
  platform::HWND result_window_;
  QWidget* parent_;
  QPointer<CDlgPin> pin_;
  QPointer<CDlgPuk> puk_;
  QPointer<CDlgChangePin> change_pin_;
  QPointer<CDlgError> error_;
};
