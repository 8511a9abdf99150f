// The two input fields of the SMS editor. Both check what is typed one
// character after the other and what is pasted (or dropped) character by
// character at the places it would take; a paste with any refused character
// is refused whole. Ctrl+A selects all and Ctrl+Z undoes, as in any field.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QValidator>

// The recipient: a number the message can be sent to (sms_text_rules.h). An
// address that is no such number (a sender's name a reply filled in) can
// only be deleted.
class SmsRecipientEdit final : public QLineEdit {
 public:
  explicit SmsRecipientEdit(QWidget* parent = nullptr);

  // Fills the field (a reply's address, a draft's recipient) without the
  // rules: the next edit is judged against this text.
  void SetRecipient(const QString& text);

 private:
  // Judges an edit against the text the field held before it.
  class Validator final : public QValidator {
   public:
    explicit Validator(const SmsRecipientEdit& edit) : edit_(edit) {}
    State validate(QString& input, int& position) const override;

   private:
    const SmsRecipientEdit& edit_;
  };

  Validator validator_{*this};
  QString accepted_;  // the text of the last edit that stood
};

// The message: only what the coding carries, and only while it fits in the
// 255 parts of the longest message. Line breaks are line feeds.
class SmsMessageEdit final : public QPlainTextEdit {
 public:
  explicit SmsMessageEdit(QWidget* parent = nullptr);

  void SetUnicode(bool unicode) { unicode_ = unicode; }
  bool Unicode() const { return unicode_; }
  QString Text() const { return toPlainText(); }
  // Replaces the whole text as one step the user can undo, keeping the
  // caret where it was (or at the end when the text got shorter).
  void ReplaceText(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  // Whether `inserted` may replace the selection.
  bool Accepts(const QString& inserted) const;

  bool unicode_ = false;
};
