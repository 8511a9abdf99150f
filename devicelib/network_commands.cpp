// The network side: operator name and type, selection and technology
// modes, registration and attach states, signal and cell indications.
#include <string>

#include "devicelib/command_pattern.h"
#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/library.h"
#include "devicelib/network_answers.h"
#include "devicelib/standard_answers.h"
#include "foundation/xlog.h"

using namespace GSM;

namespace {

constexpr uint32_t kTechnologyModeTimeoutMs = 5000;
constexpr uint32_t kSetTechnologyModeTimeoutMs = 20000;
constexpr uint32_t kCellQueryTimeoutMs = 3000;
constexpr uint32_t kTechnologySelectionCapability = 0x40;

// Quote tracking for the length of the operator-name query: the name may
// hold CR and LF. Cleared on every way out.
class QuoteTrackingScope {
 public:
  explicit QuoteTrackingScope(Device& device) : device_(device) { device_.SetQuoteTracking(true); }
  ~QuoteTrackingScope() { device_.SetQuoteTracking(false); }
  QuoteTrackingScope(const QuoteTrackingScope&) = delete;
  QuoteTrackingScope& operator=(const QuoteTrackingScope&) = delete;

 private:
  Device& device_;
};

// The card's own name of the operator ("_OPON:"); empty when the card has
// none or the query fails in any way.
std::u16string QueryOwnOperatorName(Device& device) {
  OponAnswer answer;
  const DvResult rc = RunCommandCall([&] {
    SendQuery(device, u"AT_OPON?", kOponPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseOponAnswer(fields, answer); });
  });
  if (DvFailed(rc)) return {};
  XLogLevel(kXLogTrace, "Dv: Encoded name is [%s]", LogText(answer.encoded).c_str());
  if (!answer.encoded.empty()) XLogLevel(kXLogTrace, "Dv: Decoded name is [%s]", LogText(answer.name).c_str());
  return answer.name;
}

void CheckedLibraryState(const void* out) {
  if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
  if (out == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
}

}  // namespace

namespace GSM {

DvResult QuerySignal(int& value, int& extended) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    SignalQuality signal;
    SendQuery(device, u"AT+CSQ", kCsqPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseCsqAnswer(fields, signal); });
    value = signal.value;
    extended = signal.extended;
  });
}

DvResult QueryHsdpaState(int& state) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    uint32_t hsdpa = 0;
    SendQuery(device, u"AT_OHCIP?", kOhcipPrefix, kCellQueryTimeoutMs,
              [&](std::u16string_view fields) { return ParseOhcipAnswer(fields, hsdpa); });
    state = static_cast<int>(hsdpa);
  });
}

DvResult QueryWcdmaCellType(int& type) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    int cell_type = 0;
    SendQuery(device, u"AT_OWCTI?", kOwctiPrefix, kCellQueryTimeoutMs,
              [&](std::u16string_view fields) { return ParseOwctiAnswer(fields, cell_type); });
    type = cell_type;
  });
}

DvResult QueryStandardTechnology() {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    CopsAnswer answer;
    SendQuery(device, u"AT+COPS?", kCopsPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseCopsAnswer(fields, answer); });
    if (answer.act) device.SetRadioTechnologyOfAct(*answer.act);
  });
}

DvResult QueryNumericOperator(uint32_t& code) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    if (!device.Available()) DvRaise(DV_E_NO_DEVICE);
    CopsNumericAnswer answer;
    const bool broadcom = device.IsBroadcomCard();
    SendQuery(device, u"AT+COPS=3,2;+COPS?", kCopsPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseCopsNumericAnswer(fields, broadcom, answer); });
    code = static_cast<uint32_t>(answer.operator_code);
  });
}

}  // namespace GSM

DvResult DvGetNetworkInfo(char16_t* name, size_t capacity, int* type) {
  if (name != nullptr) ClearText(name, capacity);
  if (type != nullptr) *type = NetworkTypeNone;
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (name != nullptr && capacity < 2) DvRaise(DV_E_INVALID_ARGUMENT);
    if (!device.CsOrPsRegistered()) return;
    if (device.IsStandardCard()) {
      // No name of its own: the network's, and the technology from its AcT.
      CopsAnswer answer;
      {
        QuoteTrackingScope tracking(device);
        SendQuery(device, u"AT+COPS=3,0;+COPS?", kCopsPrefix, kEngineDefaultTimeout,
                  [&](std::u16string_view fields) { return ParseCopsAnswer(fields, answer); });
      }
      if (answer.act) device.SetRadioTechnologyOfAct(*answer.act);
      if (type != nullptr) *type = NetworkTypeOfRadio(static_cast<RadioTechnology>(device.GetRadioTechnology()));
      if (name != nullptr) CopyText(name, capacity, answer.oper);
      return;
    }
    const std::u16string own_name = device.IsBroadcomCard() ? std::u16string() : QueryOwnOperatorName(device);
    CopsNameAnswer answer;
    {
      QuoteTrackingScope tracking(device);
      SendQuery(device, u"AT+COPS=3,0;+COPS?", kCopsPrefix, kEngineDefaultTimeout,
                [&](std::u16string_view fields) { return ParseCopsNameAnswer(fields, answer, type != nullptr); });
    }
    if (type != nullptr) *type = answer.network_type;
    if (name != nullptr) CopyText(name, capacity, own_name.empty() ? answer.name : own_name);
  });
}

