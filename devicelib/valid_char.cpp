#include "devicelib/valid_char.h"

#include "devicelib/gsm_alphabet.h"
#include "devicelib/sms_codepage.h"
#include "foundation/xlog.h"
#include "platform/codepage.h"
#include "platform/win32_error.h"

namespace {

// The 8-bit count is taken in the code page the SMS codec packs 8-bit user
// data with (949), not in the system's ANSI code page. The editor uses the
// count to admit characters and to hold the text to 140 octets; counted in any
// other code page it would admit characters that the packer then turns into
// "?" and would count bytes the packed message does not have.
constexpr uint32_t kValidCharCodePage = SMS::kSms8BitCodePage;

int EightBitLength(char16_t character) {
  if (!platform::IsValidCodePage(kValidCharCodePage)) {
    XLogLevel(kXLogError,
              "DvIsValidChar: Code page %d is not valid on this system! (Probably not installed?)",
              static_cast<int>(kValidCharCodePage));
    return 0;
  }
  char bytes[8];  // one UTF-16 unit takes at most 2 bytes in code page 949
  bool used_default = false;
  const int length = platform::WideCharToMultiByte(kValidCharCodePage, 0, &character, 1, bytes,
                                                   sizeof bytes, nullptr, &used_default);
  if (length > 0) return used_default ? 0 : length;

  const uint32_t error = platform::GetLastError();
  if (error == platform::kErrorNotEnoughMemory || error == platform::kErrorOutOfMemory) {
    XLogLevel(kXLogError, "DvIsValidChar: Out of memory");
  }
  return 0;
}

}  // namespace

int DvIsValidChar(uint32_t alphabet, char16_t character) {
  switch (alphabet) {
    case kDvAlphabetGsm7Bit: {
      bool needs_escape = false;
      if (GSM::UnicodeToGsm(character, needs_escape) == GSM::kGsmNoCode) return 0;
      return needs_escape ? 2 : 1;
    }
    case kDvAlphabet8Bit:
      return EightBitLength(character);
    case kDvAlphabetUcs2:
      return 1;
    default:
      return 0;
  }
}
