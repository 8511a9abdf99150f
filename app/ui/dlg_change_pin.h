// The change-PIN dialog: the current PIN and the new one, twice. OK is
// enabled while the current PIN has at least four digits and the new PIN,
// of at least four, matches its confirmation; it posts the PIN result 1 marked
// as coming from this dialog and hides, and the owner takes the two PINs.
// Cancel hides and posts 0 (nothing is lost: the SIM keeps its PIN).
#pragma once

#include <string>

#include "app/ui/dlg_authentication.h"

class CDlgChangePin : public CDlgAuthentication {
 public:
  explicit CDlgChangePin(platform::HWND result_window, QWidget* parent = nullptr);

  // Resets the dialog (all fields empty, trials line refreshed, focus in the
  // current PIN) and shows it.
  void Open(int trials_left, bool retry_counters_supported);
  // The entered PINs; each field is emptied and wiped (the confirmation goes
  // with the new PIN).
  std::u16string TakeOldPin();
  std::u16string TakeNewPin();

 protected:
  bool CanAccept() const override;
  void OnOk() override;
  void OnCancel() override;

 private:
  void Layout();

  QLineEdit* old_pin_ = nullptr;
  QLineEdit* new_pin_ = nullptr;
  QLineEdit* confirm_pin_ = nullptr;
};
