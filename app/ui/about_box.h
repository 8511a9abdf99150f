// The about box: the application name, the program's file version and the
// company line under the title "About <name>", with an OK button. Created on
// first use and kept; centred and brought to the foreground on every opening.
// A title wider than the box's own layout (measured in the desktop's title
// font, beyond 225 pixels) widens the box by the excess.
#pragma once

#include <QDialog>

#include "app/about_texts.h"

class QLabel;
class QPushButton;

class CAboutBox : public QDialog {
 public:
  // The program's own texts: the application name (string 57344), the
  // CompanyName setting and the version block.
  explicit CAboutBox(QWidget* parent = nullptr);
  explicit CAboutBox(const AboutTexts& texts, QWidget* parent = nullptr);

  void ShowAndActivate();

  // The pixels by which the title exceeds the width the box keeps for it.
  static int TitleExcess(const QString& title);

 private:
  void Layout(const AboutTexts& texts);

  QPushButton* ok_ = nullptr;
};
