#include "app/ui/program_code_dialogs.h"

#include "app/ui/qt_text.h"
namespace {


}  // namespace

CProgramCodeDialogs::CProgramCodeDialogs(platform::HWND result_window, QWidget* parent)
    : result_window_(result_window), parent_(parent) {}

CProgramCodeDialogs::~CProgramCodeDialogs() {
  delete pin_.data();
  delete puk_.data();
  delete change_pin_.data();
  delete error_.data();
}

void CProgramCodeDialogs::OpenPin(int mode, int trials_left, bool retry_counters_supported) {
  if (!pin_) pin_ = new CDlgPin(result_window_, parent_);
  pin_->Open(mode, trials_left, retry_counters_supported);
  // An error shown meanwhile stays in front of the dialog.
  if (ErrorShown()) {
    error_->raise();
    error_->activateWindow();
  }
}

int CProgramCodeDialogs::PinMode() const { return pin_ ? pin_->Mode() : kPinEnter; }

QString CProgramCodeDialogs::TakePin() { return pin_ ? ToQString(pin_->TakePin()) : QString(); }

void CProgramCodeDialogs::OpenPuk(int trials_left, bool retry_counters_supported, bool quiet_cancel) {
  if (!puk_) puk_ = new CDlgPuk(result_window_, parent_);
  puk_->Open(trials_left, retry_counters_supported, quiet_cancel);
  if (ErrorShown()) {
    error_->raise();
    error_->activateWindow();
  }
}

QString CProgramCodeDialogs::TakePuk() { return puk_ ? ToQString(puk_->TakePuk()) : QString(); }
QString CProgramCodeDialogs::TakeNewPin() { return puk_ ? ToQString(puk_->TakeNewPin()) : QString(); }
QString CProgramCodeDialogs::TakeChangeOldPin() {
  return change_pin_ ? ToQString(change_pin_->TakeOldPin()) : QString();
}
QString CProgramCodeDialogs::TakeChangeNewPin() {
  return change_pin_ ? ToQString(change_pin_->TakeNewPin()) : QString();
}

void CProgramCodeDialogs::HideCodeDialogs() {
  if (pin_) pin_->hide();
  if (puk_) puk_->hide();
  if (change_pin_) change_pin_->hide();
}

void CProgramCodeDialogs::ShowError(const QString& text) {
  if (!error_) {
    error_ = new CDlgError(parent_);
    // Closing the error brings a code dialog that waits back to the front.
    QObject::connect(error_.data(), &QDialog::finished, error_.data(), [this] {
      QWidget* waiting = pin_ && pin_->isVisible() ? static_cast<QWidget*>(pin_.data())
                         : puk_ && puk_->isVisible() ? static_cast<QWidget*>(puk_.data())
                                                     : nullptr;
      if (waiting != nullptr) {
        waiting->raise();
        waiting->activateWindow();
      }
    });
  }
  error_->ShowError(text);
}

bool CProgramCodeDialogs::ErrorShown() const { return error_ && error_->IsShown(); }

QWidget* CProgramCodeDialogs::ForemostVisible() const {
  if (pin_ && pin_->isVisible()) return pin_.data();
  if (puk_ && puk_->isVisible()) return puk_.data();
  if (ErrorShown()) return error_.data();
  return nullptr;
}
