// The diagnostics window: what the program knows about the card, the SIM
// and the network, for support. It only shows the cache's diagnostics record
// (the worker collects it); "Run" asks the main window for a fresh run,
// "Copy" puts the list's text on the clipboard, "Save" writes it to a text
// file. Created on first use and kept; Exit, Escape and the close box only
// hide it.
//
// The main window forwards WM_APP_DIAGNOSTICS to it: the end of a run
// refills the list, any other news (a device event) empties it. While a run
// is in progress a busy indicator shows and "Run" waits; the run itself
// goes on the worker thread, so the window never stops answering.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "app/diagnostics_report.h"
#include "platform/window.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QWidget;

class CDlgDiagnostics : public QDialog {
 public:
  // The group rows' colour on a light background.
  static constexpr int kGroupRed = 0;
  static constexpr int kGroupGreen = 0;
  static constexpr int kGroupBlue = 160;
  static constexpr int kItemColumnWidth = 150;

  // The file to save to; empty when the user cancelled.
  using ChooseFileFunction = std::function<QString()>;
  // A note to the user.
  using TellFunction = std::function<void(const QString& text)>;

  // `main_window` is the platform window "Run" posts its request to.
  explicit CDlgDiagnostics(platform::HWND main_window, QWidget* parent = nullptr);

  // In place of the desktop's save dialog and of the message box that tells
  // of a failed save (tests; null puts the desktop's back).
  void SetChooseFile(ChooseFileFunction choose_file) { choose_file_ = std::move(choose_file); }
  void SetTell(TellFunction tell) { tell_ = std::move(tell); }

  void ShowAndActivate();

  // WM_APP_DIAGNOSTICS's news: the end of a run refills the list, anything
  // else empties it; either way the buttons follow.
  void OnDiagnostics(uintptr_t news);
  // The buttons and the busy indicator, from the cache and the run flag.
  void UpdateButtons();

  // The list as text, as Copy and Save give it.
  QString Text() const;
  // Writes the list to `path`; false, logged and told to the user, when the
  // file cannot be created or written.
  bool SaveTo(const QString& path);

  // The group rows' colour for a background.
  static QColor GroupColour(const QColor& background);

 protected:
  // The list's palette or style changed: the group colour follows.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Layout();
  void Fill(std::vector<DiagnosticsRow> rows);
  void ApplyColours();
  void OnRun();
  void OnCopy();
  void OnSave();
  QString AskFileName();
  void Tell(const QString& text);

  platform::HWND main_window_;
  ChooseFileFunction choose_file_;
  TellFunction tell_;
  std::vector<DiagnosticsRow> rows_;
  bool placed_ = false;

  QTreeWidget* list_ = nullptr;
  QWidget* busy_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* exit_ = nullptr;
};
