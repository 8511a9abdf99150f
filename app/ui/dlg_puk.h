// The PUK dialog ("Authorization"): the PUK and a new PIN, twice. A PUK has
// exactly eight digits, so OK waits for all of them (a short one would spend
// one of the SIM's ten tries for nothing) and for a new PIN of at least four
// digits in both fields. OK with two different new PINs says so and keeps all
// three fields; otherwise it posts the PUK result 1 and hides, and the owner
// takes the codes. Cancel is quiet when the owner says so (the PUK was asked
// for while the PIN check was being switched); otherwise it first warns that
// no connection can be made without the codes, and only OK there cancels.
#pragma once

#include <string>

#include "app/ui/dlg_authentication.h"

class CDlgPuk : public CDlgAuthentication {
 public:
  static constexpr qsizetype kPukLength = 8;

  static constexpr unsigned kDifferentPinsStringId = 102;
  static constexpr unsigned kCancelQuestionStringId = 145;  // "%s": the application

  explicit CDlgPuk(platform::HWND result_window, QWidget* parent = nullptr);

  // Resets the dialog (all three fields empty, trials line refreshed, focus
  // in the PUK field) and shows it; `quiet_cancel` lets Cancel go without the
  // question.
  void Open(int trials_left, bool retry_counters_supported, bool quiet_cancel);
  // The entered codes; each field is emptied and wiped (the confirmation
  // goes with the new PIN).
  std::u16string TakePuk();
  std::u16string TakeNewPin();

 protected:
  bool CanAccept() const override;
  void OnOk() override;
  void OnCancel() override;

 private:
  void Layout();

  QLineEdit* puk_ = nullptr;
  QLineEdit* new_pin_ = nullptr;
  QLineEdit* confirm_pin_ = nullptr;
  bool quiet_cancel_ = false;
};
