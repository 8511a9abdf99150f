// The main window's secondary windows for the SIM's codes and for errors,
// behind one interface: the PIN and PUK dialogs post their results (32776,
// 32777) to the main window's platform window, which takes the codes from
// here. The program binds the real dialogs; tests bind a stand-in that plays
// the user.
#pragma once

#include <QString>
#include <cstdint>

class QWidget;

class CCodeDialogs {
 public:
  // The PIN dialog's modes.
  static constexpr int kPinEnter = 0;
  static constexpr int kPinEnable = 1;
  static constexpr int kPinDisable = 2;

  virtual ~CCodeDialogs() = default;

  // Opens (or resets and reopens) the PIN dialog in `mode`.
  virtual void OpenPin(int mode, int trials_left, bool retry_counters_supported) = 0;
  // The PIN dialog's mode; kPinEnter while it was never opened.
  virtual int PinMode() const = 0;
  virtual bool HasPinDialog() const = 0;
  virtual QString TakePin() = 0;

  virtual void OpenPuk(int trials_left, bool retry_counters_supported, bool quiet_cancel) = 0;
  virtual QString TakePuk() = 0;
  virtual QString TakeNewPin() = 0;

  // The change-PIN dialog's two codes, after its result came (lParam 2).
  virtual QString TakeChangeOldPin() = 0;
  virtual QString TakeChangeNewPin() = 0;

  // The device went: the PIN, PUK and change-PIN dialogs are hidden.
  virtual void HideCodeDialogs() = 0;

  virtual void ShowError(const QString& text) = 0;
  virtual bool ErrorShown() const = 0;

  // The visible dialog that comes forward when the main window is shown: the
  // PIN dialog, else the PUK dialog, else the error dialog; null when none.
  virtual QWidget* ForemostVisible() const = 0;
};
