#include "devicelib/ndis_connection_base.h"

#include <array>
#include <vector>

#include "devicelib/command_pattern.h"
#include "devicelib/device.h"
#include "devicelib/device_queries.h"
#include "devicelib/library.h"
#include "devicelib/ndis_records.h"
#include "foundation/xlog.h"
#include "platform/ascii.h"
#include "platform/event.h"
#include "platform/ip_helper.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

constexpr uint32_t kConnectionErrorType = 1;
constexpr DvResult kAccessDenied = DvFromSystemError(platform::kErrorAccessDenied);

bool IsUsableAddress(const std::string& address) { return !address.empty() && address != "0.0.0.0"; }

}  // namespace

NdisConnectionBase::NdisConnectionBase(Device& device, Flavour flavour)
    : Connection(device), flavour_(flavour), stop_event_(platform::CreateEvent(true, false)) {}

NdisConnectionBase::~NdisConnectionBase() {
  if (IsRunning()) Stop();
}

DvResult NdisConnectionBase::ConnectToEntry(std::u16string_view, std::u16string_view, const char16_t*,
                                            const char16_t*, const char16_t*) {
  return DV_E_NOT_SUPPORTED;
}

// --- Open and close ------------------------------------------------------------

DvResult NdisConnectionBase::StartMonitor(const NwCardInfo& info) {
  std::string name = platform::Utf16ToUtf8(CardInfoText(info.NetCfgInstanceId));
  if (name.size() > kAdapterNameMax) name.resize(kAdapterNameMax);
  adapter_name_ = std::move(name);
  {
    std::lock_guard lock(check_lock_);
    last_record_ = {};
  }
  interface_index_.store(0);
  stop_.store(false);
  platform::ResetEvent(stop_event_.get());
  try {
    Start();
  } catch (...) {
    const DvResult rc = DvCodeOfCurrentException();
    // A thread that missed its start hand-shake may still come up: it
    // finds the stop flag and ends, and is waited for here.
    SetStopFlag();
    Stop();
    return rc;
  }
  device().SetConnectionState(ConnectionState::Disconnected);
  return DV_S_OK;
}

void NdisConnectionBase::Close(bool end_call) {
  // The device is going down, so a disconnect through the guard would be
  // refused and leave the call up: the driver is asked directly.
  if (end_call && device().GetConnectionState() != ConnectionState::Disconnected) {
    disconnect_in_progress_.store(true);
    connect_requested_.store(false);
    XLogLevel(kXLogTrace, IsBroadcom() ? "Dv: Broadcom NDIS disconnect" : "Dv: NDIS disconnect");
    SendDisconnectRequest();
  }
  Stop();
  AfterMonitorStopped();
  if (end_call) device().SetConnectionState(ConnectionState::Disconnected);
  connect_requested_.store(false);
  disconnect_in_progress_.store(false);
  interface_index_.store(0);
}

void NdisConnectionBase::OnConnectionStateSet(int state) {
  // A disconnect that was asked for ends here; the next one is the card's.
  if (state == ConnectionState::Disconnected) disconnect_in_progress_.store(false);
}

// --- Monitor --------------------------------------------------------------------

void NdisConnectionBase::Run() {
  const uint32_t id = platform::GetCurrentThreadId();
  XLog(IsBroadcom() ? "Dv: BroadcomNdisConnection status monitor thread 0x%x has started"
                    : "Dv: NdisConnection status monitor thread 0x%x has started",
       id);
  CheckNdisState(1);
  while (!stop_.load()) {
    CheckNdisState(0);
    platform::WaitForSingleObject(stop_event_.get(), kMonitorPeriodMs);
  }
  XLog(IsBroadcom() ? "Dv: BroadcomNdisConnection status monitor thread 0x%x has ended"
                    : "Dv: NdisConnection status monitor thread 0x%x has ended",
       id);
}

int NdisConnectionBase::RequestStop() {
  // The handle stays open: on this system closing it would not wake a
  // request in progress, and its number could be handed to another file
  // meanwhile. The owner closes it once the monitor has ended.
  SetStopFlag();
  return 1;
}