DvResult DvGetNetworkSelectionMode(int* mode) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (mode == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    int value = 0;
    SendQuery(device, u"AT+COPS?", kCopsPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseCopsModeAnswer(fields, value); });
    *mode = value;
  });
}

DvResult DvGetTechnologySelectionMode(int* mode) {
  return RunCommandCall([&] {
    if (!LibraryInitialized()) DvRaise(DV_E_NOT_INITIALIZED);
    Device& device = Device::Instance();
    if (device.GetDeviceState() == DeviceState::NotFound) {
      // No card: nothing to ask, mode 0.
      if (mode == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
      *mode = 0;
      return;
    }
    device.Guard();
    if (mode == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    if ((device.CardInfo().DriverCapabilities & kTechnologySelectionCapability) == 0) {
      *mode = 0;
      return;
    }
    int value = 0;
    SendQuery(device, u"AT_OPSYS?", kOpsysPrefix, kTechnologyModeTimeoutMs,
              [&](std::u16string_view fields) { return ParseOpsysAnswer(fields, value); });
    *mode = value;
  });
}

DvResult DvSetTechnologySelectionMode(int mode) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (!device.TechnologySelectionSupported()) DvRaise(DV_E_NOT_SUPPORTED);
    device.SetTimeout(kSetTechnologyModeTimeoutMs);
    device.SetCommand(u"AT_OPSYS=");
    device.AppendCommandFormat("%d", mode);
    device.AppendCommand(u",2");
    device.SendCommand(SendModeNormal);
    device.WaitFinal();
  });
}

DvResult DvIsTechnologySelectionSupported(int* supported) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (supported == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    *supported = device.TechnologySelectionSupported() ? 1 : 0;
  });
}

DvResult DvGetCsNetworkState(int* state) {
  return RunCommandCall([&] {
    CheckedLibraryState(state);
    *state = Device::Instance().GetCsState();
  });
}

DvResult DvGetPsNetworkState(int* state) {
  return RunCommandCall([&] {
    CheckedLibraryState(state);
    *state = Device::Instance().GetPsState();
  });
}

// These two once checked only the library; a null pointer is refused like
// everywhere else.
DvResult DvGetEdgeNetworkState(int* state) {
  return RunCommandCall([&] {
    CheckedLibraryState(state);
    *state = Device::Instance().GetEdgeState();
  });
}

DvResult DvGetHsdpaNetworkState(int* state) {
  return RunCommandCall([&] {
    CheckedLibraryState(state);
    *state = Device::Instance().GetHsdpaState();
  });
}

DvResult DvGetPsAttachedState(int* attached) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (attached == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    uint32_t value = 0;
    SendQuery(device, u"AT+CGATT?", kCgattPrefix, kEngineDefaultTimeout,
              [&](std::u16string_view fields) { return ParseCgattAnswer(fields, value); });
    *attached = static_cast<int>(value);
  });
}

DvResult DvGetSignalStrength(int* value, int* extended) {
  return RunCommandCall([&] {
    CheckedLibraryState(value);
    Device& device = Device::Instance();
    if (!device.CsOrPsRegistered()) {
      *value = 0;
      if (extended != nullptr) *extended = 0;
      return;
    }
    int signal = device.GetSignal();
    int extended_signal = device.GetExtendedSignal();
    if (signal < 0 || extended_signal < 0) {
      RaiseIfFailed(QuerySignal(signal, extended_signal));
      device.SetSignal(signal, extended_signal, true);
    }
    *value = signal;
    if (extended != nullptr) *extended = extended_signal;
  });
}

DvResult DvGetWcdmaSignalStrength(int* value) {
  return RunCommandCall([&] {
    CheckedLibraryState(value);
    Device& device = Device::Instance();
    // A standard card has no antenna level to report ("AT_OEANT" is the
    // vendor's).
    if (!device.CsOrPsRegistered() || device.IsGprsOnlyCard() || device.IsStandardCard()) {
      *value = 0;
      return;
    }
    if (device.GetWcdmaSignal() >= 0) {
      *value = device.GetWcdmaSignal();
      return;
    }
    device.Guard();
    int type = NetworkTypeNone;
    RaiseIfFailed(DvGetNetworkInfo(nullptr, 0, &type));
    if (type != NetworkTypeUmts) {
      *value = 0;
      return;
    }
    // The card answers with an "_OEANT:" line, which the dispatcher stores
    // (silently: this is our own question) before the final result comes.
    device.SuppressNextWcdmaEvent(true);
    const DvResult rc = RunCommandCall([&] { SendPlainCommand(device, u"AT_OEANT"); });
    device.SuppressNextWcdmaEvent(false);
    RaiseIfFailed(rc);
    const int wcdma = device.GetWcdmaSignal();
    if (wcdma < 0) DvRaise(DV_E_NOT_AVAILABLE);
    *value = wcdma;
  });
}

DvResult DvIsWcdmaSignalSupported(int* supported) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (supported == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    *supported = device.IsAntennaReportCard() ? 1 : 0;
  });
}
