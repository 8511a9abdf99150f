// The simulated dial-up service: phonebook entries in memory, and calls
// dialled on the simulated card's modem port for real. A call plays the
// stages of a remote-access dial, each taking kStageMs on the platform
// clock: it opens the port (RASCS_OpenPort, RASCS_PortOpened), sends "ATD"
// and the number and waits for "CONNECT" (RASCS_ConnectDevice,
// RASCS_DeviceConnected, RASCS_AllDevicesConnected), logs in and asks for
// the link's address in the protocol of sim_link_frames.h
// (RASCS_Authenticate, RASCS_Authenticated), adds the adapter "pppN" with
// that address to the SimIpHelper and reports RASCS_Connected. While up it
// sends an echo frame every kEchoIntervalMs and counts what goes each way
// on the adapter.
//
// A failed stage reaches the callback as (stage, error): 633 when another
// opener holds the port, 651 when the card refuses the dial string, 678
// when it does not answer it within kDialAnswerMs, 691 when the network
// refuses the login, 718 when the link does not answer within
// kLinkAnswerMs, 731 when it gives no usable address, 619 when the port or
// the call goes meanwhile. A link that ends by itself (the network's "NO
// CARRIER", the card pulled) reaches it as (RASCS_Disconnected, 619); a
// hang-up reaches it not at all. Either way the adapter goes and
// GetConnectStatus says RASCS_Disconnected with the error, until the handle
// is hung up. Handles are never reused.
//
// Ending a call after "CONNECT" sends "+++" and waits for the card's "OK",
// so that the card is back in command mode when the port is closed: on a
// card with one port the device library opens it again straight away. That
// wait is bounded in real time (a second), not on the platform clock, so
// that HangUp returns even when the card has stopped answering and nobody
// moves the clock; a card that answers never makes it wait.
//
// Threads: one per call, started by Dial and joined by HangUp (or the
// destructor); the callback runs on it, never under a lock of the service.
// HangUp from inside the callback does not wait for the thread it runs on.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/dial_up.h"
#include "platform/sim_ip_helper.h"

namespace platform {

class SimDialUpService final : public DialUpService {
 public:
  static constexpr uint32_t kStageMs = 200;
  static constexpr uint32_t kDialAnswerMs = 10000;
  static constexpr uint32_t kLinkAnswerMs = 5000;
  static constexpr uint32_t kEchoIntervalMs = 1000;
  // What the statistics give as the link's rate.
  static constexpr uint32_t kLinkBps = 115200;

  // `ip_helper` must outlive the service.
  explicit SimDialUpService(SimIpHelper& ip_helper);
  // Hangs up every call.
  ~SimDialUpService() override;
  SimDialUpService(const SimDialUpService&) = delete;
  SimDialUpService& operator=(const SimDialUpService&) = delete;

  uint32_t ValidateEntryName(std::u16string_view phonebook, std::u16string_view entry) override;
  uint32_t DeleteEntry(std::u16string_view phonebook, std::u16string_view entry) override;
  uint32_t GetEntryProperties(std::u16string_view phonebook, std::u16string_view entry, RasEntry& out) override;
  uint32_t SetEntryProperties(std::u16string_view phonebook, std::u16string_view entry,
                              const RasEntry& entry_image) override;
  uint32_t Dial(std::u16string_view phonebook, const RasDialParams& params, RasDialFunc1 callback,
                HRASCONN* connection) override;
  uint32_t GetConnectStatus(HRASCONN connection, RasConnStatus& status) override;
  uint32_t HangUp(HRASCONN connection) override;
  uint32_t GetConnectionStatistics(HRASCONN connection, RasStats& stats) override;
  uint32_t GetProjectionInfo(HRASCONN connection, uint32_t projection, RasPppIp& info) override;

 private:
  struct Call;
  class Dialler;

  std::shared_ptr<Call> FindLocked(HRASCONN connection);
  // Joins the threads of calls hung up from their own callback that have
  // ended since (never the calling thread).
  void ReapOrphans();
  // Under the lock: "ppp0", "ppp1", ... the first the IP helper does not have.
  std::string FreeAdapterNameLocked() const;

  SimIpHelper& ip_helper_;
  std::mutex mutex_;  // entries, calls and every call's status
  std::map<std::pair<std::u16string, std::u16string>, RasEntry> entries_;
  std::map<HRASCONN, std::shared_ptr<Call>> calls_;
  std::vector<std::shared_ptr<Call>> orphans_;
  HRASCONN next_handle_ = 1;
};

}  // namespace platform
