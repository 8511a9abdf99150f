#include "app/ui/dlg_change_pin.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "foundation/xlog.h"

CDlgChangePin::CDlgChangePin(platform::HWND result_window, QWidget* parent)
    : CDlgAuthentication(result_window, parent) {
  Layout();
  UpdateOk();
}

void CDlgChangePin::Layout() {
  setWindowTitle(QStringLiteral("Authorization"));
  setAccessibleName(windowTitle());
  const QString old_label = QStringLiteral("Enter current PIN code");
  const QString new_label = QStringLiteral("Enter new PIN code");
  const QString confirm_label = QStringLiteral("Confirm new PIN code");
  old_pin_ = MakeCodeEdit("current_pin", old_label);
  new_pin_ = MakeCodeEdit("new_pin", new_label);
  confirm_pin_ = MakeCodeEdit("confirm_pin", confirm_label);

  auto* layout = new QFormLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addRow(old_label, old_pin_);
  layout->addRow(new_label, new_pin_);
  layout->addRow(confirm_label, confirm_pin_);
  layout->addRow(TrialsLine());
  layout->addRow(Buttons());
}

void CDlgChangePin::Open(int trials_left, bool retry_counters_supported) {
  WipeFields();
  RefreshTrialsLine(trials_left, retry_counters_supported);
  UpdateOk();
  old_pin_->setFocus();
  ShowForward();
}

std::u16string CDlgChangePin::TakeOldPin() { return TakeText(*old_pin_); }

std::u16string CDlgChangePin::TakeNewPin() {
  WipeField(*confirm_pin_);
  return TakeText(*new_pin_);
}

bool CDlgChangePin::CanAccept() const {
  // Compared in place: the texts share the fields' buffers.
  return TrimmedLength(*old_pin_) >= kMinPinLength && TrimmedLength(*new_pin_) >= kMinPinLength &&
         new_pin_->text() == confirm_pin_->text();
}

void CDlgChangePin::OnOk() {
  XLogLevel(kXLogTrace, "CDlgChangePin::OnOK.");
  PostResult(kPinResultMessage, kEntered, kFromChangePin);
  hide();
}

void CDlgChangePin::OnCancel() {
  XLogLevel(kXLogTrace, "CDlgChangePin::OnCancel.");
  WipeFields();
  hide();
  PostResult(kPinResultMessage, kCancelled, kFromChangePin);
}
