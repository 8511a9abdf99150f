// The SMS editor: a recipient, a message and its counter of what is left
// (and of the messages a long text takes), the choice of the coding (GSM
// default alphabet or UCS-2) where the build allows it, whether to ask for a
// delivery report, and Send and Save. It remembers the recipient, text and
// SIM slots it was opened with: a draft keeps its slots (one a part of a
// long message), and Save needs a change. Both commands post the text to
// the main window, which hands it to the worker; the editor then closes.
// Owned by the SMS centre.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/cached_dravik.h"
#include "platform/window.h"

class CSettings;
class QAction;
class QCheckBox;
class QLabel;
class QToolBar;
class SmsMessageEdit;
class SmsRecipientEdit;

class CDlgNewSmsMessage : public QDialog {
 public:
  // A question with OK and Cancel, Cancel the default: true for OK.
  using AskFunction = std::function<bool(const QString& text)>;

  // Tool bar commands; their strings hold the name and the tip.
  static constexpr unsigned kSendCommand = 32788;
  static constexpr unsigned kSaveCommand = 32789;

  CDlgNewSmsMessage(platform::HWND main_window, CSettings& settings, AskFunction ask, QWidget* parent);

  // Opens the editor with `title`, `recipient`, `text` and the draft's
  // records, one a SIM slot (none for a new message). The text is first
  // checked against the coding of the SmsCharSet setting; when the user
  // refuses what the check would change, the editor does not open and this
  // is false.
  bool Open(const QString& title, std::u16string_view recipient, std::u16string_view text,
            std::vector<SmsMessage> draft = {});
  // SMS news: the commands follow the SIM, and a draft that left its slot
  // is saved as a new message.
  void OnSmsNews(uintptr_t code);

  // The draft's first slot; kSmsNotOnSim for a new message.
  uint32_t Index() const { return draft_.empty() ? kSmsNotOnSim : draft_.front().Index; }
  QString Recipient() const;
  QString Text() const;
  bool Unicode() const;
  // Whether Send asks the network for a status report (the last choice,
  // remembered in the settings).
  bool DeliveryReport() const;

  // The commands, as the tool bar runs them.
  void Send();
  void Save();

 private:
  void BuildLayout();
  // Asks before the text loses characters (GSM mode) or is cut to the
  // limit; false when the user refuses, `text` then unchanged.
  bool CheckText(std::u16string& text, bool unicode);
  void OnUnicodeToggled(bool unicode);
  void OnMessageChanged();
  void UpdateCounter();
  void UpdateToolBar();
  bool CanSend() const;
  bool CanSave() const;
  void Submit(uintptr_t operation);
  bool Ask(const QString& text);

  platform::HWND main_window_;
  CSettings& settings_;
  AskFunction ask_;
  CachedDravikValues values_;
  bool rewriting_ = false;

  // What the editor was opened with.
  std::u16string opened_recipient_;
  std::u16string opened_text_;
  std::vector<SmsMessage> draft_;

  QToolBar* tool_bar_ = nullptr;
  QAction* send_ = nullptr;
  QAction* save_ = nullptr;
  SmsRecipientEdit* recipient_ = nullptr;
  SmsMessageEdit* message_ = nullptr;
  QLabel* counter_ = nullptr;
  QCheckBox* unicode_ = nullptr;
  QCheckBox* delivery_report_ = nullptr;
};
