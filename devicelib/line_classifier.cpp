#include "devicelib/line_classifier.h"

#include <optional>

#include "devicelib/verbose_errors.h"

namespace GSM {
namespace {

constexpr std::u16string_view kOk = u"OK";
constexpr std::u16string_view kError = u"ERROR";
constexpr std::u16string_view kCmeError = u"+CME ERROR: ";
constexpr std::u16string_view kCmsError = u"+CMS ERROR: ";
// The same without the blank, for the verbose forms.
constexpr std::u16string_view kCmeErrorColon = u"+CME ERROR:";
constexpr std::u16string_view kCmsErrorColon = u"+CMS ERROR:";

// Final results of the card family's own firmware, refusing a command in
// words; taken for a plain "ERROR".
constexpr std::u16string_view kFamilyErrors[] = {u"COMMAND NOT SUPPORT", u"TOO MANY PARAMETERS"};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The error number after `prefix` when the line is exactly prefix + digits
// and the number fits the 16 bits of a result code.
std::optional<uint32_t> ErrorNumber(std::u16string_view text, std::u16string_view prefix) {
  if (!text.starts_with(prefix)) return std::nullopt;
  const std::u16string_view digits = text.substr(prefix.size());
  if (digits.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > 0xFFFF) return std::nullopt;
  }
  return value;
}

// The code of a verbose "+CME ERROR:"/"+CMS ERROR:" line: the number of a
// known text, DV_E_ERROR for an unknown or empty one. A text that starts with
// a digit is the numeric form (ErrorNumber), however it goes on: nothing here.
std::optional<DvResult> VerboseErrorCode(std::u16string_view text, std::u16string_view prefix,
                                         std::optional<uint32_t> (*number_of)(std::u16string_view),
                                         DvResult (*code_of)(uint32_t)) {
  if (!text.starts_with(prefix)) return std::nullopt;
  std::u16string_view words = text.substr(prefix.size());
  while (!words.empty() && (words.front() == u' ' || words.front() == u'\t')) words.remove_prefix(1);
  if (!words.empty() && IsDigit(words.front())) return std::nullopt;
  if (const auto n = number_of(words)) return code_of(*n);
  return DV_E_ERROR;
}

}  // namespace

LineClass ClassifyLine(std::u16string_view text) {
  LineClass result;
  if (text.empty()) return result;

  if (text == kOk) {
    result.kind = AnswerKindFinal;
    result.result_code = DV_S_OK;
    return result;
  }
  if (auto n = ErrorNumber(text, kCmeError)) {
    result.kind = AnswerKindFinal;
    result.result_code = DvCmeError(*n);
    return result;
  }
  if (auto n = ErrorNumber(text, kCmsError)) {
    result.kind = AnswerKindFinal;
    result.result_code = DvCmsError(*n);
    return result;
  }
  if (text == kError) {
    result.kind = AnswerKindFinal;
    result.result_code = DV_E_ERROR;
    return result;
  }
  if (auto code = VerboseErrorCode(text, kCmeErrorColon, &CmeErrorNumber, &DvCmeError)) {
    result.kind = AnswerKindFinal;
    result.result_code = *code;
    return result;
  }
  if (auto code = VerboseErrorCode(text, kCmsErrorColon, &CmsErrorNumber, &DvCmsError)) {
    result.kind = AnswerKindFinal;
    result.result_code = *code;
    return result;
  }
  for (std::u16string_view family_error : kFamilyErrors) {
    if (text == family_error) {
      result.kind = AnswerKindFinal;
      result.result_code = DV_E_ERROR;
      return result;
    }
  }
  for (uint32_t type = 0; type < kUnsolicitedPrefixes.size(); ++type) {
    if (text.starts_with(kUnsolicitedPrefixes[type])) {
      result.kind = AnswerKindUnsolicited;
      result.unsolicited_type = type;
      return result;
    }
  }
  return result;
}

}  // namespace GSM
