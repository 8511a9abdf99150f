#include "app/ui/dlg_ussd.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <utility>

#include "app/ui/main_window_texts.h"
#include "app/ui/qt_text.h"
#include "app/ui/window_placement.h"
#include "devicelib/dv_api.h"
#include "foundation/xlog.h"

using namespace app_messages;

namespace {

constexpr unsigned kTitleStringId = 1221;
constexpr unsigned kCodeStringId = 1222;
constexpr unsigned kSendStringId = 1223;
constexpr unsigned kReplyStringId = 1224;
constexpr unsigned kSendReplyStringId = 1225;
constexpr unsigned kCancelStringId = 1226;
constexpr unsigned kCloseStringId = 1227;
constexpr unsigned kWaitingStringId = 1228;
constexpr unsigned kCodeHintStringId = 1239;

// Wide enough for a menu line of the network; high enough for a menu.
constexpr int kConversationChars = 44;
constexpr int kConversationLines = 9;

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

QPushButton* Button(QWidget* parent, unsigned string_id, const char* name) {
  auto* button = new QPushButton(ProgramText(string_id), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAccessibleName(Plain(button->text()));
  // Return in a field sends what that field holds, never another button.
  button->setAutoDefault(false);
  return button;
}

QLineEdit* CodeField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setMaxLength(static_cast<int>(kDvUssdCodeMax));
  // A paste with any other character is refused whole, as it would be sent.
  field->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9*#]*")), field));
  return field;
}

}  // namespace

CDlgUssd::CDlgUssd(RequestFunction request, QWidget* parent) : QDialog(parent), request_(std::move(request)) {
  setObjectName(QStringLiteral("ussdDialog"));
  setWindowTitle(ProgramText(kTitleStringId));
  Layout();
  Apply();
}

