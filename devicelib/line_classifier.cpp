#include "devicelib/line_classifier.h"

#include <optional>

namespace GSM {
namespace {

constexpr std::u16string_view kOk = u"OK";
constexpr std::u16string_view kError = u"ERROR";
constexpr std::u16string_view kCmeError = u"+CME ERROR: ";
constexpr std::u16string_view kCmsError = u"+CMS ERROR: ";

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
