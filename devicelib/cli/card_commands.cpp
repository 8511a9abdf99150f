#include "devicelib/cli/card_commands.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "devicelib/cli/device_report.h"
#include "devicelib/cli/json_report.h"
#include "devicelib/cli/library_readings.h"
#include "devicelib/dv_api.h"
#include "devicelib/gsm_alphabet.h"
#include "devicelib/sim_answers.h"
#include "devicelib/sms_text_split.h"
#include "devicelib/valid_char.h"
#include "platform/text.h"

namespace vombel_device {
namespace {

DeviceStatus ReadPinPicture() {
  DeviceStatus s;
  ReadPinStates(s);
  s.pin_enabled = ReadInt(DvGetPinMode);
  return s;
}

// The GSM alphabet when it carries every character, else UCS2: nothing of
// the text is dropped.
uint32_t AlphabetFor(std::u16string_view text) {
  for (char16_t c : text) {
    bool escaped = false;
    if (GSM::UnicodeToGsm(c, escaped) == GSM::kGsmNoCode) return kDvAlphabetUcs2;
  }
  return kDvAlphabetGsm7Bit;
}

// A reference no long message on the SIM uses, so that the recipient's
// phone cannot mix this one's parts with another's; the lowest free one.
uint32_t FreeReference() {
  std::array<bool, 256> used{};
  SmsMessageDetails* messages = nullptr;
  uint32_t count = 0;
  if (DvReadAllSmsMessageDetails(&messages, &count) == 0) {
    for (uint32_t i = 0; i < count; ++i) {
      if (messages[i].Concatenation.Total > 1) used[messages[i].Concatenation.Reference & 0xFF] = true;
    }
  }
  DvFreeSmsMessageDetails(messages);
  for (uint32_t reference = 0; reference < used.size(); ++reference) {
    if (!used[reference]) return reference;
  }
  return 0;
}

// sms send: the text stored on the SIM and sent from there, as one message
// or as the parts of a long one; the sent copies stay on the SIM.
int SendText(const std::string& number, const std::u16string& text, const Output& output) {
  const uint32_t alphabet = AlphabetFor(text);
  const SMS::TextParts split = SMS::SplitText(text, alphabet);
  if (split.Refused()) {
    return output.Fail(Failure::kUsage, "The text is too long: 255 messages carry " + std::to_string(split.fitting) +
                                            " of its " + std::to_string(text.size()) + " characters.");
  }
  const std::u16string address = platform::Utf8ToUtf16(number);
  const uint32_t total = static_cast<uint32_t>(split.parts.size());
  const uint32_t reference = total > 1 ? FreeReference() : 0;
  std::vector<uint32_t> indices;
  for (uint32_t sequence = 1; sequence <= total; ++sequence) {
    SmsMessage message{};
    const std::u16string& part = split.parts[sequence - 1];
    std::copy_n(address.begin(), std::min(address.size(), kSmsAddressMax), message.Address);
    std::copy_n(part.begin(), std::min(part.size(), kSmsTextMax), message.Text);
    message.Alphabet = alphabet;
    message.Validity = 0xA7;  // one day
    const DvResult rc = total == 1 ? DvWriteSmsMessage(&message)
                                   : DvWriteSmsMessagePart(&message, SmsConcatenation{reference, total, sequence});
    if (rc != 0) {
      // Nothing half-written stays behind.
      for (uint32_t index : indices) DvDeleteSmsMessage(index);
      return output.Fail(FailureOfResult(rc), "The message could not be stored on the SIM: " + ResultText(rc), rc);
    }
    indices.push_back(message.Index);
  }
  for (uint32_t sequence = 1; sequence <= total; ++sequence) {
    const DvResult rc = DvSendSmsMessageFromSim(indices[sequence - 1]);
    if (rc == 0) continue;
    const std::string which =
        total == 1 ? "The message" : "Part " + std::to_string(sequence) + " of " + std::to_string(total);
    return output.Fail(FailureOfResult(rc), which + " was not sent: " + ResultText(rc), rc);
  }
  std::string line = "Message sent to " + number;
  if (total > 1) line += " in " + std::to_string(total) + " parts";
  line += " (stored at index";
  for (size_t i = 0; i < indices.size(); ++i) line += (i == 0 ? " " : ", ") + std::to_string(indices[i]);
  line += ").";
  output.Result({line}, SmsSendDocument(number, indices));
  return 0;
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
    case SmsAction::kSend:
      return SendText(options.sms_number, platform::Utf8ToUtf16(text), output);
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
