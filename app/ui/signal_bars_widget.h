// The signal strength as five rising bars, drawn in the desktop palette:
// whole bars for the bar icon of the standard and WCDMA modes, the partly
// filled picture of the extended mode. Geometry comes from signal_display,
// scaled to the font so the bars grow with the user's text size.
#pragma once

#include <QWidget>

#include "app/signal_display.h"

class SignalBarsWidget final : public QWidget {
 public:
  explicit SignalBarsWidget(QWidget* parent = nullptr);

  // `registered` false shows empty bars whatever the value.
  void SetSignal(uint32_t effective_mode, int value, bool registered);

  // The picture drawn: per bar, the filled share 0..1 (for tests and the
  // accessibility text).
  const SignalPicture& Picture() const { return picture_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  SignalPicture picture_;
};
