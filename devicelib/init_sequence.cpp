// DvInitializeDevice: brings a card that was just taken up (device state
// Found) into the mode the rest of the library relies on, learns what it
// can do, and marks it Initialized.
#include <string>

#include "devicelib/command_pattern.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "devicelib/network_answers.h"
#include "devicelib/sim_answers.h"
#include "foundation/card_models.h"
#include "foundation/xlog.h"
#include "platform/clock.h"

namespace GSM {
namespace {

constexpr uint32_t kInitialWaitMs = 1000;
constexpr int kAtAttempts = 3;
constexpr int kPausesAfterFailedAt = 3;
constexpr uint32_t kPauseAfterFailedAtMs = 333;
constexpr int kImsiAttempts = 5;
constexpr uint32_t kImsiRetryPauseMs = 500;


// A failure that ends the sequence at once, whatever the step tolerates.
void RaiseIfGone(DvResult rc) {
  if (rc == DV_E_NO_DEVICE) DvRaise(rc);
}

// Step 3: the card must answer "AT"; three tries, about a second apart.
void WaitForAnswer(Device& device) {
  for (int attempt = 1; attempt <= kAtAttempts; ++attempt) {
    const DvResult rc = RunCommandCall([&] { SendPlainCommand(device, u"AT", 2000); });
    if (!DvFailed(rc)) return;
    RaiseIfGone(rc);
    for (int pause = 0; pause < kPausesAfterFailedAt; ++pause) {
      platform::Sleep(kPauseAfterFailedAtMs);
      if (!device.Available()) DvRaise(DV_E_NO_DEVICE);
    }
  }
}

void DetectTechnologySelection(Device& device) {
  if (!device.IsTechnologySelectionCard()) return;
  OpsysTestAnswer modes;
  SendQuery(device, u"AT_OPSYS=?", kOpsysPrefix, 5000,
            [&](std::u16string_view fields) { return ParseOpsysTestAnswer(fields, modes); });
  device.SetTechnologySelectionSupported(modes.supported);
  if (device.Model() == kCardModel0E00 && !modes.supported) return;
  SendPlainCommand(device, u"AT_OSSYS=1", 5000);
  AccessTechnology technology = PacketSwitchedTechnologyNone;
  SendQuery(device, u"AT_OSSYS?", kOssysPrefix, 5000,
            [&](std::u16string_view fields) { return ParseOssysAnswer(fields, technology); });
  device.SetAccessTechnology(technology);
}

bool DetectVoice(Device& device) {
  const NwCardInfo info = device.CardInfo();
  bool capable = device.GetDeviceState() != DeviceState::NotFound &&
                 (info.Family == 1 || info.Family == 2 || device.Model() == kCardModel0300);
  if (!capable && device.Model() != kCardModel0E00 && !device.IsStandardCard()) {
    const DvResult rc = RunCommandCall([&] {
      SendQuery(device, u"AT_OPCMENABLE?", kOpcmenablePrefix, kEngineDefaultTimeout,
                [&](std::u16string_view fields) { return ParseOpcmenableAnswer(fields, capable); });
    });
    RaiseIfGone(rc);
    if (DvFailed(rc)) capable = false;
  }
  if (capable) {
    const DvResult rc = RunCommandCall([&] { SendPlainCommand(device, u"AT+CLIP=1", 5000); });
    RaiseIfGone(rc);
    if (DvFailed(rc)) capable = false;
  }
  return capable;
}

int DetectRemovability(Device& device) {
  switch (device.Model()) {
    case kCardModel0900:
    case kCardModel0901:
    case kCardModel0E00:
    case kCardModel1000:
    case kCardModel1020:
      return 1;
    case kCardModel0A00:
    case kCardModel0D00:
      return 3;
    case kCardModel0C00: {
      int type = kRemovabilityUndeterminable;
      SendQuery(device, u"AT+CGSN", u"", 5000,
                [&](std::u16string_view line) { return ParseRemovabilityAnswer(line, type); });
      if (type == kRemovabilityUndeterminable) {
        XLogLevel(kXLogWarning, "Dv: No serial number found in the answer, removability type is undeterminable");
      }
      return type;
    }
    default:
      return 2;
  }
}

// Step 14. The IMSI can only be read once the PIN is in; while the device
// is still Found the public call's guard would refuse it, so the raw read
// runs here, and SIM polling reads it again once the SIM is initialised
// if it was not known yet.
void ReadHomeNetwork(Device& device) {
  uint32_t pin_state = 0;
  const DvResult rc = QueryPinPukState(pin_state, true);
  RaiseIfGone(rc);
  if (DvFailed(rc) || pin_state != PinPukStateReady) return;
  for (int attempt = 0; attempt < kImsiAttempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kImsiRetryPauseMs);
    if (!device.Available()) DvRaise(DV_E_NO_DEVICE);
    std::u16string imsi;
    const DvResult read = ReadRawImsi(imsi);
    RaiseIfGone(read);
    if (!DvFailed(read)) {
      device.SetImsi(imsi);
      return;
    }
  }
}

// A standard card that knows "+CPINR" has retry counters; one that answers
// ERROR simply has none.
void DetectStandardRetryCounters(Device& device) {
  const DvResult rc = RunCommandCall([&] { SendPlainCommand(device, u"AT+CPINR=?", 5000); });
  RaiseIfGone(rc);
  device.SetStandardRetryCounters(!DvFailed(rc));
  XLogLevel(kXLogTrace, "Dv: PIN retry counters %s supported by this card", DvFailed(rc) ? "are not" : "are");
}

// A card that refused a command answered it: it is at its command line.
bool Refused(DvResult rc) {
  const DvResult group = rc & 0xFFFF0000u;
  return rc == DV_E_ERROR || group == DV_E_CME_BASE || group == DV_E_CMS_BASE;
}

// Reports with cell and access technology ("=2"), or without (=1) on a card
// that refuses those; +CEREG only on cards with LTE, the others refuse it.
void EnableStandardRegistrationReports(Device& device) {
  static constexpr std::u16string_view kCommands[] = {u"+CREG", u"+CGREG", u"+CEREG"};
  for (std::u16string_view command : kCommands) {
    const std::u16string at = u"AT" + std::u16string(command);
    DvResult rc = RunCommandCall([&] { SendPlainCommand(device, at + u"=2;" + std::u16string(command) + u"?", 5000); });
    if (Refused(rc)) {
      rc = RunCommandCall([&] { SendPlainCommand(device, at + u"=1;" + std::u16string(command) + u"?", 5000); });
    }
    if (Refused(rc) && command == u"+CEREG") {
      XLogLevel(kXLogTrace, "Dv: The card reports no EPS registration");
      continue;
    }
    RaiseIfFailed(rc);
  }
}

void EnableIdleText(Device& device) {
  RaiseIfGone(RunCommandCall([&] { SendPlainCommand(device, u"AT_OWIND=1", 5000); }));
  const DvResult rc = RunCommandCall([&] { SendPlainCommand(device, u"AT_OIDLETEXT=1", 5000); });
  RaiseIfGone(rc);
  if (DvFailed(rc)) return;
  RaiseIfGone(RunCommandCall([&] { SendPlainCommand(device, u"AT_OIDLETEXT?", 5000); }));
}

void SettleSimState(Device& device) {
  uint32_t pin_state = 0;
  const DvResult rc = QueryPinPukState(pin_state);
  RaiseIfGone(rc);
  if (DvFailed(rc) || pin_state != PinPukStateReady) return;
  int initialised = 0;
  const DvResult status = QuerySimStatus(initialised);
  RaiseIfGone(status);
  if (DvFailed(status)) {
    XLogLevel(kXLogError, "Dv: Could not query SIM status (rc=0x%x), assuming SIM is not initialized", status);
    initialised = 0;
  }
  device.SetSimState(initialised != 0 ? 1 : 0);
}

void InitializeDevice(Device& device) {
  XLogLevel(kXLogTrace, "Dv: Waiting %d milliseconds before initializing...", static_cast<int>(kInitialWaitMs));
  platform::Sleep(kInitialWaitMs);
  if (!device.Available()) DvRaise(DV_E_NO_DEVICE);
  device.EmptyAnswerQueue();
  device.Write(u"\r", false);

  WaitForAnswer(device);
  RaiseIfFailed(DvEnableExtendedErrorReporting());
  SendPlainCommand(device, u"AT+CGMR", 3000);
  SendPlainCommand(device, u"AT+CSCS=\"GSM\"", 3000);

  DetectTechnologySelection(device);
  if (device.IsGprsOnlyCard()) device.SetAccessTechnology(PacketSwitchedTechnologyGprs);

  // A standard card reports no signal by itself: the radio poll asks.
  if (device.IsBroadcomCard()) {
    SendPlainCommand(device, u"AT*MCSQ=1", 5000);
  } else if (device.Model() != kCardModel0E00 && !device.IsStandardCard()) {
    SendPlainCommand(device, u"AT_OSQI=1", 5000);
  }
  if (device.IsAntennaReportCard()) {
    const DvResult rc = RunCommandCall([&] { SendPlainCommand(device, u"AT_OEANT=1", 5000); });
    if (rc != DV_E_ERROR) RaiseIfFailed(rc);
  }
  if (device.Model() == kCardModel0E00) SendPlainCommand(device, u"AT_OGACT=1", 5000);

  const bool voice = DetectVoice(device);
  device.SetVoiceCapable(voice);
  XLogLevel(kXLogTrace, "Dv: Voice %s supported by this card", voice ? "is" : "is not");

  device.SetRemovabilityType(DetectRemovability(device));
  if (device.IsStandardCard()) DetectStandardRetryCounters(device);
  RaiseIfFailed(DvEnableRegistrationEvents());
  ReadHomeNetwork(device);
  if (device.Is3gCard() && !device.IsStandardCard()) EnableIdleText(device);

  device.SetDeviceState(DeviceState::Initialized);
  device.SetVoiceState(voice && IsRegistered(device.GetCsState()) ? VoiceState::Disconnected
                                                                   : VoiceState::NotReady);
  SettleSimState(device);
}

}  // namespace
}  // namespace GSM

