#include "app/ui/dlg_error.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ui/window_placement.h"

CDlgError::CDlgError(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Error"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setObjectName(QStringLiteral("errorDialog"));
  Layout();
}

void CDlgError::Layout() {
  icon_ = new QLabel(this);
  icon_->setObjectName(QStringLiteral("errorIcon"));
  icon_->setAccessibleName(QStringLiteral("Warning"));
  icon_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  UpdateIcon();

  // Plain text keeps the texts' line breaks; the user may select and copy it,
  // with the mouse or, after Tab, with the keyboard.
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("errorText"));
  text_->setAccessibleName(QStringLiteral("Error message"));
  text_->setTextFormat(Qt::PlainText);
  text_->setWordWrap(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setMinimumWidth(text_->fontMetrics().averageCharWidth() * 40);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close_ = buttons_->button(QDialogButtonBox::Close);
  close_->setObjectName(QStringLiteral("closeButton"));
  close_->setAccessibleName(QStringLiteral("Close"));
  close_->setDefault(true);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* message = new QHBoxLayout;
  message->addWidget(icon_, 0, Qt::AlignTop);
  message->addWidget(text_, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(message);
  column->addWidget(buttons_);
  column->setSizeConstraint(QLayout::SetFixedSize);
  setTabOrder(close_, text_);
}

void CDlgError::UpdateIcon() {
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
}

void CDlgError::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::StyleChange && icon_ != nullptr) UpdateIcon();
}

void CDlgError::ShowError(const QString& text) {
  text_->setText(text);
  setAccessibleDescription(text);
  if (!isVisible()) CentreWindow(this);
  BringToForeground(this);
  close_->setFocus(Qt::ActiveWindowFocusReason);
}

bool CDlgError::IsShown() const { return isVisible(); }

QString CDlgError::Text() const { return text_->text(); }
