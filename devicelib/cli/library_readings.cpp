#include "devicelib/cli/library_readings.h"

#include <iterator>

#include "carddetect/nw_api.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/sim_answers.h"
#include "platform/text.h"

namespace vombel_device {
namespace {

Reading<std::string> ReadText(DvResult (*call)(char16_t*), size_t size) {
  std::vector<char16_t> buffer(size, u'\0');
  const DvResult rc = call(buffer.data());
  if (rc != 0) return Failed<std::string>(rc);
  buffer.back() = u'\0';
  return Got(platform::Utf16ToUtf8(std::u16string_view(buffer.data())));
}

Reading<uint32_t> ReadPinState() {
  uint32_t state = 0;
  const DvResult rc = DvGetPinPukState(&state);
  return rc == 0 ? Got(state) : Failed<uint32_t>(rc);
}

Reading<RetryCounters> ReadRetries() {
  RetryCounters counters;
  const DvResult rc = DvGetPinPukRetryCounters(&counters.pin, &counters.puk);
  return rc == 0 ? Got(counters) : Failed<RetryCounters>(rc);
}

// The application port from the card record, as people see it.
Reading<std::string> ReadApplicationPort() {
  NwCardInfo info{};
  info.Size = sizeof info;
  const uint32_t rc = NwGetCardInfo(&info);
  if (rc != 0) return Failed<std::string>(DvFromSystemError(rc));
  return Got(platform::Utf16ToUtf8(PortNameShown(CardInfoText(info.AppPortName))));
}

}  // namespace

Reading<int> ReadInt(DvResult (*call)(int*)) {
  int value = 0;
  const DvResult rc = call(&value);
  return rc == 0 ? Got(value) : Failed<int>(rc);
}

Reading<NetworkInfo> ReadNetwork() {
  char16_t name[256] = {};
  NetworkInfo info;
  const DvResult rc = DvGetNetworkInfo(name, std::size(name), &info.type);
  if (rc != 0) return Failed<NetworkInfo>(rc);
  name[std::size(name) - 1] = u'\0';
  info.name = platform::Utf16ToUtf8(std::u16string_view(name));
  return Got(info);
}

Reading<Signal> ReadSignal() {
  Signal signal;
  const DvResult rc = DvGetSignalStrength(&signal.value, &signal.extended);
  return rc == 0 ? Got(signal) : Failed<Signal>(rc);
}

void ReadCachedStates(DeviceStatus& s) {
  s.device_state = ReadInt(DvGetDeviceState);
  if (!s.device_state.ok() || s.device_state.value == GSM::DeviceState::NotFound) return;
  s.cs_state = ReadInt(DvGetCsNetworkState);
  s.ps_state = ReadInt(DvGetPsNetworkState);
  s.edge_state = ReadInt(DvGetEdgeNetworkState);
  s.hsdpa_state = ReadInt(DvGetHsdpaNetworkState);
  const GSM::Device& device = GSM::Device::Instance();
  s.access_technology = Got(device.GetAccessTechnology());
  s.idle_text = Got(platform::Utf16ToUtf8(device.GetIdleText()));
}

void ReadPinStates(DeviceStatus& s) {
  s.sim_state = ReadInt(DvGetSimState);
  s.pin_state = ReadPinState();
  s.retry_counters_supported = ReadInt(DvIsPinPukRetryCounterSupported);
  if (s.retry_counters_supported.ok() && s.retry_counters_supported.value != 0) s.retries = ReadRetries();
}

DeviceStatus ReadEverything() {
  DeviceStatus s;
  ReadCachedStates(s);
  if (!s.device_state.ok() || s.device_state.value != GSM::DeviceState::Initialized) return s;
  s.model = ReadText(DvGetDeviceName, kDvNameSize);
  s.firmware = ReadText(DvGetFirmwareInfo, kDvNameSize);
  s.hardware = ReadText(DvGetHardwareInfo, kDvNameSize);
  s.imei = ReadText(DvGetImeiNumber, kDvNumberSize);
  s.serial = ReadText(DvGetDeviceSerialNumber, kDvNameSize);
  s.iccid = ReadText(DvGetSimSerialNumber, kDvNumberSize);
  s.imsi = ReadText(DvGetImsiNumber, kDvNumberSize);
  ReadPinStates(s);
  s.pin_enabled = ReadInt(DvGetPinMode);
  s.network = ReadNetwork();
  s.technology_selection_supported = ReadInt(DvIsTechnologySelectionSupported);
  if (s.technology_selection_supported.ok() && s.technology_selection_supported.value != 0) {
    s.technology_mode = ReadInt(DvGetTechnologySelectionMode);
  }
  s.apn = ReadText(DvGetApn, kDvNumberSize);
  s.signal = ReadSignal();
  s.wcdma_supported = ReadInt(DvIsWcdmaSignalSupported);
  if (s.wcdma_supported.ok() && s.wcdma_supported.value != 0) s.wcdma_signal = ReadInt(DvGetWcdmaSignalStrength);
  return s;
}

Reading<std::vector<std::string>> ReadOwnNumbers(const DeviceStatus& status) {
  if (!status.sim_state.ok() || status.sim_state.value == 0) return {};
  std::u16string numbers(kDvOwnNumbersSize, u'\0');
  const DvResult rc = DvGetOwnPhoneNumbers(numbers.data());
  if (rc != 0) return Failed<std::vector<std::string>>(rc);
  return Got(OwnPhoneNumbers(std::u16string_view(numbers.c_str())));
}

DiagnosticsFacts ReadDiagnostics() {
  DiagnosticsFacts f;
  f.card_name = ReadText(DvGetDeviceName, kDvNameSize);
  f.application_port = ReadApplicationPort();
  f.serial_number = ReadText(DvGetDeviceSerialNumber, kDvNameSize);
  f.firmware = ReadText(DvGetFirmwareInfo, kDvNameSize);
  f.hardware = ReadText(DvGetHardwareInfo, kDvNameSize);
  f.imei = ReadText(DvGetImeiNumber, kDvNumberSize);
  f.pin_state = ReadPinState();
  // The SIM's own values only from a SIM that answers, as the window asks.
  if (!f.pin_state.ok() || f.pin_state.value != GSM::PinPukStateUnknown) {
    f.iccid = ReadText(DvGetSimSerialNumber, kDvNumberSize);
    DeviceStatus sim;
    sim.sim_state = ReadInt(DvGetSimState);
    f.phone_numbers = ReadOwnNumbers(sim);
  }
  f.network = ReadNetwork();
  f.network_selection = ReadInt(DvGetNetworkSelectionMode);
  f.cs_state = ReadInt(DvGetCsNetworkState);
  f.ps_state = ReadInt(DvGetPsNetworkState);
  f.ps_attached = ReadInt(DvGetPsAttachedState);
  const bool registered = (f.cs_state.ok() && GSM::IsRegistered(f.cs_state.value)) ||
                          (f.ps_state.ok() && GSM::IsRegistered(f.ps_state.value));
  if (registered) f.signal = ReadSignal();
  f.apn = ReadText(DvGetApn, kDvNumberSize);
  return f;
}

}  // namespace vombel_device
