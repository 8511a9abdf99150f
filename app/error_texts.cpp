#include "app/error_texts.h"
#include "app/text_util.h"

#include <string_view>

#include "app/cached_dravik.h"

namespace {

using app_text::Decimal;
using app_text::ReplaceFirst;

// String numbers.
constexpr unsigned kUnableToComplete = 126;   // [0x%x]: the code
constexpr unsigned kConnectionFailed = 131;   // [0x%x]
constexpr unsigned kIncorrectPin = 128;
constexpr unsigned kIncorrectPuk = 129;
constexpr unsigned kSimMissingRemovable = 127;   // removable kind 2
constexpr unsigned kSimMissingBuiltIn = 146;     // removable kind 3
constexpr unsigned kSimMissing = 147;
constexpr unsigned kSimFailureOrMissing = 151;
constexpr unsigned kDeviceLocked = 204;
constexpr unsigned kCheckApn = 208;
constexpr unsigned kSimFailure = 209;

// Result-code groups (bits 16..28 of a failed code).
constexpr uint32_t kEquipmentGroup = 0x401;
constexpr uint32_t kMessageServiceGroup = 0x402;
constexpr uint32_t kConnectionGroup = 0x404;

// "+CME ERROR" codes with texts of their own.
constexpr DvResult kSimNotInserted = DvCmeError(10);
constexpr DvResult kSimFailureCode = DvCmeError(13);
constexpr DvResult kIncorrectPassword = DvCmeError(16);
constexpr DvResult kInvalidText = DvCmeError(25);  // what a card answers to an APN it refuses
constexpr DvResult kSimFailureOrMissingCode = DvCmeError(900);

constexpr int kRemovableKindUsb = 2;
constexpr int kRemovableKindBuiltIn = 3;

struct ListRange {
  unsigned first;        // the string of number 0
  uint32_t last_number;  // the highest number inside the list's strings
  unsigned fallback;     // "%d": the number
};

ListRange RangeOf(CardErrorList list) {
  return list == CardErrorList::kEquipment ? ListRange{40000, 1999, 40099} : ListRange{42000, 998, 42999};
}

uint32_t GroupOf(DvResult code) { return (code >> 16) & 0x1FFF; }

std::u16string Hexadecimal(uint32_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), u"0123456789abcdef"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return digits;
}

std::u16string WithCode(unsigned id, DvResult code, const StringLoader& strings) {
  return ReplaceFirst(strings(id), u"%x", Hexadecimal(code));
}

// "text [0x<code>]" for the card error of the code's low 16 bits; the
// card error text is data here, not a format.
std::u16string CardErrorWithCode(CardErrorList list, DvResult code, const StringLoader& strings) {
  const std::u16string text = CardErrorText(list, code & 0xFFFF, strings);
  if (text.empty()) return WithCode(kUnableToComplete, code, strings);
  return text + u" [0x" + Hexadecimal(code) + u"]";
}

std::u16string EquipmentErrorText(const ErrorReport& report, const StringLoader& strings) {
  switch (report.code) {
    case kSimNotInserted:
      if (report.removable_kind == kRemovableKindUsb) return strings(kSimMissingRemovable);
      if (report.removable_kind == kRemovableKindBuiltIn) return strings(kSimMissingBuiltIn);
      return strings(kSimMissing);
    case kSimFailureCode:
      return strings(kSimFailure);
    case kSimFailureOrMissingCode:
      return strings(kSimFailureOrMissing);
    case kIncorrectPassword:
      return strings(report.flag ? kIncorrectPuk : kIncorrectPin);
    case kInvalidText:
      return report.flag ? strings(kCheckApn) : WithCode(kUnableToComplete, report.code, strings);
    default:
      return CardErrorWithCode(CardErrorList::kEquipment, report.code, strings);
  }
}

std::u16string ComposeErrorText(const ErrorReport& report, const StringLoader& strings) {
  const DvResult code = report.code;
  if (code == DV_S_OK && !report.flag && CachedDravikValues::IsDeviceLock(report.pin_puk_state)) {
    return strings(kDeviceLocked);
  }
  const bool failed = DvFailed(code);
  if (failed && GroupOf(code) == kEquipmentGroup) return EquipmentErrorText(report, strings);
  if (report.flag) return WithCode(kConnectionFailed, code, strings);
  if (!failed) return WithCode(kUnableToComplete, code, strings);
  switch (GroupOf(code)) {
    case kConnectionGroup:
      return WithCode(kConnectionFailed, code, strings);
    case kMessageServiceGroup:
      return CardErrorWithCode(CardErrorList::kMessageService, code, strings);
    default:
      return WithCode(kUnableToComplete, code, strings);
  }
}

// At most kErrorTextLimit units, never ending in half a surrogate pair.
std::u16string Limited(std::u16string text) {
  if (text.size() <= kErrorTextLimit) return text;
  size_t length = kErrorTextLimit;
  if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
  text.resize(length);
  return text;
}

}  // namespace

std::u16string CardErrorText(CardErrorList list, uint32_t number, const StringLoader& strings) {
  const ListRange range = RangeOf(list);
  const bool own_string = number <= range.last_number && range.first + number != range.fallback;
  if (own_string) {
    std::u16string text = strings(range.first + number);
    if (!text.empty()) return text;
  }
  return ReplaceFirst(strings(range.fallback), u"%d", Decimal(number));
}

ErrorReport ErrorReport::From(uintptr_t wparam, intptr_t lparam, const CachedDravikValues& cache) {
  ErrorReport report;
  report.code = static_cast<DvResult>(wparam);
  report.flag = lparam != 0;
  report.pin_puk_state = cache.PinPukState;
  report.removable_kind = cache.RemovableKind;
  return report;
}

std::u16string MakeErrorText(const ErrorReport& report, const StringLoader& strings) {
  return Limited(ComposeErrorText(report, strings));
}
