#include "app/ui/apn_line_edit.h"

bool IsApnText(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    const bool allowed = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
                         u == u'.' || u == u'-';
    if (!allowed) return false;
  }
  return true;
}

QValidator::State ApnValidator::validate(QString& input, int& /*position*/) const {
  return IsApnText(input) ? Acceptable : Invalid;
}

ApnLineEdit::ApnLineEdit(QWidget* parent) : QLineEdit(parent) {
  setMaxLength(kMaxLength);
  // The line edit runs the validator on the text an edit would leave and
  // reverts the whole edit when it is invalid: a paste is taken or refused
  // in one piece.
  setValidator(&validator_);
}
