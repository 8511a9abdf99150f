#include "devicelib/broadcom_ndis_connection.h"

#include <array>
#include <vector>

#include "devicelib/command_pattern.h"
#include "devicelib/device.h"
#include "devicelib/ndis_records.h"
#include "foundation/xlog.h"
#include "platform/device_tree.h"
#include "platform/win32_error.h"

namespace GSM {

BroadcomNdisConnection::BroadcomNdisConnection(Device& device) : NdisConnectionBase(device, Flavour::Broadcom) {}

BroadcomNdisConnection::~BroadcomNdisConnection() {
  if (IsRunning()) Stop();
}

// The requests go down the application port to the card's driver, the way
// a driver request on the open port goes (SerialPort::IoControl): by the
// port's path, which the device keeps open while the card is taken up.
bool BroadcomNdisConnection::HasDriverHandle() const { return device().IsOpen(); }

uint32_t BroadcomNdisConnection::DriverRequest(uint32_t code, std::span<const uint8_t> input,
                                               std::span<uint8_t> output, uint32_t& returned) {
  returned = 0;
  if (!device().IsOpen()) return platform::kErrorInvalidHandle;
  return platform::CurrentDeviceTree().PortIoControl(port_path_, code, input, output, returned);
}

DvResult BroadcomNdisConnection::Open() {
  if (!device().IsOpen()) return DV_E_NOT_READY;
  port_path_ = device().PortName();
  return StartMonitor(device().CardInfo());
}

DvResult BroadcomNdisConnection::Connect(const char16_t* apn, const char16_t* user_name, const char16_t* password,
                                         int authentication) {
  (void)authentication;
  const DvResult begun = BeginConnect("Dv: Broadcom NDIS connect");
  if (DvFailed(begun)) return begun;

  DvResult rc = SetApnIfGiven(apn);
  if (!DvFailed(rc)) {
    const std::vector<uint8_t> request =
        BuildNdisConnectRequest(platform::kBroadcomNdisConnectRequestSize, kBroadcomNdisDialString, user_name,
                                password);
    std::array<uint8_t, platform::kBroadcomNdisReplySize> reply{};
    uint32_t returned = 0;
    rc = DvFromSystemError(DriverRequest(platform::IOCTL_VL_NDIS_GPRS_CONNECT, request, reply, returned));
  }
  // The driver never took the request up: there is nothing to take down.
  if (DvFailed(rc)) {
    disconnect_in_progress_.store(true);
    device().SetConnectionState(ConnectionState::Disconnected);
    connect_requested_.store(false);
    disconnect_in_progress_.store(false);
  }
  return rc;
}

DvResult BroadcomNdisConnection::GetStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) {
  const DvResult guard = RunCommandCall([&] { GuardStatistics(bytes_sent, bytes_received, duration); });
  if (DvFailed(guard)) return guard;
  // While connecting, the driver keeps counters only in its last stage;
  // before that the call has moved nothing.
  if (device().GetConnectionState() == ConnectionState::Connecting) {
    platform::NdisStateRecord record{};
    const DvResult read = ReadState(record);
    if (DvFailed(read)) {
      XLogLevel(kXLogError, "BroadcomNdisDevice::GetConnectionStatistics(): GetNdisState() failed with 0x%x", read);
    } else if (record.state != platform::kNdisStateConnected && record.state != platform::kNdisStateConnecting5) {
      *bytes_sent = 0;
      *bytes_received = 0;
      *duration = 0;
      return DV_S_OK;
    }
  }
  return ReadStatistics(bytes_sent, bytes_received, duration);
}

}  // namespace GSM
