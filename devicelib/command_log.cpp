#include "devicelib/command_log.h"

#include "devicelib/result_codes.h"
#include "foundation/xlog.h"
#include "platform/text.h"

namespace GSM {

std::u16string MaskQuotedText(std::u16string_view command, size_t from) {
  if (from > command.size()) DvRaise(DV_E_INVALID_ARGUMENT);
  std::u16string masked(command);
  bool inside_quotes = false;
  for (size_t i = 0; i < masked.size(); ++i) {
    if (masked[i] == u'"') {
      inside_quotes = !inside_quotes;
    } else if (inside_quotes && i >= from) {
      masked[i] = u'X';
    }
  }
  return masked;
}

void LogMaskedCommand(std::u16string_view command, size_t from) {
  XLog("Dv: Modem write: [%s]", platform::Utf16ToUtf8(MaskQuotedText(command, from)).c_str());
}

}  // namespace GSM
