// How one pppd run goes, told by its log lines and by how it ended: the dial
// stages it has reached, the interface and addresses it reported, and the
// error its end means. No I/O: the service feeds it what it reads.
//
// Stages come in this order, each once; a line that proves a later stage
// also reaches the ones before it that no line showed (pppd says nothing when
// authentication starts, for one):
//   RASCS_OpenPort         the service started pppd
//   RASCS_PortOpened,
//   RASCS_ConnectDevice    the chat script runs (its "dialling" line)
//   RASCS_DeviceConnected  "Serial connection established." (CONNECT came)
//   RASCS_AllDevicesConnected  "Using interface pppN" / "Connect: pppN <--> …"
//   RASCS_Authenticate     a failed log-in
//   RASCS_Authenticated    "PAP/CHAP authentication succeeded"
//   RASCS_Projected,
//   RASCS_Connected        "local  IP address …": the link is up
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dial_up.h"
#include "platform/pppd_log_line.h"

namespace platform {

// The peer file the program installs under /etc/ppp/peers.
inline constexpr std::string_view kInstalledPeerName = "vombel-connect";

// The exit codes of pppd (pppd(8), "EXIT STATUS").
namespace pppd_exit {
inline constexpr int kOk = 0;
inline constexpr int kFatalError = 1;
inline constexpr int kOptionError = 2;
inline constexpr int kNotRoot = 3;
inline constexpr int kNoKernelSupport = 4;
inline constexpr int kUserRequest = 5;
inline constexpr int kLockFailed = 6;
inline constexpr int kOpenFailed = 7;
inline constexpr int kConnectFailed = 8;
inline constexpr int kPtyCommandFailed = 9;
inline constexpr int kNegotiationFailed = 10;
inline constexpr int kPeerAuthFailed = 11;
inline constexpr int kIdleTimeout = 12;
inline constexpr int kConnectTime = 13;
inline constexpr int kCallback = 14;
inline constexpr int kPeerDead = 15;
inline constexpr int kHangup = 16;
inline constexpr int kLoopback = 17;
inline constexpr int kInitFailed = 18;
inline constexpr int kAuthTopeerFailed = 19;
}  // namespace pppd_exit

// What ErrorOnExit gets for a pppd that a signal killed.
inline constexpr int kPppdKilled = -1;

class PppdDialProgress {
 public:
  // The stages `line` newly reaches, in order; empty for most lines.
  std::vector<RasConnState> OnLine(const PppdLogLine& line);

  // The error that pppd's end means: `exit_code` as it exited (0 … 255), or
  // kPppdKilled. After the link was up every end is kRasErrorPortDisconnected
  // (the link went down); before, the code and the lines seen tell why.
  uint32_t ErrorOnExit(int exit_code) const;

  RasConnState Stage() const { return stage_; }
  bool Connected() const { return stage_ == RASCS_Connected; }
  const std::string& Interface() const { return interface_; }
  const std::string& LocalAddress() const { return local_address_; }
  const std::string& RemoteAddress() const { return remote_address_; }

 private:
  std::vector<RasConnState> AdvanceTo(RasConnState target);
  uint32_t OpenFailure() const;
  uint32_t DialFailure() const;

  RasConnState stage_ = RASCS_OpenPort;
  std::string interface_;
  std::string local_address_;
  std::string remote_address_;
  bool chat_failed_ = false;
  std::string chat_reason_;
  bool auth_failed_ = false;
  bool no_kernel_support_ = false;
  bool installed_file_missing_ = false;
  bool port_locked_ = false;
  std::string open_failure_;
  bool negotiation_timeout_ = false;
};

}  // namespace platform