using GSM::Device;

DvResult DvInitializeDevice() {
  if (!GSM::LibraryInitialized()) return DV_E_NOT_INITIALIZED;
  Device& device = Device::Instance();
  if (!device.Available()) return DV_E_NO_DEVICE;
  if (device.GetDeviceState() == GSM::DeviceState::Initialized) return DV_S_OK;
  return GSM::RunCommandCall([&] { GSM::InitializeDevice(device); });
}

DvResult DvEnableExtendedErrorReporting() {
  if (!GSM::LibraryInitialized()) return DV_E_NOT_INITIALIZED;
  Device& device = Device::Instance();
  if (!device.Available()) return DV_E_NO_DEVICE;
  if (device.GetDeviceState() == GSM::DeviceState::Initialized && device.PortBusy()) return DV_E_PORT_BUSY;
  return GSM::RunCommandCall([&] {
    GSM::SendPlainCommand(device, u"ATE0", 3000);
    GSM::SendPlainCommand(device, u"AT+CMEE=1", 3000);
  });
}

DvResult DvEnableRegistrationEvents() {
  if (!GSM::LibraryInitialized()) return DV_E_NOT_INITIALIZED;
  Device& device = Device::Instance();
  if (!device.Available()) return DV_E_NO_DEVICE;
  return GSM::RunCommandCall([&] {
    if (device.IsStandardCard()) {
      GSM::EnableStandardRegistrationReports(device);
      return;
    }
    GSM::SendPlainCommand(device, u"AT+CGREG=1;+CGREG?", 5000);
    if (device.Model() != kCardModel0E00) GSM::SendPlainCommand(device, u"AT+CREG=1;+CREG?", 5000);
    if (device.Is3gCard()) {
      GSM::SendPlainCommand(device, u"AT_OCTI=1", 5000);
      GSM::SendPlainCommand(device, u"AT_OCTI?");
    }
  });
}
