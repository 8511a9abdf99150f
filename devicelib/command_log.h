// The log line of a command that carries a PIN, a PUK or a password. Such a
// command is sent in sensitive mode, which logs nothing of it; its caller
// logs this copy instead, in which everything between double quotes is
// replaced by 'X' (the quotes stay), so the log shows which command went out
// but never the secret.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace GSM {

// `command` with each character inside a pair of double quotes, from
// position `from` on, replaced by 'X'. Quotes before `from` still count, so
// a quote pair that straddles `from` is masked from `from` to its end. A
// `from` beyond the end of the text raises DvException 0x84000005.
std::u16string MaskQuotedText(std::u16string_view command, size_t from = 0);

// Logs "Dv: Modem write: [%s]" (without a level, so no filter hides it) with
// MaskQuotedText(command, from).
void LogMaskedCommand(std::u16string_view command, size_t from = 0);

}  // namespace GSM
