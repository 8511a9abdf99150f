// The PIN dialog ("Authorization"): one code field. Mode 0 asks for the PIN
// the SIM wants, modes 1 and 2 for the PIN that switches the SIM's PIN check
// on or off. OK posts the PIN result 1 and hides; the owner then takes the
// PIN. Cancel in modes 1 and 2 hides and posts 0 at once; in mode 0 it first
// warns that no connection can be made without the PIN, and only OK there
// cancels.
#pragma once

#include <string>

#include "app/ui/dlg_authentication.h"

class CDlgPin : public CDlgAuthentication {
 public:
  static constexpr int kModeEnter = 0;
  static constexpr int kModeEnable = 1;
  static constexpr int kModeDisable = 2;

  static constexpr unsigned kCancelQuestionStringId = 133;  // "%s": the application

  explicit CDlgPin(platform::HWND result_window, QWidget* parent = nullptr);

  // Resets the dialog (empty field, trials line refreshed, focus in the
  // field), sets the mode and shows it.
  void Open(int mode, int trials_left, bool retry_counters_supported);
  int Mode() const { return mode_; }
  // The entered PIN; the field is emptied and wiped.
  std::u16string TakePin();

 protected:
  bool CanAccept() const override;
  void OnOk() override;
  void OnCancel() override;

 private:
  void Layout();

  QLineEdit* pin_ = nullptr;
  int mode_ = kModeEnter;
};
