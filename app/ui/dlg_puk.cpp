#include "app/ui/dlg_puk.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "foundation/xlog.h"

CDlgPuk::CDlgPuk(platform::HWND result_window, QWidget* parent)
    : CDlgAuthentication(result_window, parent) {
  Layout();
  UpdateOk();
}

void CDlgPuk::Layout() {
  setWindowTitle(QStringLiteral("Authorization"));
  setAccessibleName(windowTitle());
  const QString puk_label = QStringLiteral("Enter PUK code");
  const QString new_pin_label = QStringLiteral("Enter PIN code");
  const QString confirm_label = QStringLiteral("Confirm PIN code");
  puk_ = MakeCodeEdit("puk", puk_label);
  new_pin_ = MakeCodeEdit("new_pin", new_pin_label);
  confirm_pin_ = MakeCodeEdit("confirm_pin", confirm_label);

  auto* layout = new QFormLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addRow(puk_label, puk_);
  layout->addRow(new_pin_label, new_pin_);
  layout->addRow(confirm_label, confirm_pin_);
  layout->addRow(TrialsLine());
  layout->addRow(Buttons());
}

void CDlgPuk::Open(int trials_left, bool retry_counters_supported, bool quiet_cancel) {
  WipeFields();
  RefreshTrialsLine(trials_left, retry_counters_supported);
  UpdateOk();
  puk_->setFocus();
  quiet_cancel_ = quiet_cancel;
  ShowForward();
}

std::u16string CDlgPuk::TakePuk() { return TakeText(*puk_); }

std::u16string CDlgPuk::TakeNewPin() {
  WipeField(*confirm_pin_);
  return TakeText(*new_pin_);
}

bool CDlgPuk::CanAccept() const {
  const QString& puk = puk_->text();
  const bool puk_complete =
      puk.size() == kPukLength &&
      std::all_of(puk.begin(), puk.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
  return puk_complete && TrimmedLength(*new_pin_) >= kMinPinLength &&
         TrimmedLength(*confirm_pin_) >= kMinPinLength;
}

void CDlgPuk::OnOk() {
  // Compared in place: the texts share the fields' buffers.
  if (new_pin_->text() != confirm_pin_->text()) {
    XLogLevel(kXLogTrace, "CDlgPuk::OnOK, the new PINs differ.");
    Tell(ProgramText(kDifferentPinsStringId));
    new_pin_->setFocus();
    return;
  }
  XLogLevel(kXLogTrace, "CDlgPuk::OnOK.");
  PostResult(kPukResultMessage, kEntered, 0);
  hide();
}

void CDlgPuk::OnCancel() {
  if (!quiet_cancel_ && !Ask(ProgramText(kCancelQuestionStringId))) return;
  XLogLevel(kXLogTrace, "CDlgPuk::OnCancel.");
  WipeFields();
  hide();
  PostResult(kPukResultMessage, kCancelled, 0);
}
