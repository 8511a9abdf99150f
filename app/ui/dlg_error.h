// The error window: one per main window, created on first use and kept. It
// stays above other windows, shows the warning icon of the desktop's style and
// one text, and has one "Close" button. Each report replaces the text; the
// window is centred when it opens and brought to the foreground on every
// report. Close, Escape and the title bar's close button only hide it; it
// then emits QDialog::finished, on which the main window brings a visible
// PIN or PUK dialog back to the front.
#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QPushButton;

class CDlgError : public QDialog {
 public:
  explicit CDlgError(QWidget* parent = nullptr);

  // Shows `text` in place of the previous report.
  void ShowError(const QString& text);
  bool IsShown() const;
  QString Text() const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void Layout();
  void UpdateIcon();

  QLabel* icon_ = nullptr;
  QLabel* text_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  QPushButton* close_ = nullptr;
};
