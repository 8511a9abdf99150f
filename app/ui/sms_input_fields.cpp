#include "app/ui/sms_input_fields.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <algorithm>

#include "app/sms_text_rules.h"

namespace {

std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

}  // namespace

// --- recipient ---------------------------------------------------------------

SmsRecipientEdit::SmsRecipientEdit(QWidget* parent) : QLineEdit(parent) {
  // No length limit of the line edit's own: it would cut a paste to fit,
  // where the rules refuse it whole.
  setValidator(&validator_);
  QObject::connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
}

void SmsRecipientEdit::SetRecipient(const QString& text) {
  // The text the field is given is where the next edit starts from, be it
  // a number or not.
  accepted_ = text;
  setText(text);
}

QValidator::State SmsRecipientEdit::Validator::validate(QString& input, int& /*position*/) const {
  const std::u16string after = ToU16(input);
  if (sms_text::IsRecipient(after)) return Acceptable;
  // The text as it stands, or less of it: kept (not acceptable as a number),
  // so that the line edit never takes the field's state for refused and
  // lets any later edit through.
  if (input == edit_.accepted_ || sms_text::RecipientEditAccepted(ToU16(edit_.accepted_), after)) {
    return Intermediate;
  }
  return Invalid;
}

// --- message -----------------------------------------------------------------

SmsMessageEdit::SmsMessageEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

bool SmsMessageEdit::Accepts(const QString& inserted) const {
  const QTextCursor cursor = textCursor();
  const QString text = toPlainText();
  const int start = std::min(cursor.selectionStart(), static_cast<int>(text.size()));
  const int end = std::min(cursor.selectionEnd(), static_cast<int>(text.size()));
  const std::u16string added = sms_text::WithLineFeeds(ToU16(inserted));
  const QString result = text.left(start) + QString::fromStdU16String(added) + text.mid(end);
  return sms_text::LongInsertionAccepted(added, ToU16(result), unicode_);
}

void SmsMessageEdit::keyPressEvent(QKeyEvent* event) {
  QString inserted;
  const bool command = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
  if (!command && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    inserted = QStringLiteral("\n");
  } else if (!command && !event->text().isEmpty() && event->text().at(0).isPrint()) {
    inserted = event->text();
  }
  if (!inserted.isEmpty() && !isReadOnly() && !Accepts(inserted)) {
    event->accept();
    QApplication::beep();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void SmsMessageEdit::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty() && !Accepts(event->commitString())) {
    QInputMethodEvent without_commit(event->preeditString(), event->attributes());
    QPlainTextEdit::inputMethodEvent(&without_commit);
    QApplication::beep();
    return;
  }
  QPlainTextEdit::inputMethodEvent(event);
}

bool SmsMessageEdit::canInsertFromMimeData(const QMimeData* source) const { return source->hasText(); }

void SmsMessageEdit::insertFromMimeData(const QMimeData* source) {
  if (!source->hasText()) return;
  const std::u16string text = sms_text::WithLineFeeds(ToU16(source->text()));
  const QString inserted = QString::fromStdU16String(text);
  if (!Accepts(inserted)) {
    QApplication::beep();
    return;
  }
  // One step of its own for Ctrl+Z, not merged with the typing before it.
  QTextCursor cursor = textCursor();
  cursor.beginEditBlock();
  cursor.insertText(inserted);
  cursor.endEditBlock();
  setTextCursor(cursor);
  ensureCursorVisible();
}

void SmsMessageEdit::ReplaceText(const QString& text) {
  const int caret = textCursor().position();
  QTextCursor all(document());
  all.beginEditBlock();
  all.select(QTextCursor::Document);
  all.insertText(text);
  all.endEditBlock();
  QTextCursor kept = textCursor();
  kept.setPosition(std::min(caret, static_cast<int>(document()->characterCount()) - 1));
  setTextCursor(kept);
}
