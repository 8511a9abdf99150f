// USSD: a code or a reply goes out with "AT+CUSD=1"; the network's answers
// come back unsolicited ("+CUSD:", unsolicited_dispatcher.cpp). Between the
// two the library's answer timer runs, so that a network that never answers
// does not leave the client waiting: the timer ends the session itself.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "devicelib/command_pattern.h"
#include "devicelib/device_queries.h"
#include "devicelib/device_states.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "foundation/xlog.h"
#include "platform/heap.h"
#include "platform/win32_error.h"

using namespace GSM;

namespace {

// The request's data coding scheme: the default alphabet, language
// unspecified. The engine sends quoted text in that alphabet.
constexpr int kUssdDefaultAlphabet = 15;
constexpr int kUssdStatusTimedOut = 5;

bool IsUssdCharacter(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'*' || c == u'#'; }

void SendCancel(Device& device) { SendPlainCommand(device, u"AT+CUSD=2"); }

}  // namespace

namespace GSM {

void RaiseUssdMessage(int status, std::u16string_view text) {
  auto* record = static_cast<DvUssdMessage*>(platform::LocalAlloc(sizeof(DvUssdMessage)));
  if (record == nullptr) DvRaise(platform::kResultOutOfMemory);
  std::memset(record, 0, sizeof(DvUssdMessage));
  record->Status = status;
  const size_t count = std::min<size_t>(text.size(), std::size(record->Text));
  std::copy_n(text.data(), count, record->Text);  // an empty view's data may be null
  // A failed post frees the record; the client then hears nothing of it.
  RaiseEvent(EventUssdMessageArrived, reinterpret_cast<uintptr_t>(record));
}

void OnUssdAnswerTimeout() {
  StopLibraryTimer(TimerUssdAnswer);
  XLogLevel(kXLogWarning, "Dv: No USSD answer within %u ms, ending the session", kDvUssdAnswerTimeoutMs);
  const DvResult rc = RunCommandCall([] {
    Device& device = Device::Instance();
    device.Guard();
    SendCancel(device);
  });
  if (DvFailed(rc)) XLogLevel(kXLogWarning, "Dv: Ending the unanswered USSD session failed with 0x%x", rc);
  RaiseUssdMessage(kUssdStatusTimedOut, {});
}

}  // namespace GSM

bool DvIsValidUssdCode(const char16_t* code) {
  if (code == nullptr) return false;
  const std::u16string_view text(code);
  return !text.empty() && text.size() <= kDvUssdCodeMax && std::all_of(text.begin(), text.end(), IsUssdCharacter);
}

DvResult DvSendUssd(const char16_t* code) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (!DvIsValidUssdCode(code)) DvRaise(DV_E_INVALID_ARGUMENT);
    device.SetCommand(u"AT+CUSD=1,\"");
    device.AppendCommand(code);
    device.AppendCommandFormat("\",%d", kUssdDefaultAlphabet);
    device.SendCommand(SendModeNormal);
    device.WaitFinal();
    // The wait starts afresh with every request, a reply included. The
    // answer's own message stops it; that message runs on this thread, so
    // an answer that came before the final result still finds it running.
    StopLibraryTimer(TimerUssdAnswer);
    const DvResult timer = StartLibraryTimer(TimerUssdAnswer);
    if (DvFailed(timer)) XLogLevel(kXLogError, "Dv: DvSendUssd(): the answer timer failed with 0x%x", timer);
  });
}

DvResult DvCancelUssd() {
  return RunCommandCall([] {
    Device& device = Device::Instance();
    device.Guard();
    StopLibraryTimer(TimerUssdAnswer);
    SendCancel(device);
  });
}
