// The code and error dialogs the main window uses until the PIN, PUK and
// error dialogs bind: plain input boxes for the codes, which post their
// results to the main window's platform window as the real dialogs do, and a
// message box for errors.
#pragma once

#include <QPointer>
#include <QString>
#include <utility>

#include "app/ui/code_dialogs.h"
#include "platform/window.h"

#include <QInputDialog>
#include <QMessageBox>
class QWidget;

class CInterimCodeDialogs final : public CCodeDialogs {
 public:
  CInterimCodeDialogs(platform::HWND result_window, QWidget* parent, QString title);
  ~CInterimCodeDialogs() override;

  void OpenPin(int mode, int trials_left, bool retry_counters_supported) override;
  int PinMode() const override { return pin_mode_; }
  bool HasPinDialog() const override { return pin_ != nullptr; }
  QString TakePin() override { return std::exchange(pin_text_, QString()); }
  void OpenPuk(int trials_left, bool retry_counters_supported, bool quiet_cancel) override;
  QString TakePuk() override { return std::exchange(puk_text_, QString()); }
  QString TakeNewPin() override { return std::exchange(new_pin_text_, QString()); }
  QString TakeChangeOldPin() override { return {}; }
  QString TakeChangeNewPin() override { return {}; }
  void HideCodeDialogs() override;
  void ShowError(const QString& text) override;
  bool ErrorShown() const override;
  QWidget* ForemostVisible() const override;

 private:
  QInputDialog* MakeCodeBox(const QString& label);

  platform::HWND result_window_;
  QWidget* parent_;
  QString title_;
  int pin_mode_ = kPinEnter;
  QString pin_text_;
  QString puk_text_;
  QString new_pin_text_;
  QPointer<QInputDialog> pin_;
  QPointer<QInputDialog> puk_;
  QPointer<QInputDialog> new_pin_;
  QPointer<QMessageBox> error_;
};