void CDlgUssd::Layout() {
  code_ = CodeField(this, "code");
  code_->setPlaceholderText(ProgramText(kCodeHintStringId));
  auto* code_label = new QLabel(ProgramText(kCodeStringId), this);
  code_label->setBuddy(code_);
  code_->setAccessibleName(Plain(code_label->text()));
  send_ = Button(this, kSendStringId, "send");

  conversation_ = new QPlainTextEdit(this);
  conversation_->setObjectName(QStringLiteral("conversation"));
  conversation_->setReadOnly(true);
  conversation_->setAccessibleName(windowTitle());
  const QFontMetrics metrics(conversation_->font());
  conversation_->setMinimumSize(metrics.averageCharWidth() * kConversationChars,
                                metrics.lineSpacing() * kConversationLines + 2 * conversation_->frameWidth());

  reply_ = CodeField(this, "reply");
  auto* reply_label = new QLabel(ProgramText(kReplyStringId), this);
  reply_label->setBuddy(reply_);
  reply_->setAccessibleName(Plain(reply_label->text()));
  send_reply_ = Button(this, kSendReplyStringId, "send_reply");

  // The status line: the busy indicator while the network is asked, a
  // warning mark beside a failure.
  busy_ = new QProgressBar(this);
  busy_->setObjectName(QStringLiteral("busy"));
  auto* bar = static_cast<QProgressBar*>(busy_);
  bar->setRange(0, 0);
  bar->setTextVisible(false);
  bar->setMaximumWidth(metrics.averageCharWidth() * 10);
  bar->setAccessibleName(ProgramText(kWaitingStringId));
  status_icon_ = new QLabel(this);
  status_icon_->setObjectName(QStringLiteral("status_icon"));
  const int side = status_icon_->fontMetrics().height();
  status_icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(QSize(side, side)));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  cancel_ = Button(this, kCancelStringId, "cancel");
  close_ = Button(this, kCloseStringId, "close");

  connect(code_, &QLineEdit::textChanged, this, [this] { Apply(); });
  connect(reply_, &QLineEdit::textChanged, this, [this] { Apply(); });
  connect(code_, &QLineEdit::returnPressed, this, [this] { OnSend(); });
  connect(reply_, &QLineEdit::returnPressed, this, [this] { OnReply(); });
  connect(send_, &QPushButton::clicked, this, [this] { OnSend(); });
  connect(send_reply_, &QPushButton::clicked, this, [this] { OnReply(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);

  auto* fields = new QGridLayout;
  fields->addWidget(code_label, 0, 0);
  fields->addWidget(code_, 0, 1);
  fields->addWidget(send_, 0, 2);
  fields->addWidget(conversation_, 1, 0, 1, 3);
  fields->addWidget(reply_label, 2, 0);
  fields->addWidget(reply_, 2, 1);
  fields->addWidget(send_reply_, 2, 2);
  fields->setRowStretch(1, 1);
  fields->setColumnStretch(1, 1);

  auto* status_line = new QHBoxLayout;
  status_line->addWidget(status_icon_, 0, Qt::AlignTop);
  status_line->addWidget(busy_);
  status_line->addWidget(status_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  buttons->addWidget(close_);

  auto* column = new QVBoxLayout(this);
  column->addLayout(fields, 1);
  column->addLayout(status_line);
  column->addLayout(buttons);
}

void CDlgUssd::ShowAndActivate() {
  if (!placed_) {
    CentreWindow(this);
    placed_ = true;
  }
  BringToForeground(this);
  if (code_->isEnabled()) code_->setFocus();
}

void CDlgUssd::SetCardReady(bool ready) {
  if (ready == session_.IsCardReady()) return;
  session_.SetCardReady(ready);
  Apply();
}

void CDlgUssd::OnNews(const UssdNews& news) {
  session_.OnNews(news);
  Apply();
  if (!isVisible() && news.status != UssdNews::kRequestFailed) ShowAndActivate();
}

void CDlgUssd::reject() {
  OnCancel();
  QDialog::reject();
}

void CDlgUssd::OnSend() {
  if (!session_.Allowed().code) return;
  const std::u16string code = ToU16(code_->text());
  if (!session_.Send(code)) return;
  XLogLevel(kXLogTrace, "CDlgUssd::OnSend");
  Apply();
  request_(UssdOperationSend, code);
}

void CDlgUssd::OnReply() {
  if (!session_.Allowed().reply) return;
  const std::u16string reply = ToU16(reply_->text());
  if (!session_.Send(reply)) return;
  XLogLevel(kXLogTrace, "CDlgUssd::OnReply");
  reply_->clear();
  Apply();
  request_(UssdOperationSend, reply);
}

void CDlgUssd::OnCancel() {
  if (!session_.Cancel()) return;
  XLogLevel(kXLogTrace, "CDlgUssd::OnCancel");
  Apply();
  request_(UssdOperationCancel, {});
}

void CDlgUssd::Apply() {
  const CUssdSession::Controls allowed = session_.Allowed();
  const bool code_was_enabled = code_->isEnabled();
  const bool reply_was_enabled = reply_->isEnabled();
  reply_->setEnabled(allowed.reply);
  send_reply_->setEnabled(allowed.reply && CUssdSession::ValidCode(ToU16(reply_->text())));
  cancel_->setEnabled(allowed.cancel);
  // The focus goes where the user acts next, before the field that had it
  // is disabled under it.
  if (allowed.reply && !reply_was_enabled) {
    reply_->setFocus();
  } else if (!allowed.code && (focusWidget() == code_ || focusWidget() == send_)) {
    (allowed.cancel ? cancel_ : close_)->setFocus();
  }
  code_->setEnabled(allowed.code);
  send_->setEnabled(allowed.code && CUssdSession::ValidCode(ToU16(code_->text())));
  if (allowed.code && !code_was_enabled) code_->setFocus();
  busy_->setVisible(allowed.busy);
  const QString status = ToQString(session_.StatusText());
  status_->setText(status);
  status_->setAccessibleName(status);
  status_icon_->setVisible(allowed.error);

  const QString conversation = ToQString(session_.ConversationText());
  if (conversation_->toPlainText() != conversation) {
    conversation_->setPlainText(conversation);
    conversation_->verticalScrollBar()->setValue(conversation_->verticalScrollBar()->maximum());
  }
}
