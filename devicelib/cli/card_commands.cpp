#include "devicelib/cli/card_commands.h"

#include <algorithm>

#include "devicelib/cli/device_report.h"
#include "devicelib/cli/json_report.h"
#include "devicelib/cli/library_readings.h"
#include "devicelib/dv_api.h"
#include "devicelib/sim_answers.h"
#include "platform/text.h"

namespace vombel_device {
namespace {

DeviceStatus ReadPinPicture() {
  DeviceStatus s;
  ReadPinStates(s);
  s.pin_enabled = ReadInt(DvGetPinMode);
  return s;
}

}  // namespace

int RunIdentity(const Output& output) {
  const DeviceStatus s = ReadEverything();
  const Reading<std::vector<std::string>> own_numbers = ReadOwnNumbers(s);
  output.Result(FormatIdentity(s, own_numbers), IdentityDocument(s, own_numbers));
  return 0;
}

int RunDiagnostics(const Output& output) {
  const DiagnosticsFacts facts = ReadDiagnostics();
  output.Result(FormatDiagnostics(facts), DiagnosticsDocument(facts));
  return 0;
}

int RunTechnology(const Options& options, const Output& output) {
  const Reading<int> supported = ReadInt(DvIsTechnologySelectionSupported);
  if (!supported.ok()) {
    return output.Fail(FailureOfResult(supported.rc), "The technology selection could not be read: " +
                                                          ResultText(supported.rc), supported.rc);
  }
  if (supported.value == 0) return output.Fail(Failure::kUnsupported, "This card offers no technology selection.");
  Reading<int> mode = ReadInt(DvGetTechnologySelectionMode);
  if (!mode.ok()) {
    return output.Fail(FailureOfResult(mode.rc), "The technology selection could not be read: " + ResultText(mode.rc),
                       mode.rc);
  }
  bool changed = false;
  if (options.technology_mode_given && mode.value != options.technology_mode) {
    const DvResult rc = DvSetTechnologySelectionMode(options.technology_mode);
    if (rc != 0) {
      return output.Fail(FailureOfResult(rc), "Setting the technology selection failed: " + ResultText(rc), rc);
    }
    mode = ReadInt(DvGetTechnologySelectionMode);
    if (!mode.ok()) {
      return output.Fail(FailureOfResult(mode.rc), "The technology selection could not be read back: " +
                                                       ResultText(mode.rc), mode.rc);
    }
    changed = true;
  }
  const std::string text = TechnologyModeText(mode.value);
  output.Result({changed ? "technology selection changed to " + text : "technology selection: " + text},
                TechnologyDocument(mode.value, changed));
  return 0;
}

int RunSms(const Options& options, const Output& output, const std::string& text) {
  DvResult rc = 0;
  switch (options.sms_action) {
    case SmsAction::kList: {
      SmsMessage* messages = nullptr;
      uint32_t count = 0;
      rc = DvReadAllSmsMessages(&messages, &count);
      if (rc == 0) output.Result(FormatSmsList(messages, count), SmsListDocument(messages, count));
      DvFreeSmsMessages(messages);
      break;
    }
    case SmsAction::kRead: {
      SmsMessage message;
      rc = DvReadSmsMessage(options.sms_index, &message);
      if (rc == 0) output.Result(FormatSmsMessage(message), SmsReadDocument(message));
      break;
    }
    case SmsAction::kDelete:
      rc = DvDeleteSmsMessage(options.sms_index);
      if (rc == 0) {
        output.Result({"Message " + std::to_string(options.sms_index) + " deleted."},
                      SmsDeleteDocument(options.sms_index));
      }
      break;
    case SmsAction::kSend: {
      // Stored first, then sent from the SIM: the sent copy stays there.
      SmsMessage message{};
      const std::u16string number = platform::Utf8ToUtf16(options.sms_number);
      const std::u16string body = platform::Utf8ToUtf16(text);
      std::copy_n(number.begin(), std::min(number.size(), kSmsAddressMax), message.Address);
      std::copy_n(body.begin(), std::min(body.size(), kSmsTextMax), message.Text);
      message.Validity = 0xA7;  // one day
      rc = DvWriteSmsMessage(&message);
      if (rc == 0) rc = DvSendSmsMessageFromSim(message.Index);
      if (rc == 0) {
        output.Result({"Message sent to " + options.sms_number + " (stored at index " + std::to_string(message.Index) +
                       ")."},
                      SmsSendDocument(options.sms_number, message.Index));
      }
      break;
    }
  }
  if (rc == 0) return 0;
  return output.Fail(FailureOfResult(rc), "The SMS command failed: " + ResultText(rc), rc);
}

int RunPin(const Options& options, const Output& output, Codes& codes, bool pin_entered) {
  DeviceStatus before = ReadPinPicture();
  const bool puk_wanted = before.pin_state.ok() && before.pin_state.value == GSM::PinPukStateSimPuk;
  const bool check_on = before.pin_enabled.ok() && before.pin_enabled.value != 0;
  bool done = false;
  DvResult rc = 0;
  std::string what;
  switch (options.pin_action) {
    case PinAction::kStatus:
      break;
    case PinAction::kEnter:
      done = pin_entered;
      what = done ? "PIN accepted." : "The SIM does not ask for its PIN.";
      break;
    case PinAction::kChange:
      rc = DvChangePinCode(codes.pin.c_str(), codes.new_pin.c_str());
      done = rc == 0;
      what = "PIN changed.";
      break;
    case PinAction::kOn:
    case PinAction::kOff: {
      const bool on = options.pin_action == PinAction::kOn;
      if (check_on != on) {
        rc = DvSetPinMode(codes.pin.c_str(), on ? 1 : 0);
        done = rc == 0;
      }
      what = done ? (on ? "PIN check turned on." : "PIN check turned off.")
                  : (on ? "The PIN check is on already." : "The PIN check is off already.");
      break;
    }
    case PinAction::kUnblock:
      if (puk_wanted) {
        rc = DvEnterPukCode(codes.puk.c_str(), codes.new_pin.c_str());
        done = rc == 0;
      }
      what = done ? "SIM unblocked; the new PIN is set." : "The SIM does not ask for its PUK.";
      break;
  }
  // One attempt with each code: a wrong one must not be tried again.
  codes.pin.Clear();
  codes.new_pin.Clear();
  codes.puk.Clear();
  if (rc != 0) {
    return output.Fail(FailureOfResult(rc), std::string("pin ") + PinActionName(options.pin_action) +
                                                ": the card refused: " + ResultText(rc), rc);
  }
  const DeviceStatus after = options.pin_action == PinAction::kStatus ? before : ReadPinPicture();
  std::vector<std::string> lines;
  if (!what.empty()) lines.push_back(what);
  for (std::string& line : FormatPinState(after)) lines.push_back(std::move(line));
  output.Result(lines, PinDocument(options.pin_action, done, after));
  return 0;
}

}  // namespace vombel_device
