// The SIM PIN: its state, entry of PIN and PUK, change, the PIN request
// switch, the retry counters, and the set-up that follows a READY SIM.
#include <string>

#include "devicelib/command_log.h"
#include "devicelib/command_pattern.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "devicelib/sim_answers.h"
#include "devicelib/standard_answers.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/clock.h"

using namespace GSM;

namespace {

constexpr uint32_t kPinStateTimeoutMs = 8000;
constexpr uint32_t kPinEntryTimeoutMs = 15000;
constexpr uint32_t kRadioInformationTimeoutMs = 3000;
constexpr uint32_t kMessageIndicationsTimeoutMs = 5000;
// The SIM of some cards stays busy for a while after power-up and answers
// +CME ERROR: 522 meanwhile.
constexpr int kSimBusyAttempts = 30;
constexpr uint32_t kSimBusyPauseMs = 1000;
constexpr DvResult kSimBusy = DvCmeError(522);
// The standard "SIM busy" of 27.007.
constexpr DvResult kStandardSimBusy = DvCmeError(14);
constexpr DvResult kSimFailure = DvCmeError(13);
constexpr DvResult kSimPinRequired = DvCmeError(11);
constexpr DvResult kSimPukRequired = DvCmeError(12);
// What +CME ERROR: 13 becomes on the cards that report a missing SIM so.
constexpr DvResult kSimNotInserted = DvCmeError(900);

// Sends a command that carries a secret: logged masked, sent sensitive.
void SendSensitive(Device& device, const std::u16string& command, uint32_t timeout_ms) {
  if (timeout_ms != kEngineDefaultTimeout) device.SetTimeout(timeout_ms);
  LogMaskedCommand(command);
  device.SetCommand(command);
  device.SendCommand(SendModeSensitive);
  device.WaitFinal();
}

bool SimFailureMeansNoSim(const Device& device) {
  const NwCardInfo info = device.CardInfo();
  return info.Model == kCardModel0B00 ||
         (device.GetDeviceState() != DeviceState::NotFound && info.Stack == 2 && info.Family == 3);
}

void RunPostPinOperationLogged() {
  const DvResult rc = RunPostPinOperation();
  if (DvFailed(rc)) XLogLevel(kXLogError, "Dv: Post-PIN operation failed with 0x%x", rc);
}

// After an accepted PIN or PUK the SIM initialises anew: polling watches it.
void AfterPinAccepted(Device& device) {
  device.SetSimState(0);
  if (!device.PostPinOperationDone()) RunPostPinOperationLogged();
}

bool Empty(const char16_t* text) { return text == nullptr || *text == u'\0'; }

// The short guard of the post-PIN set-up commands.
void SetUpGuard(const Device& device) {
  if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
  if (device.GetDeviceState() == DeviceState::NotFound || device.GoingDown()) DvRaise(DV_E_NO_DEVICE);
}

// A standard card numbers its message storage as it likes; the index list
// of "AT+CMGD=?" shows it. Most count from 1, and a card that does not say
// is taken to.
void DetectSimIndexBase(Device& device) {
  int lowest = 1;
  const DvResult rc = RunCommandCall([&] {
    SendQuery(device, u"AT+CMGD=?", kCmgdPrefix, kMessageIndicationsTimeoutMs,
              [&](std::u16string_view fields) { return ParseCmgdTestAnswer(fields, lowest); });
  });
  if (rc == DV_E_NO_DEVICE) DvRaise(rc);
  if (DvFailed(rc)) XLogLevel(kXLogWarning, "Dv: The message storage's index range is unknown (0x%x)", rc);
  const int base = !DvFailed(rc) && lowest == 0 ? 0 : 1;
  device.SetSimIndexBase(base);
  XLogLevel(kXLogTrace, "Dv: The message storage counts from %d", base);
}

// "AT+CPINR": one line per code; a counter the card leaves out stays -1.
PinPukRetries QueryStandardRetryCounters(Device& device) {
  PinPukRetries retries{-1, -1};
  device.SetCommand(u"AT+CPINR");
  device.SendCommand(SendModeNormal);
  while (!device.NextIsFinal()) {
    device.ExpectLine(kCpinrPrefix);
    RaiseParseFailure(device, ParseCpinrAnswer(device.ReadRest(), retries));
    device.DropLine();
  }
  device.WaitFinal();
  return retries;
}

}  // namespace

namespace GSM {

DvResult QueryPinPukState(uint32_t& state, bool during_initialisation) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard(during_initialisation ? unsigned{GuardAllowFound} : 0u);
    const int lowest_state = during_initialisation ? DeviceState::Found : DeviceState::Initialized;
    std::u16string text;
    for (int attempt = 1;; ++attempt) {
      if (device.GetDeviceState() < lowest_state || device.GoingDown()) DvRaise(DV_E_NO_DEVICE);
      try {
        CpinAnswer answer;
        // Some standard cards quote the state ("+CPIN: \"SIM PIN\"").
        const bool standard = device.IsStandardCard();
        SendQuery(device, u"AT+CPIN?", kCpinPrefix, kPinStateTimeoutMs, [&](std::u16string_view fields) {
          return standard ? ParseStandardCpinAnswer(fields, answer) : ParseCpinAnswer(fields, answer);
        });
        text = standard && answer.state != PinPukStateUnknown ? std::u16string(PinPukStateCardText(answer.state))
                                                              : std::move(answer.text);
        break;
      } catch (const DvException& e) {
        if (e.code == kSimBusy || (e.code == kStandardSimBusy && device.IsStandardCard())) {
          XLogLevel(kXLogTrace, "Dv: Qualcomm SIM is not ready, waiting a sec...");
          platform::Sleep(kSimBusyPauseMs);
          if (attempt < kSimBusyAttempts) continue;
          text.clear();  // the SIM never became ready: unknown
          break;
        }
        if (e.code == kSimFailure) DvRaise(SimFailureMeansNoSim(device) ? kSimNotInserted : e.code);
        if (e.code == kSimPinRequired) {
          XLogLevel(kXLogWarning, "Dv: Strange, CPIN should have returned \"SIM PIN\" - forcing state");
          state = PinPukStateSimPin;
          return;
        }
        if (e.code == kSimPukRequired) {
          XLogLevel(kXLogWarning, "Dv: Strange, CPIN should have returned \"SIM PUK\" - forcing state");
          state = PinPukStateSimPuk;
          return;
        }
        throw;
      }
    }
    const PinPukState parsed = PinPukStateFromText(text);
    if (parsed == PinPukStateUnknown) XLogLevel(kXLogWarning, "Dv: Unknown PIN status (%s)", LogText(text).c_str());
    state = parsed;
    if (parsed == PinPukStateReady && !device.PostPinOperationDone()) RunPostPinOperationLogged();
  });
}

