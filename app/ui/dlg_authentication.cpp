#include "app/ui/dlg_authentication.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <utility>

#include "app/app_main.h"
#include "app/string_loader.h"
#include "app/ui/qt_text.h"
#include "foundation/xlog.h"

namespace {


// The trials line's colour for a window background: the brown itself on a
// light background; on a dark one (a dark desktop theme) the same hue
// lightened, since the brown would hardly read there.
QColor TrialsColour(const QColor& background) {
  const QColor brown(CDlgAuthentication::kTrialsRed, CDlgAuthentication::kTrialsGreen,
                     CDlgAuthentication::kTrialsBlue);
  return background.lightnessF() < 0.5 ? brown.lighter(230) : brown;
}

}  // namespace

CDlgAuthentication::CDlgAuthentication(platform::HWND result_window, QWidget* parent)
    : QDialog(parent), result_window_(result_window) {
  trials_template_ = ToQString(LoadProgramString(kTrialsLeftStringId));

  trials_line_ = new QLabel(this);
  trials_line_->setObjectName(QStringLiteral("trials_left"));
  trials_line_->hide();
  ApplyTrialsColour();

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->setObjectName(QStringLiteral("buttons"));
  QPushButton* ok = buttons_->button(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons_->button(QDialogButtonBox::Cancel);
  // Enter presses OK while it is enabled; Escape goes to reject().
  ok->setDefault(true);
  ok->setAccessibleName(ok->text().remove(QLatin1Char('&')));
  cancel->setAccessibleName(cancel->text().remove(QLatin1Char('&')));
  buttons_->setAccessibleName(QStringLiteral("OK / Cancel"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &CDlgAuthentication::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &CDlgAuthentication::reject);
}

CDlgAuthentication::~CDlgAuthentication() {
  // The derived dialog is gone: its OK rule must not run on the changes.
  for (QLineEdit* edit : code_edits_) edit->blockSignals(true);
  WipeFields();
}

void CDlgAuthentication::SetConfirm(Confirm confirm) { confirm_ = std::move(confirm); }

void CDlgAuthentication::SetInform(Inform inform) { inform_ = std::move(inform); }

void CDlgAuthentication::SetApplicationName(QString name) { application_name_ = std::move(name); }

QString CDlgAuthentication::ApplicationName() const {
  if (!application_name_.isEmpty()) return application_name_;
  if (parentWidget() != nullptr && !parentWidget()->window()->windowTitle().isEmpty()) {
    return parentWidget()->window()->windowTitle();
  }
  return ToQString(LoadProgramString(CAppMain::kTitleStringId));
}

QLineEdit* CDlgAuthentication::MakeCodeEdit(const char* object_name, const QString& label) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(object_name));
  edit->setAccessibleName(label);
  edit->setMaxLength(kMaxCodeLength);
  edit->setEchoMode(QLineEdit::Password);
  edit->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
  edit->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kMaxCodeLength)), edit));
  connect(edit, &QLineEdit::textChanged, this, [this] { UpdateOk(); });
  code_edits_.push_back(edit);
  return edit;
}

void CDlgAuthentication::RefreshTrialsLine(int trials_left, bool retry_counters_supported) {
  if (!retry_counters_supported || trials_left < 0) {
    trials_line_->hide();
    trials_line_->clear();
    return;
  }
  QString text = trials_template_;
  const qsizetype at = text.indexOf(QStringLiteral("%d"));
  if (at >= 0) text.replace(at, 2, QString::number(trials_left));
  trials_line_->setText(text);
  trials_line_->setAccessibleName(text);
  trials_line_->show();
}

void CDlgAuthentication::UpdateOk() {
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(CanAccept());
}

void CDlgAuthentication::ShowForward() {
  show();
  raise();
  activateWindow();
}

void CDlgAuthentication::PostResult(uint32_t message, platform::WPARAM result,
                                    platform::LPARAM source) const {
  if (!platform::PostMessage(result_window_, message, result, source)) {
    XLogLevel(kXLogError, "CDlgAuthentication::PostResult, PostMessage, %u: NOK.",
              static_cast<unsigned>(message));
  }
}

bool CDlgAuthentication::Ask(const QString& text) const {
  if (confirm_) return confirm_(text);
  const auto answer =
      QMessageBox::question(const_cast<CDlgAuthentication*>(this), ApplicationName(), text,
                            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
  return answer == QMessageBox::Ok;
}

void CDlgAuthentication::Tell(const QString& text) const {
  if (inform_) {
    inform_(text);
    return;
  }
  QMessageBox::warning(const_cast<CDlgAuthentication*>(this), ApplicationName(), text);
}

QString CDlgAuthentication::ProgramText(unsigned id) const {
  const std::u16string name = ApplicationName().toStdU16String();
  return ToQString(ReplaceFirstPlaceholder(LoadProgramString(id), name));
}

std::u16string CDlgAuthentication::TakeText(QLineEdit& edit) {
  // The copy shares the field's buffer; once the field lets go of it (setText
  // also drops the field's undo history) the copy is its only owner, and
  // filling it wipes that buffer in place.
  QString text = edit.text();
  edit.setText(QString());
  std::u16string taken(reinterpret_cast<const char16_t*>(text.utf16()),
                       static_cast<size_t>(text.size()));
  text.fill(QChar(u'\0'));
  return taken;
}

void CDlgAuthentication::WipeField(QLineEdit& edit) {
  std::u16string text = TakeText(edit);
  std::fill(text.begin(), text.end(), u'\0');
}

qsizetype CDlgAuthentication::TrimmedLength(const QLineEdit& edit) {
  // The text shares the field's buffer: no copy of the code is made.
  const QString& text = edit.text();
  return QStringView(text).trimmed().size();
}

void CDlgAuthentication::WipeFields() {
  for (QLineEdit* edit : code_edits_) WipeField(*edit);
}

void CDlgAuthentication::accept() {
  if (CanAccept()) OnOk();
}

void CDlgAuthentication::reject() { OnCancel(); }

void CDlgAuthentication::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyTrialsColour();
}

void CDlgAuthentication::ApplyTrialsColour() {
  QPalette palette = trials_line_->palette();
  palette.setColor(QPalette::WindowText, TrialsColour(this->palette().color(backgroundRole())));
  trials_line_->setPalette(palette);
}
