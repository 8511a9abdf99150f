// SIM data: ICCID, IMSI, own numbers, SIM initialisation status, radio
// state and the cached SIM values.
#include <string>

#include "devicelib/command_pattern.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "devicelib/sim_answers.h"
#include "devicelib/sms_answers.h"
#include "foundation/xlog.h"
#include "platform/clock.h"

using namespace GSM;

namespace {

constexpr int kImsiAttempts = 5;
constexpr uint32_t kImsiRetryPauseMs = 500;
constexpr uint32_t kRadioStateTimeoutMs = 10000;

// A standard card has no SIM status of its own: its SIM is ready once the
// PIN is in and the message storage answers. A refusal (the SIM still
// starting, or locked) says not yet; any other failure is raised.
bool StandardSimReady(Device& device) {
  try {
    SendQuery(device, u"AT+CPMS?", kCpmsPrefix, kEngineDefaultTimeout,
              [](std::u16string_view) { return DV_S_OK; });
    return true;
  } catch (const DvException& e) {
    const DvResult group = e.code & 0xFFFF0000u;
    if (e.code == DV_E_ERROR || group == DV_E_CME_BASE || group == DV_E_CMS_BASE) return false;
    throw;
  }
}

}  // namespace

namespace GSM {

DvResult QuerySimStatus(int& initialised) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (device.IsStandardCard()) {
      initialised = StandardSimReady(device) ? 1 : 0;
      return;
    }
    bool ready = false;
    SendQuery(device, u"AT_OBLS", kOblsPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseOblsAnswer(fields, ready); });
    initialised = ready ? 1 : 0;
  });
}

DvResult ReadRawImsi(std::u16string& imsi) {
  return RunCommandCall([&] {
    if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
    Device& device = Device::Instance();
    if (!device.Available()) DvRaise(DV_E_NO_DEVICE);
    std::u16string line;
    SendQuery(device, u"AT+CIMI", u"", kEngineDefaultTimeout, [&](std::u16string_view rest) {
      line.assign(rest);
      return DV_S_OK;
    });
    imsi = std::move(line);
  });
}

}  // namespace GSM

DvResult DvGetSimSerialNumber(char16_t* text) {
  ClearText(text, kDvNumberSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    CrsmAnswer answer;
    SendQuery(device, u"AT+CRSM=176,12258,0,0,10", kCrsmPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseCrsmAnswer(fields, answer); });
    CopyText(text, kDvNumberSize, answer.response);
  });
}

DvResult DvGetOwnPhoneNumbers(char16_t* text) {
  ClearText(text, kDvOwnNumbersSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    int initialised = 0;
    RaiseIfFailed(QuerySimStatus(initialised));
    if (initialised == 0) DvRaise(DV_E_SIM_NOT_INITIALIZED);
    device.SetCommand(u"AT+CNUM");
    device.SendCommand(SendModeNormal);
    std::u16string entry;
    if (!device.NextIsFinal()) {
      device.ExpectLine(kCnumPrefix);
      RaiseParseFailure(device, ParseCnumAnswer(device.ReadRest(), entry));
    }
    // Further entries are skipped here; the application reads the first.
    device.WaitFinal();
    CopyText(text, kDvOwnNumbersSize, entry);
  });
}

DvResult DvGetImsiNumber(char16_t* text) {
  ClearText(text, kDvNumberSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    uint32_t pin_state = PinPukStateUnknown;
    if (DvFailed(QueryPinPukState(pin_state)) || pin_state != PinPukStateReady) {
      XLogLevel(kXLogError, "Dv: PIN is not entered, ignoring the query of IMSI");
      DvRaise(DV_E_NOT_AVAILABLE);
    }
    DvResult last = DV_E_NO_DEVICE;
    for (int attempt = 0; attempt < kImsiAttempts; ++attempt) {
      if (attempt > 0) platform::Sleep(kImsiRetryPauseMs);
      if (device.GetDeviceState() != DeviceState::Initialized || device.GoingDown()) DvRaise(DV_E_NO_DEVICE);
      std::u16string imsi;
      last = ReadRawImsi(imsi);
      if (!DvFailed(last)) {
        CopyText(text, kDvNumberSize, imsi);
        return;
      }
    }
    DvRaise(last);
  });
}

DvResult DvGetSimState(int* state) {
  return RunCommandCall([&] {
    if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
    if (state == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    *state = Device::Instance().GetSimState();
  });
}

DvResult DvIsRemovable(int* type) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (type == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    *type = device.RemovabilityType();
  });
}

DvResult DvGetCurrentRadioState(int* state) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (state == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    RadioState radio = RadioStateOff;
    SendQuery(device, u"AT+CFUN?", kCfunPrefix, kRadioStateTimeoutMs,
              [&](std::u16string_view fields) { return ParseCfunAnswer(fields, radio); });
    *state = static_cast<int>(radio);
  });
}