DvResult EnableRadioInformationReports() {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    SetUpGuard(device);
    if (!device.IsBroadcomCard()) return;
    SendPlainCommand(device, u"AT*MRINFO=1", kRadioInformationTimeoutMs);
    // The answer comes as "*MRINFO:", which the dispatcher turns into the
    // EDGE state.
    SendPlainCommand(device, u"AT*MRINFO?", kRadioInformationTimeoutMs);
  });
}

DvResult EnableMessageIndications() {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    SetUpGuard(device);
    SendPlainCommand(device, u"AT+CNMI=2,1,0,1;+CMGF=0", kMessageIndicationsTimeoutMs);
    if (device.IsStandardCard()) DetectSimIndexBase(device);
  });
}

// Right after the PIN the SIM is often still busy and the set-up fails; it
// is marked done only once it succeeded, so the SIM polling tries again
// when the SIM reports itself initialised. Without it the session would
// get no new-message reports and no PDU mode.
DvResult RunPostPinOperation() {
  const DvResult radio = EnableRadioInformationReports();
  const DvResult messages = EnableMessageIndications();
  const DvResult rc = DvFailed(radio) ? radio : messages;
  if (!DvFailed(rc)) Device::Instance().SetPostPinOperationDone(true);
  return rc;
}

}  // namespace GSM

DvResult DvGetPinPukState(uint32_t* state) {
  return RunCommandCall([&] {
    Device::Instance().Guard();
    if (state == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    uint32_t value = PinPukStateUnknown;
    RaiseIfFailed(QueryPinPukState(value));
    *state = value;
  });
}

DvResult DvEnterPinCode(const char16_t* pin) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (Empty(pin)) DvRaise(DV_E_INVALID_ARGUMENT);
    SendSensitive(device, u"AT+CPIN=\"" + std::u16string(pin) + u"\"", kPinEntryTimeoutMs);
    AfterPinAccepted(device);
  });
}

DvResult DvEnterPukCode(const char16_t* puk, const char16_t* new_pin) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (Empty(puk) || Empty(new_pin)) DvRaise(DV_E_INVALID_ARGUMENT);
    SendSensitive(device, u"AT+CPIN=\"" + std::u16string(puk) + u"\",\"" + std::u16string(new_pin) + u"\"",
                  kPinEntryTimeoutMs);
    AfterPinAccepted(device);
  });
}

DvResult DvChangePinCode(const char16_t* old_pin, const char16_t* new_pin) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (Empty(old_pin) || Empty(new_pin)) DvRaise(DV_E_INVALID_ARGUMENT);
    SendSensitive(device,
                  u"AT+CPWD=\"SC\",\"" + std::u16string(old_pin) + u"\",\"" + std::u16string(new_pin) + u"\"",
                  kEngineDefaultTimeout);
  });
}

DvResult DvGetPinMode(int* enabled) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (enabled == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    bool on = false;
    SendQuery(device, u"AT+CLCK=\"SC\",2", kClckPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseClckAnswer(fields, on); });
    *enabled = on ? 1 : 0;
  });
}

DvResult DvSetPinMode(const char16_t* pin, int enable) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (Empty(pin)) DvRaise(DV_E_INVALID_ARGUMENT);
    SendSensitive(device,
                  std::u16string(u"AT+CLCK=\"SC\",") + (enable ? u'1' : u'0') + u",\"" + std::u16string(pin) + u"\"",
                  kEngineDefaultTimeout);
  });
}

DvResult DvGetPinPukRetryCounters(int* pin_retries, int* puk_retries) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (pin_retries == nullptr || puk_retries == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    PinPukRetries retries;
    if (device.IsStandardCard()) {
      if (!device.StandardRetryCounters()) DvRaise(DV_E_NOT_SUPPORTED);
      retries = QueryStandardRetryCounters(device);
    } else {
      SendQuery(device, u"AT_OERCN?", kOercnPrefix, kEngineDefaultTimeout,
                [&](std::u16string_view fields) { return ParseOercnAnswer(fields, retries); });
    }
    *pin_retries = retries.pin;
    *puk_retries = retries.puk;
  });
}

DvResult DvIsPinPukRetryCounterSupported(int* supported) {
  return RunCommandCall([&] {
    if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
    if (supported == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    const Device& device = Device::Instance();
    const uint32_t model = device.Model();  // 0 while no card is present
    *supported = (device.IsStandardCard() ? device.StandardRetryCounters() : HasRetryCounters(model)) ? 1 : 0;
  });
}
