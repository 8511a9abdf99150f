#include "app/ui/interim_code_dialogs.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <utility>

#include "app/ui/main_window_texts.h"

namespace {

constexpr unsigned kPinRequiredStringId = 177;
constexpr unsigned kPukRequiredStringId = 178;
constexpr uint32_t kPinResult = 32776;
constexpr uint32_t kPukResult = 32777;

}  // namespace

CInterimCodeDialogs::CInterimCodeDialogs(platform::HWND result_window, QWidget* parent, QString title)
    : result_window_(result_window), parent_(parent), title_(std::move(title)) {}

CInterimCodeDialogs::~CInterimCodeDialogs() {
  delete pin_.data();
  delete puk_.data();
  delete new_pin_.data();
  delete error_.data();
}

QInputDialog* CInterimCodeDialogs::MakeCodeBox(const QString& label) {
  auto* box = new QInputDialog(parent_, Qt::Dialog);
  box->setWindowTitle(title_);
  box->setLabelText(label);
  box->setTextEchoMode(QLineEdit::Password);
  box->setInputMethodHints(Qt::ImhDigitsOnly);
  return box;
}

void CInterimCodeDialogs::OpenPin(int mode, int /*trials_left*/, bool /*retry_counters_supported*/) {
  pin_mode_ = mode;
  if (!pin_) {
    pin_ = MakeCodeBox(ProgramText(kPinRequiredStringId));
    QObject::connect(pin_.data(), &QInputDialog::finished, [this](int result) {
      pin_text_ = result == QDialog::Accepted ? pin_->textValue().trimmed() : QString();
      platform::PostMessage(result_window_, kPinResult, result == QDialog::Accepted ? 1 : 0, 0);
    });
  }
  pin_->setTextValue(QString());
  pin_->show();
  pin_->raise();
  pin_->activateWindow();
}

void CInterimCodeDialogs::OpenPuk(int /*trials_left*/, bool /*retry_counters_supported*/, bool /*quiet_cancel*/) {
  if (!puk_) {
    puk_ = MakeCodeBox(ProgramText(kPukRequiredStringId));
    new_pin_ = MakeCodeBox(ProgramText(kPinRequiredStringId));
    QObject::connect(puk_.data(), &QInputDialog::finished, [this](int result) {
      if (result != QDialog::Accepted) {
        platform::PostMessage(result_window_, kPukResult, 0, 0);
        return;
      }
      puk_text_ = puk_->textValue().trimmed();
      new_pin_->setTextValue(QString());
      new_pin_->show();
    });
    QObject::connect(new_pin_.data(), &QInputDialog::finished, [this](int result) {
      new_pin_text_ = result == QDialog::Accepted ? new_pin_->textValue().trimmed() : QString();
      platform::PostMessage(result_window_, kPukResult, result == QDialog::Accepted ? 1 : 0, 0);
    });
  }
  puk_->setTextValue(QString());
  puk_->show();
  puk_->raise();
  puk_->activateWindow();
}

void CInterimCodeDialogs::HideCodeDialogs() {
  for (QInputDialog* box : {pin_.data(), puk_.data(), new_pin_.data()}) {
    if (box != nullptr) box->hide();
  }
}

void CInterimCodeDialogs::ShowError(const QString& text) {
  if (!error_) {
    error_ = new QMessageBox(QMessageBox::Warning, title_, QString(), QMessageBox::Close, parent_);
    error_->setWindowModality(Qt::NonModal);
  }
  error_->setText(text);
  error_->show();
  error_->raise();
  error_->activateWindow();
}

bool CInterimCodeDialogs::ErrorShown() const { return error_ && error_->isVisible(); }

QWidget* CInterimCodeDialogs::ForemostVisible() const {
  if (pin_ && pin_->isVisible()) return pin_.data();
  if (puk_ && puk_->isVisible()) return puk_.data();
  if (new_pin_ && new_pin_->isVisible()) return new_pin_.data();
  if (ErrorShown()) return error_.data();
  return nullptr;
}
