#include "platform/pppd_dial_progress.h"

#include <array>

namespace platform {
namespace {

constexpr std::array<RasConnState, 9> kStageOrder = {
    RASCS_OpenPort,      RASCS_PortOpened,    RASCS_ConnectDevice,
    RASCS_DeviceConnected, RASCS_AllDevicesConnected, RASCS_Authenticate,
    RASCS_Authenticated, RASCS_Projected,     RASCS_Connected,
};

size_t OrderOf(RasConnState stage) {
  for (size_t i = 0; i < kStageOrder.size(); ++i) {
    if (kStageOrder[i] == stage) return i;
  }
  return 0;
}

}  // namespace

std::vector<RasConnState> PppdDialProgress::AdvanceTo(RasConnState target) {
  std::vector<RasConnState> reached;
  for (size_t i = OrderOf(stage_) + 1; i <= OrderOf(target); ++i) reached.push_back(kStageOrder[i]);
  if (!reached.empty()) stage_ = reached.back();
  return reached;
}

std::vector<RasConnState> PppdDialProgress::OnLine(const PppdLogLine& line) {
  // Once up, only the addresses may still come; a line of a stage before
  // (a second "Connect:" of a confused log) moves nothing back.
  switch (line.kind) {
    case PppdLogKind::kOther:
    case PppdLogKind::kConnectScriptFailed:
    case PppdLogKind::kModemHangup:
    case PppdLogKind::kTerminated:
    case PppdLogKind::kNotRoot:
      return {};
    case PppdLogKind::kDialling:
      return AdvanceTo(RASCS_ConnectDevice);
    case PppdLogKind::kChatFailed:
      chat_failed_ = true;
      chat_reason_ = line.value;
      return {};
    case PppdLogKind::kSerialConnected:
      return AdvanceTo(RASCS_DeviceConnected);
    case PppdLogKind::kInterface:
    case PppdLogKind::kConnect:
      if (interface_.empty()) interface_ = line.value;
      return AdvanceTo(RASCS_AllDevicesConnected);
    case PppdLogKind::kAuthSucceeded:
      return AdvanceTo(RASCS_Authenticated);
    case PppdLogKind::kAuthFailed:
      if (!Connected()) auth_failed_ = true;
      return AdvanceTo(RASCS_Authenticate);
    case PppdLogKind::kLocalIp:
      local_address_ = line.value;
      return AdvanceTo(RASCS_Connected);
    case PppdLogKind::kRemoteIp:
      remote_address_ = line.value;
      return {};
    case PppdLogKind::kDeviceLocked:
      port_locked_ = true;
      return {};
    case PppdLogKind::kOpenFailed:
      open_failure_ = line.detail;
      return {};
    case PppdLogKind::kNoKernelSupport:
      no_kernel_support_ = true;
      return {};
    case PppdLogKind::kOptionsFileMissing: {
      const std::string_view path = line.value;
      const std::string installed = "/peers/" + std::string(kInstalledPeerName);
      if (path.ends_with(installed)) installed_file_missing_ = true;
      return {};
    }
    case PppdLogKind::kNegotiationTimeout:
      negotiation_timeout_ = true;
      return {};
  }
  return {};
}

// pppd's own words for the open's errno (it never translates them).
uint32_t PppdDialProgress::OpenFailure() const {
  const std::string_view reason = open_failure_;
  if (reason == "Permission denied" || reason == "Operation not permitted") return kDialUpErrorPortNotPermitted;
  if (reason == "No such file or directory" || reason == "No such device" || reason == "No such device or address") {
    return kRasErrorDeviceNotFound;
  }
  // "Device or resource busy" (another opener's TIOCEXCL), and whatever
  // else keeps the port from us.
  return kRasErrorPortNotAvailable;
}

// chat's "Failed (…)": the abort string the card sent, or none when it sent
// nothing that was expected in time.
uint32_t PppdDialProgress::DialFailure() const {
  if (chat_failed_ && (chat_reason_.empty() || chat_reason_ == "NO ANSWER")) return kRasErrorNoAnswer;
  return kRasErrorFromDevice;
}

uint32_t PppdDialProgress::ErrorOnExit(int exit_code) const {
  namespace e = pppd_exit;
  if (Connected()) return kRasErrorPortDisconnected;
  if (no_kernel_support_) return kDialUpErrorNoKernelPpp;
  if (auth_failed_) return kRasErrorAuthenticationFailure;
  switch (exit_code) {
    case e::kOptionError:
      return installed_file_missing_ ? kDialUpErrorNotInstalled : kDialUpErrorPppdFailed;
    case e::kNotRoot:
      return kDialUpErrorPppdNotPermitted;
    case e::kNoKernelSupport:
      return kDialUpErrorNoKernelPpp;
    case e::kLockFailed:
      return kRasErrorPortNotAvailable;
    case e::kOpenFailed:
      return OpenFailure();
    case e::kConnectFailed:
      return DialFailure();
    case e::kNegotiationFailed:
      return kRasErrorPppTimeout;
    case e::kAuthTopeerFailed:
      return kRasErrorAuthenticationFailure;
    // Someone else ended pppd, the network or the card ended the call, or
    // the line died: the link went down before it was up.
    case e::kUserRequest:
    case e::kIdleTimeout:
    case e::kConnectTime:
    case e::kPeerDead:
    case e::kHangup:
      return kRasErrorPortDisconnected;
    default:
      break;
  }
  if (port_locked_) return kRasErrorPortNotAvailable;
  if (negotiation_timeout_) return kRasErrorPppTimeout;
  return kDialUpErrorPppdFailed;
}

}  // namespace platform