void NdisConnectionBase::SetStopFlag() {
  stop_.store(true);
  platform::SetEvent(stop_event_.get());
}

// --- Requests -----------------------------------------------------------------

DvResult NdisConnectionBase::ReadState(platform::NdisStateRecord& record) {
  if (!HasDriverHandle()) return DV_E_NOT_READY;
  std::array<uint8_t, sizeof(platform::NdisStateRecord)> bytes{};
  uint32_t returned = 0;
  const uint32_t error = DriverRequest(platform::IOCTL_VL_NDIS_GET_STATE, {}, bytes, returned);
  if (error != platform::kErrorSuccess) return DvFromSystemError(error);
  if (!ParseNdisStateRecord(std::span(bytes).first(std::min<size_t>(returned, bytes.size())), record)) {
    return DvFromSystemError(platform::kErrorInvalidData);
  }
  return DV_S_OK;
}

DvResult NdisConnectionBase::SendDisconnectRequest() {
  // A Broadcom-type driver writes a reply nobody reads.
  std::array<uint8_t, platform::kBroadcomNdisReplySize> reply{};
  uint32_t returned = 0;
  const uint32_t error = DriverRequest(platform::IOCTL_VL_NDIS_GPRS_DISCONNECT, {},
                                       IsBroadcom() ? std::span<uint8_t>(reply) : std::span<uint8_t>(), returned);
  XLogLevel(kXLogTrace, "Dv: IOCTL_VL_NDIS_GPRS_DISCONNECT has finished");
  return DvFromSystemError(error);
}

DvResult NdisConnectionBase::ReadStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) {
  std::array<uint8_t, sizeof(platform::NdisStatisticsRecord)> bytes{};
  uint32_t returned = 0;
  const uint32_t error = DriverRequest(platform::IOCTL_VL_NDIS_GET_STATISTICS, {}, bytes, returned);
  if (error != platform::kErrorSuccess) return DvFromSystemError(error);
  platform::NdisStatisticsRecord record{};
  if (!ParseNdisStatisticsRecord(std::span(bytes).first(std::min<size_t>(returned, bytes.size())), record)) {
    return DvFromSystemError(platform::kErrorInvalidData);
  }
  *bytes_sent = record.bytes_transmitted;
  *bytes_received = record.bytes_received;
  *duration = record.duration;
  return DV_S_OK;
}

// --- Connect and disconnect ---------------------------------------------------------

DvResult NdisConnectionBase::BeginConnect(const char* log_line) {
  const DvResult guard = RunCommandCall([&] { device().Guard(); });
  if (DvFailed(guard)) return guard;
  if (device().GetConnectionState() != ConnectionState::Disconnected) return DV_E_CONNECTION_BUSY;
  XLogLevel(kXLogTrace, "%s", log_line);
  connect_requested_.store(true);
  device().SetConnectionState(ConnectionState::Connecting);
  return DV_S_OK;
}

DvResult NdisConnectionBase::SetApnIfGiven(const char16_t* apn) {
  if (apn == nullptr || *apn == u'\0') return DV_S_OK;
  // Without the port-busy step: the connection is Connecting by now, and the
  // driver's call never takes the application port, so on a card that
  // cannot multiplex the step would refuse every connect with an APN.
  return SetApnOnCard(apn, false);
}

DvResult NdisConnectionBase::Disconnect() {
  // Without the port-busy step: it would refuse every disconnect on a card
  // that cannot multiplex, whose call is up by definition here.
  const DvResult guard = RunCommandCall([&] { device().Guard(GuardSkipPortBusy); });
  if (DvFailed(guard)) return guard;
  const int state = device().GetConnectionState();
  if (state != ConnectionState::Connecting && state != ConnectionState::Connected) return DV_E_NO_CONNECTION;
  // The driver's way down from Connecting is asked for, not a failure.
  disconnect_in_progress_.store(true);
  XLogLevel(kXLogTrace, IsBroadcom() ? "Dv: Broadcom NDIS disconnect" : "Dv: NDIS disconnect");
  connect_requested_.store(false);
  const DvResult request = SendDisconnectRequest();
  CheckNdisState(1);
  const int after = device().GetConnectionState();
  if (after == ConnectionState::Connecting || after == ConnectionState::Connected) {
    device().SetConnectionState(ConnectionState::Disconnected);
  }
  return request;
}

