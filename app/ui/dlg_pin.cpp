#include "app/ui/dlg_pin.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "foundation/xlog.h"

CDlgPin::CDlgPin(platform::HWND result_window, QWidget* parent)
    : CDlgAuthentication(result_window, parent) {
  Layout();
  UpdateOk();
}

void CDlgPin::Layout() {
  setWindowTitle(QStringLiteral("Authorization"));
  setAccessibleName(windowTitle());
  const QString label = QStringLiteral("Enter PIN code");
  pin_ = MakeCodeEdit("pin", label);

  auto* layout = new QFormLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addRow(label, pin_);
  layout->addRow(TrialsLine());
  layout->addRow(Buttons());
}

void CDlgPin::Open(int mode, int trials_left, bool retry_counters_supported) {
  WipeField(*pin_);
  RefreshTrialsLine(trials_left, retry_counters_supported);
  UpdateOk();
  pin_->setFocus();
  mode_ = mode;
  ShowForward();
}

std::u16string CDlgPin::TakePin() { return TakeText(*pin_); }

bool CDlgPin::CanAccept() const { return TrimmedLength(*pin_) >= kMinPinLength; }

void CDlgPin::OnOk() {
  XLogLevel(kXLogTrace, "CDlgPin::OnOK, [%d].", mode_);
  PostResult(kPinResultMessage, kEntered, 0);
  hide();
}

void CDlgPin::OnCancel() {
  if (mode_ == kModeEnter && !Ask(ProgramText(kCancelQuestionStringId))) return;
  XLogLevel(kXLogTrace, "CDlgPin::OnCancel, [%d].", mode_);
  WipeField(*pin_);
  hide();
  PostResult(kPinResultMessage, kCancelled, 0);
}
