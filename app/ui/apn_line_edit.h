// The APN field: letters A-Z and a-z, digits, "." and "-" only. A typed
// character outside that set is dropped, and a paste (or drop) holding one is
// refused whole, so a half-pasted APN never stands in the field.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QValidator>

// True when every character of `text` may stand in an APN.
bool IsApnText(const QString& text);

// Judges the field's whole text after each change: an edit that leaves a
// character outside the set is invalid, and the field undoes all of it.
class ApnValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& position) const override;
};

class ApnLineEdit final : public QLineEdit {
 public:
  static constexpr int kMaxLength = 100;

  explicit ApnLineEdit(QWidget* parent = nullptr);

 private:
  ApnValidator validator_;
};