// --- The state check ---------------------------------------------------------------

int NdisConnectionBase::MapDriverState(uint32_t state) const {
  switch (state) {
    case platform::kNdisStateConnected:
      return ConnectionState::Connected;
    case platform::kNdisStateConnecting2:
      return IsBroadcom() ? ConnectionState::Connecting : ConnectionState::Disconnected;
    case platform::kNdisStateConnecting3:
    case platform::kNdisStateConnecting4:
    case platform::kNdisStateConnecting5:
      return ConnectionState::Connecting;
    case platform::kNdisStateDisconnecting:
      return ConnectionState::Disconnecting;
    default:
      return ConnectionState::Disconnected;
  }
}

bool NdisConnectionBase::ClearsConnectRequest(uint32_t state) const {
  if (state == platform::kNdisStateConnected) return true;
  const uint32_t first = IsBroadcom() ? platform::kNdisStateConnecting2 : platform::kNdisStateConnecting3;
  return state >= first && state <= platform::kNdisStateDisconnecting;
}

DvResult NdisConnectionBase::CheckNdisState(int origin) {
  std::lock_guard lock(check_lock_);
  platform::NdisStateRecord record{};
  const DvResult read = ReadState(record);
  if (DvFailed(read)) {
    XLogLevel(kXLogError,
              IsBroadcom() ? "Dv: BroadcomNdisConnection::CheckNdisState(): GetNdisState failed with 0x%x"
                           : "Dv: NdisConnection::CheckNdisState(): GetNdisState failed with 0x%x",
              read);
    // The control device refuses us once the card has gone.
    if (!IsBroadcom() && read == kAccessDenied) {
      SetStopFlag();
      device().OnLostDevice(read);
    }
    return read;
  }
  if (record == last_record_) return DV_S_OK;
  if (IsBroadcom()) {
    XLogLevel(kXLogTrace, "Dv: Broadcom NDIS state=%d reason=%d", static_cast<int>(record.state),
              static_cast<int>(record.reason));
  } else {
    XLogLevel(kXLogTrace, "Dv: NDIS(%d) state=%d reason=%d", origin, static_cast<int>(record.state),
              static_cast<int>(record.reason));
  }

  if (record.state == platform::kNdisStateConnected && !adapter_name_.empty()) {
    bool valid = false;
    const DvResult rc = HasValidIpAddress(valid);
    if (DvFailed(rc)) {
      XLogLevel(kXLogError,
                IsBroadcom()
                    ? "BroadcomNdisConnection::CheckNdisState(): Could not query the validity of the device's IP "
                      "address (0x%x)"
                    : "NdisConnection::CheckNdisState(): Could not query the validity of the device's IP address "
                      "(0x%x)",
                rc);
      valid = true;
    }
    // The driver is up but DHCP has not given the adapter its address:
    // connected now would send the client to a link it cannot use yet. The
    // record stays unseen, so the next poll looks again, and the state
    // stays as it is; the last record's state is no stand-in, since a
    // driver that went up between two polls last reported its idle record,
    // which would read as a call dropped while connecting.
    if (!valid) {
      connect_requested_.store(false);
      return DV_S_OK;
    }
  }
  last_record_ = record;

  int mapped = MapDriverState(record.state);
  if (ClearsConnectRequest(record.state)) connect_requested_.store(false);

  // Before a driver has taken up the connect request it still reports its
  // idle records; they say nothing about the request.
  if (!IsBroadcom() && connect_requested_.load() &&
      ((record.state == platform::kNdisStateDisconnected && record.reason == 1) ||
       (record.state == platform::kNdisStateConnecting2 && (record.reason == 0 || record.reason == 1)))) {
    return DV_S_OK;
  }

  const int current = device().GetConnectionState();
  const bool failed = current != ConnectionState::Disconnected &&
                      (record.state == platform::kNdisStateFailed ||
                       (IsBroadcom() && record.reason != 0 && record.reason != 1));
  if (failed) {
    XLogLevel(kXLogError,
              IsBroadcom() ? "Dv: Broadcom NDIS connection failed with reason %d"
                           : "Dv: NDIS connection failed with reason %d",
              static_cast<int>(record.reason));
    RaiseError(kConnectionErrorType, DV_E_CONNECTION_BASE | (record.reason & 0xFFFF));
    if (IsBroadcom()) mapped = ConnectionState::Disconnected;
  } else if (!device().PdpContextActive() && !disconnect_in_progress_.load() &&
             current == ConnectionState::Connecting &&
             (mapped == ConnectionState::Disconnected || mapped == ConnectionState::Disconnecting)) {
    XLogLevel(kXLogError,
              IsBroadcom()
                  ? "Dv: Broadcom NDIS connection silently disconnected during connecting phase, assuming a failure"
                  : "Dv: NDIS connection silently disconnected during connecting phase, assuming a failure");
    RaiseError(kConnectionErrorType, DV_E_CONNECTION_DROPPED);
  }
  device().SetConnectionState(mapped);
  return DV_S_OK;
}

