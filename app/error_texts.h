// What the error window tells the user about a failed command: the text for
// a result code the worker reported (WM_APP_ERROR: the code in wParam, a flag
// in lParam), with the card's own "+CME ERROR" / "+CMS ERROR" texts. Pure
// functions of their inputs; every error the worker reports is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/string_loader.h"
#include "devicelib/result_codes.h"

struct CachedDravikValues;

// The card's error lists. Each keeps its texts in a range of the string
// table (string first + N for error number N) and has a fall-back string
// with "%d" for a number the range holds no text for.
enum class CardErrorList {
  kEquipment,       // "+CME ERROR: N": strings 40000..41999, fall-back 40099
  kMessageService,  // "+CMS ERROR: N": strings 42000..42998, fall-back 42999
};

// The text of error number `number` of `list`: its own string, else the
// list's fall-back with the number in place of "%d". A number beyond the
// list's range, and the number whose string is the fall-back itself (99,
// 999), take the fall-back, so that a number never reads another list's (or
// any other) text. Empty only when the table has neither.
std::u16string CardErrorText(CardErrorList list, uint32_t number, const StringLoader& strings = LoadProgramString);

// One error report, with the state its text depends on.
struct ErrorReport {
  DvResult code = DV_S_OK;  // wParam
  bool flag = false;        // lParam not 0: a PUK attempt, a connect, an APN the card refused
  int pin_puk_state = 0;    // CachedDravikValues::PinPukState
  int removable_kind = 0;   // CachedDravikValues::RemovableKind

  static ErrorReport From(uintptr_t wparam, intptr_t lparam, const CachedDravikValues& cache);
};

// The longest text the error window shows; longer texts are cut.
inline constexpr size_t kErrorTextLimit = 259;

// The error window's text for `report`:
// - code and flag 0 while the device is locked (PIN/PUK state 6..13): the
//   device-locked text (204);
// - a failed code of the "+CME ERROR" group (0x8401NNNN): SIM not inserted
//   (N 10) by removable kind (2 → 127, 3 → 146, else 147); SIM failure (N 13)
//   → 209; N 900 → 151; wrong password (N 16) → 129 (PUK) with the flag, else
//   128 (PIN); N 25 → 208 (APN) with the flag, else 126; any other N its
//   card error text, as "text [0x<code>]";
// - otherwise with the flag: 131 "The connection has failed. [0x%x]";
// - a code that is not a failure: 126 "Unable to complete the operation.";
// - the connection group (0x8404NNNN): 131;
// - the "+CMS ERROR" group (0x8402NNNN): its card error text as
//   "text [0x<code>]";
// - anything else: 126. "%x" takes the code in lower-case hexadecimal.
// A card error text the table does not have at all gives 126 with the code.
std::u16string MakeErrorText(const ErrorReport& report, const StringLoader& strings = LoadProgramString);
