// Classification of any line text (UTF-16 units from byte pairs).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devicelib/line_classifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  const GSM::LineClass c = GSM::ClassifyLine(text);
  switch (c.kind) {
    case GSM::AnswerKindFinal:
      if (c.result_code != DV_S_OK && c.result_code != DV_E_ERROR &&
          (c.result_code & 0xFFFF0000u) != DV_E_CME_BASE && (c.result_code & 0xFFFF0000u) != DV_E_CMS_BASE) {
        std::abort();
      }
      break;
    case GSM::AnswerKindUnsolicited:
      if (c.unsolicited_type >= GSM::kUnsolicitedTypeCount ||
          !text.starts_with(GSM::kUnsolicitedPrefixes[c.unsolicited_type])) {
        std::abort();
      }
      break;
    case GSM::AnswerKindIntermediate:
      break;
  }
  return 0;
}
