#include "devicelib/sms_codepage.h"

#include <climits>
#include <new>

#include "devicelib/result_codes.h"
#include "foundation/xlog.h"
#include "platform/win32_error.h"

namespace SMS {
namespace {

void RequireCodePage() {
  if (platform::IsValidCodePage(kSms8BitCodePage)) return;
  XLogLevel(kXLogError, "Code page %d is not valid on this system! (Probably not installed?)",
            static_cast<int>(kSms8BitCodePage));
  DvRaise(DV_E_UNUSABLE_MESSAGE);
}

// A conversion that failed although the code page is there and the arguments
// are sound ran out of memory (or lost the code page in between, which is the
// same "cannot be used" as a missing one).
[[noreturn]] void RaiseConversionFailure() {
  const uint32_t error = platform::GetLastError();
  if (error == platform::kErrorNotEnoughMemory || error == platform::kErrorOutOfMemory) {
    DvRaise(platform::kResultOutOfMemory);
  }
  DvRaise(DV_E_UNUSABLE_MESSAGE);
}

// The conversions take int lengths; a user data field is never near that.
int CheckedLength(size_t length) {
  if (length > static_cast<size_t>(INT_MAX)) DvRaise(DV_E_INVALID_ARGUMENT);
  return static_cast<int>(length);
}

}  // namespace

std::u16string Sms8BitToUnicode(std::span<const uint8_t> octets) {
  if (octets.empty()) return {};
  RequireCodePage();
  const char* in = reinterpret_cast<const char*>(octets.data());
  const int in_length = CheckedLength(octets.size());

  const int needed = platform::MultiByteToWideChar(kSms8BitCodePage, 0, in, in_length, nullptr, 0);
  if (needed <= 0) RaiseConversionFailure();
  std::u16string text;
  try {
    text.resize(static_cast<size_t>(needed));
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  const int written =
      platform::MultiByteToWideChar(kSms8BitCodePage, 0, in, in_length, text.data(), needed);
  if (written <= 0) RaiseConversionFailure();
  text.resize(static_cast<size_t>(written));
  return text;
}

std::vector<uint8_t> UnicodeToSms8Bit(std::u16string_view text, bool& used_default) {
  used_default = false;
  if (text.empty()) return {};
  RequireCodePage();
  const int in_length = CheckedLength(text.size());

  const int needed = platform::WideCharToMultiByte(kSms8BitCodePage, 0, text.data(), in_length,
                                                   nullptr, 0, nullptr, nullptr);
  if (needed <= 0) RaiseConversionFailure();
  std::vector<uint8_t> octets;
  try {
    octets.resize(static_cast<size_t>(needed));
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  const int written = platform::WideCharToMultiByte(
      kSms8BitCodePage, 0, text.data(), in_length, reinterpret_cast<char*>(octets.data()), needed,
      nullptr, &used_default);
  if (written <= 0) RaiseConversionFailure();
  octets.resize(static_cast<size_t>(written));
  return octets;
}

}  // namespace SMS
