// The base of the dialogs that collect SIM codes (PIN, PUK, PIN change): the
// masked digits-only code fields, the "Trials left" line, the OK button kept
// enabled by the derived dialog's rule, the questions and notices (which tests
// replace), and the result posted as a platform window message to the window
// that handles it (the main window). The dialogs are modeless and re-used: the
// owner opens them again and again, and takes the codes once the result has
// arrived. A code never reaches the log; the copies the dialog makes of one
// are wiped before they are let go.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/window.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CDlgAuthentication : public QDialog {
 public:
  // The results, posted to the result window.
  static constexpr uint32_t kPinResultMessage = platform::WM_APP + 8;  // 32776
  static constexpr uint32_t kPukResultMessage = platform::WM_APP + 9;  // 32777
  static constexpr platform::WPARAM kEntered = 1;
  static constexpr platform::WPARAM kCancelled = 0;
  // lParam of a PIN result that comes from the change-PIN dialog.
  static constexpr platform::LPARAM kFromChangePin = 2;

  // String resources.
  static constexpr unsigned kTrialsLeftStringId = 1051;  // "%d": the counter

  static constexpr int kMaxCodeLength = 8;
  // The shortest PIN the SIM takes.
  static constexpr int kMinPinLength = 4;

  // The brown of the trials line, kept on light windows.
  static constexpr int kTrialsRed = 120;
  static constexpr int kTrialsGreen = 60;
  static constexpr int kTrialsBlue = 0;

  // A question with OK and Cancel: true for OK.
  using Confirm = std::function<bool(const QString& text)>;
  // A notice with OK.
  using Inform = std::function<void(const QString& text)>;

  ~CDlgAuthentication() override;

  // Replace the message boxes (tests); an empty function restores the box.
  void SetConfirm(Confirm confirm);
  void SetInform(Inform inform);

  // The name put into the questions for "%s". Until set, the parent window's
  // title, or else the program's title string.
  void SetApplicationName(QString name);
  QString ApplicationName() const;

  // OK while the derived dialog allows it; Cancel's path (also Escape and
  // the window's close button).
  void accept() override;
  void reject() override;

 protected:
  CDlgAuthentication(platform::HWND result_window, QWidget* parent);

  // A code field: digits only, at most kMaxCodeLength, masked; its changes
  // re-evaluate OK. `object_name` names it for lookups, `label` is the
  // text shown beside it and its accessible name.
  QLineEdit* MakeCodeEdit(const char* object_name, const QString& label);
  // The trials line and the OK / Cancel buttons, for the layout function.
  QLabel* TrialsLine() const { return trials_line_; }
  QDialogButtonBox* Buttons() const { return buttons_; }

  // Shows "Trials left: n" when the device reports retry counters and
  // `trials_left` is not negative; hides the line otherwise.
  void RefreshTrialsLine(int trials_left, bool retry_counters_supported);
  // Enables OK after the derived dialog's rule.
  void UpdateOk();
  // Shows the dialog and brings it forward.
  void ShowForward();

  // Posts a result to the result window (a window that went away is logged).
  void PostResult(uint32_t message, platform::WPARAM result, platform::LPARAM source) const;
  bool Ask(const QString& text) const;
  void Tell(const QString& text) const;
  // Program string `id` with the application name for its "%s".
  QString ProgramText(unsigned id) const;

  // The field's text, taken out: the field is emptied and the copy the dialog
  // held is wiped.
  static std::u16string TakeText(QLineEdit& edit);
  // Empties the field, wiping its text.
  static void WipeField(QLineEdit& edit);
  // The text trimmed at both ends (the length counts; nothing is kept).
  static qsizetype TrimmedLength(const QLineEdit& edit);
  // Empties every code field.
  void WipeFields();

  // Whether OK may be pressed now.
  virtual bool CanAccept() const = 0;
  // OK (button or Enter) while CanAccept() holds.
  virtual void OnOk() = 0;
  // Cancel, Escape or the window's close button.
  virtual void OnCancel() = 0;

  void changeEvent(QEvent* event) override;

 private:
  void ApplyTrialsColour();

  const platform::HWND result_window_;
  QString trials_template_;
  QString application_name_;
  Confirm confirm_;
  Inform inform_;
  QLabel* trials_line_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  std::vector<QLineEdit*> code_edits_;
};
