// Parsers of the answers of the SIM message store: "+CSCA:", "+CPMS:", the
// header lines of "+CMGR:" and "+CMGL:", and "+CMGW:". Each takes the text
// after its prefix and walks it with the engine's field readers; pure.
#pragma once

#include <string>
#include <string_view>

#include "devicelib/result_codes.h"

namespace GSM {

inline constexpr std::u16string_view kCscaPrefix = u"+CSCA:";
inline constexpr std::u16string_view kCpmsPrefix = u"+CPMS:";
inline constexpr std::u16string_view kCmgrPrefix = u"+CMGR:";
inline constexpr std::u16string_view kCmglPrefix = u"+CMGL:";
inline constexpr std::u16string_view kCmgwPrefix = u"+CMGW:";
inline constexpr std::u16string_view kCmgsPrefix = u"+CMGS:";
inline constexpr std::u16string_view kCmssPrefix = u"+CMSS:";
inline constexpr std::u16string_view kPduPrompt = u"> ";

// "+CSCA:" quoted number (required); the type of number after it is not read.
DvResult ParseCscaAnswer(std::u16string_view fields, std::u16string& number);

struct StorageUse {
  int used = 0;
  int total = 0;
};
// "+CPMS:" three groups of quoted memory name, used, total, with commas
// between them; the third group (the memory new messages go to) counts.
DvResult ParseCpmsAnswer(std::u16string_view fields, StorageUse& out);

struct StoredMessageHeader {
  int index = 0;    // as the card counts it ("+CMGL:" only)
  int status = 0;   // 0 received unread ... 3 stored sent
  int length = 0;   // TPDU length in octets
};
// "+CMGR:" stat, alpha (quoted, may be empty or absent), length.
DvResult ParseCmgrHeader(std::u16string_view fields, StoredMessageHeader& out);
// "+CMGL:" index, stat, alpha (as above), length.
DvResult ParseCmglHeader(std::u16string_view fields, StoredMessageHeader& out);
// "+CMGW:" index, or "+CMGS:" / "+CMSS:" message reference: the leading number (what
// may follow it is not read).
DvResult ParseSubmitAnswer(std::u16string_view fields, int& number);

}  // namespace GSM