// GetAdaptersInfo hands back the whole list here; there is no buffer to size
// first, so the only failure left is the helper's own.
DvResult NdisConnectionBase::HasValidIpAddress(bool& valid) const {
  valid = false;
  std::vector<platform::IpAdapterInfo> adapters;
  const uint32_t error = platform::CurrentIpHelper().GetAdaptersInfo(adapters);
  if (error != platform::kErrorSuccess) {
    const DvResult rc = DvFromSystemError(error);
    XLogLevel(kXLogError,
              IsBroadcom() ? "BroadcomNdisConnection::HasValidIpAddress(): GetAdaptersInfo failed with 0x%x"
                           : "NdisConnection::HasValidIpAddress(): GetAdaptersInfo failed with 0x%x",
              rc);
    return rc;
  }
  for (const platform::IpAdapterInfo& adapter : adapters) {
    if (!platform::AsciiEqualsIgnoreCase(adapter.AdapterName, adapter_name_)) continue;
    const bool address_ok = IsUsableAddress(adapter.IpAddress);
    // A static address is there from the start; only DHCP has to wait.
    valid = !adapter.DhcpEnabled || address_ok;
    XLogLevel(kXLogTrace, "Adapter found, dhcp=%d ipaddr_ok=%d", adapter.DhcpEnabled ? 1 : 0, address_ok ? 1 : 0);
    return DV_S_OK;
  }
  return DV_S_OK;
}

// --- Statistics and the interface index -----------------------------------------------

void NdisConnectionBase::GuardStatistics(uint32_t* bytes_sent, uint32_t* bytes_received, uint32_t* duration) const {
  device().Guard(GuardSkipPortBusy);
  if (bytes_sent == nullptr || bytes_received == nullptr || duration == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
  if (device().GetConnectionState() == ConnectionState::Disconnected) DvRaise(DV_E_NO_CONNECTION);
}

DvResult NdisConnectionBase::GetIpInterfaceIndex(uint32_t* index) {
  if (index == nullptr) return DV_E_INVALID_ARGUMENT;
  *index = 0;
  return RunCommandCall([&] {
    device().Guard(GuardSkipPortBusy);
    if (const uint32_t cached = interface_index_.load(); cached != 0) {
      *index = cached;
      return;
    }
    const NwCardInfo info = device().CardInfo();
    if (info.Size == 0) DvRaise(DV_E_NOT_READY);
    const std::string name = platform::Utf16ToUtf8(CardInfoText(info.NetCfgInstanceId));
    std::vector<platform::IpAdapterInfo> adapters;
    const uint32_t error = platform::CurrentIpHelper().GetAdaptersInfo(adapters);
    if (error != platform::kErrorSuccess) DvRaise(DvFromSystemError(error));
    for (const platform::IpAdapterInfo& adapter : adapters) {
      if (adapter.AdapterName != name) continue;
      interface_index_.store(adapter.Index);
      *index = adapter.Index;
      return;
    }
    DvRaise(DV_E_NO_WWAN_ADAPTER);
  });
}

}  // namespace GSM
