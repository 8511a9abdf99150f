// The SMS centre: the SIM's messages in three folders (Inbox, Sent,
// Unsent), the text of the selected one, and the commands New, Reply,
// Forward and Delete; the parts of a long message show as one message, with
// what is still missing of it. It only shows the store of the device cache and never
// changes it: every change of the SIM is posted to the main window, which
// hands it to the worker, and every SMS news the main window passes on
// fills the list afresh. The list holds copies of the records, so nothing it
// shows goes when the worker replaces or empties the store. While the
// worker reads the SIM's messages, a busy indicator says so.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/cached_dravik.h"
#include "platform/window.h"

class CDlgNewSmsMessage;
class CSettings;
class QAction;
class QActionGroup;
class QLabel;
class QPlainTextEdit;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

class CDlgSmsCentre : public QDialog {
 public:
  // A question with OK and Cancel, Cancel the default: true for OK.
  using AskFunction = std::function<bool(const QString& text)>;

  // Tool bar commands; their strings hold the name and the tip.
  static constexpr unsigned kNewCommand = 32779;
  static constexpr unsigned kReplyCommand = 32782;
  static constexpr unsigned kForwardCommand = 32783;
  static constexpr unsigned kDeleteCommand = 32784;
  static constexpr unsigned kInboxCommand = 32785;
  static constexpr unsigned kSentCommand = 32786;
  static constexpr unsigned kUnsentCommand = 32787;
  // Unread messages are drawn in this red, lighter on a dark palette.
  static constexpr int kUnreadRed = 255;

  CDlgSmsCentre(platform::HWND main_window, CSettings& settings, AskFunction ask, QWidget* parent);

  // Shows the window on its Inbox and brings it to the foreground.
  void Open();
  // WM_APP_SMS as the main window passes it on: the list is filled afresh
  // and the editor hears of it.
  void OnSmsNews(uintptr_t code);

  CSmsMessages::Folder Folder() const { return folder_; }
  void ShowFolder(CSmsMessages::Folder folder);
  // The messages listed, in the list's order: each with its parts, and the
  // first part of each alone.
  const std::vector<SmsEntry>& Entries() const { return entries_; }
  const std::vector<SmsMessage>& Rows() const { return rows_; }
  // The editor, null until first used.
  CDlgNewSmsMessage* Editor() const;

  // The commands, as the tool bars run them.
  void New();
  void Reply();
  void Forward();
  void Delete();
  // A double click on a row: a draft opens in the editor.
  void OnRowActivated(int row);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void BuildLayout();
  void Fill();
  void StyleRows();
  void UpdateToolBars();
  void OnCurrentChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
  void MarkRead(int row);
  bool IsMarkedRead(const SmsMessage& message) const;
  // The cell that tells what is missing of a long message.
  int NoteColumn() const;
  int SelectedRow() const;
  bool SimPresent() const { return values_.SimInserted != 0; }
  void OpenEditor(unsigned title, std::u16string_view recipient, std::u16string_view text,
                  std::vector<SmsMessage> draft = {});
  bool Ask(const QString& text);

  platform::HWND main_window_;
  CSettings& settings_;
  AskFunction ask_;
  CachedDravikValues values_;
  CSmsMessages::Folder folder_ = CSmsMessages::FolderInbox;
  std::vector<SmsEntry> entries_;
  std::vector<SmsMessage> rows_;
  // Messages read here since they were listed: the SIM's copy may still say
  // unread until the store is read again.
  std::vector<SmsMessage> read_;
  bool filling_ = false;
  QPointer<CDlgNewSmsMessage> editor_;

  QToolBar* commands_ = nullptr;
  QToolBar* folders_ = nullptr;
  QActionGroup* folder_group_ = nullptr;
  QAction* new_ = nullptr;
  QAction* reply_ = nullptr;
  QAction* forward_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* inbox_ = nullptr;
  QAction* sent_ = nullptr;
  QAction* unsent_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPlainTextEdit* preview_ = nullptr;
  QWidget* busy_ = nullptr;
};
