#include "devicelib/ndis_connection.h"

#include <vector>

#include "carddetect/card_info.h"
#include "devicelib/command_pattern.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/library.h"
#include "devicelib/ndis_records.h"
#include "foundation/xlog.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

constexpr int kTechnologySelectionStack = 2;

// The card's own WAN call states ("AT_OWANCALL?").
constexpr int kWanCallDown = 0;
constexpr int kWanCallUp = 1;
constexpr int kWanCallFailed = 3;

}  // namespace

NdisConnection::NdisConnection(Device& device) : NdisConnectionBase(device, Flavour::Ndis) {}

NdisConnection::~NdisConnection() {
  if (IsRunning()) Stop();
  CloseNdisHandle();
}

// --- The control device ----------------------------------------------------------

std::shared_ptr<platform::DeviceFile> NdisConnection::File() const {
  std::lock_guard lock(file_lock_);
  return file_;
}

bool NdisConnection::HasDriverHandle() const { return File() != nullptr; }

uint32_t NdisConnection::DriverRequest(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                                       uint32_t& returned) {
  returned = 0;
  const std::shared_ptr<platform::DeviceFile> file = File();
  if (!file) return platform::kErrorInvalidHandle;
  return file->IoControl(code, input, output, returned);
}

void NdisConnection::CloseNdisHandle() {
  std::shared_ptr<platform::DeviceFile> file;
  {
    std::lock_guard lock(file_lock_);
    file.swap(file_);
  }
  if (!file) return;
  XLog("Dv: Closing NDIS handle...");
  file.reset();
  XLog("Dv: NDIS handle has been closed");
}

void NdisConnection::AfterMonitorStopped() { CloseNdisHandle(); }

// --- Open ------------------------------------------------------------------------

DvResult NdisConnection::Open() {
  const NwCardInfo info = device().CardInfo();
  if (!HasCardInfoText(info.WwanNdisPortName)) return DV_E_NO_NDIS_PORT;
  const std::u16string_view name = CardInfoText(info.WwanNdisPortName);
  CloseNdisHandle();
  std::unique_ptr<platform::DeviceFile> file;
  uint32_t error = platform::CurrentDeviceTree().OpenDevice(name, platform::kDeviceAccessNone, file);
  if (error == platform::kErrorSuccess && !file) error = platform::kErrorInvalidHandle;
  if (error != platform::kErrorSuccess) return DvFromSystemError(error);
  XLog("Dv: NDIS device opened with the name %s", platform::Utf16ToUtf8(name).c_str());
  {
    std::lock_guard lock(file_lock_);
    file_ = std::move(file);
  }
  DvResult rc = FixDriverConfiguration();
  if (!DvFailed(rc)) rc = StartMonitor(info);
  // The device is opened for this process alone: a card given up must not
  // stay locked to us.
  if (DvFailed(rc)) CloseNdisHandle();
  return rc;
}

DvResult NdisConnection::ReadConfig(std::vector<uint8_t>& record) {
  record.assign(platform::kNdisConfigSize, 0);
  uint32_t returned = 0;
  const uint32_t error = DriverRequest(platform::IOCTL_VL_NDIS_GET_CONFIG, {}, record, returned);
  if (error != platform::kErrorSuccess) return DvFromSystemError(error);
  // Part of a record written back would overwrite the driver's settings
  // with zeros.
  if (returned != platform::kNdisConfigSize) return DvFromSystemError(platform::kErrorInvalidData);
  return DV_S_OK;
}

DvResult NdisConnection::WriteConfig(const std::vector<uint8_t>& record) {
  uint32_t returned = 0;
  return DvFromSystemError(DriverRequest(platform::IOCTL_VL_NDIS_SET_CONFIG, record, {}, returned));
}

DvResult NdisConnection::FixDriverConfiguration() {
  std::vector<uint8_t> record;
  const DvResult read = ReadConfig(record);
  if (DvFailed(read)) return read;
  if (!FixNdisConfigCommands(record)) return DV_S_OK;
  return WriteConfig(record);
}

// --- Connect ----------------------------------------------------------------------

DvResult NdisConnection::Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                                 int authentication) {
  const DvResult begun = BeginConnect("Dv: NDIS connect");
  if (DvFailed(begun)) return begun;

  DvResult rc = SetApnIfGiven(apn);
  if (!DvFailed(rc)) {
    if (!device().IsDataCallPollingCard()) {
      rc = DevIoConnect(user_name, password);
    } else {
      // On a composite card the driver brings up the adapter and the card
      // makes the call itself; a stack 2 card is told the credentials too.
      if (device().CardInfo().Stack == kTechnologySelectionStack) {
        rc = SetNdisCredentialsOnCard(authentication, user_name, password);
      }
      if (!DvFailed(rc)) rc = DevIoConnect(user_name, password);
      if (!DvFailed(rc)) rc = StartWanCall();
      if (!DvFailed(rc)) rc = StartLibraryTimer(TimerDataCallPolling);
    }
  }
  if (DvFailed(rc)) {
    disconnect_in_progress_.store(true);
    Disconnect();
    connect_requested_.store(false);
    disconnect_in_progress_.store(false);
  }
  return rc;
}

DvResult NdisConnection::DevIoConnect(const char16_t* user_name, const char16_t* password) {
  XLogLevel(kXLogTrace, "Dv: NDIS DevIO connect");
  const std::vector<uint8_t> request =
      BuildNdisConnectRequest(platform::kNdisConnectRequestSize, kNdisDialString, user_name, password);
  uint32_t returned = 0;
  const uint32_t error = DriverRequest(platform::IOCTL_VL_NDIS_GPRS_CONNECT, request, {}, returned);
  XLogLevel(kXLogTrace, "Dv: IOCTL_VL_NDIS_GPRS_CONNECT has finished");
  return DvFromSystemError(error);
}

// --- The composite card's WAN call --------------------------------------------------

void NdisConnection::PollDataCallState() {
  int state = kWanCallDown;
  const DvResult rc = QueryWanCallState(state);
  if (DvFailed(rc)) {
    XLogLevel(kXLogError,
              "Dv: NdisConnection::CheckDataCallState(): Checking data call state failed with 0x%x, forcing "
              "'disconnected' state",
              rc);
    state = kWanCallDown;
  }
  switch (state) {
    case kWanCallUp:
      StopLibraryTimer(TimerDataCallPolling);
      break;
    case kWanCallDown:
      Disconnect();
      break;
    case kWanCallFailed:
      RaiseError(1, DV_E_CONNECTION_DROPPED);
      Disconnect();
      break;
    default:
      break;  // still on its way: the next poll looks again
  }
}

// --- Statistics and credentials ------------------------------------------------------

DvResult NdisConnection::GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) {
  const DvResult guard = RunCommandCall([&] { GuardStatistics(bytes_sent, bytes_received, duration); });
  if (DvFailed(guard)) return guard;
  return ReadStatistics(bytes_sent, bytes_received, duration);
}

DvResult NdisConnection::GetCredentials(std::u16string& user_name, std::u16string& password) {
  std::vector<uint8_t> record;
  const DvResult rc = ReadConfig(record);
  if (DvFailed(rc)) return rc;
  user_name = ConfigUserName(record);
  password = ConfigPassword(record);
  return DV_S_OK;
}

DvResult NdisConnection::SetCredentials(const char16_t* user_name, const char16_t* password) {
  std::vector<uint8_t> record;
  const DvResult rc = ReadConfig(record);
  if (DvFailed(rc)) return rc;
  SetConfigCredentials(record, user_name, password);
  return WriteConfig(record);
}

}  // namespace GSM
