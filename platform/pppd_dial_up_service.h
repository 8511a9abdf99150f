// The dial-up service on the system's pppd (docs/dial-up.md has the whole
// picture: what is installed under /etc/ppp and why, the group a user needs,
// the command line, how errors map).
//
// Phonebook: one peer file per entry (pppd_phonebook.h, pppd_peer_file.h).
// Dial: pppd runs on the entry's modem port with the installed peer file
// (privileged options: noauth, the chat connect script, the passwordfd
// plugin), the entry's peer file and an unprivileged command line; the
// password reaches it on a pipe. A monitor thread per call reads pppd's log
// and waits for its end; the callbacks run on one thread of the service.
//
// Which errors come how:
// - returned by Dial, no handle made: what can be checked before pppd runs
//   (record sizes, the entry, the number and password, pppd missing or not
//   executable, the installed files missing, no such modem, the port held
//   by another program or not ours to open);
// - through the callback, with the stage it happened in, once pppd has
//   ended: everything pppd finds out (no kernel PPP, the card refusing the
//   dial string or not answering, authentication refused, the link not
//   coming up, pppd refusing to run). The callback is not called after
//   RASCS_Connected: a link that goes down later shows as
//   RASCS_Disconnected with kRasErrorPortDisconnected in GetConnectStatus.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dial_up.h"

namespace platform {

class PppdDialUpService final : public DialUpService {
 public:
  struct Options {
    std::string pppd = "/usr/sbin/pppd";
    // Where the program's files were installed (the build's VOMBEL_PPP_DIR).
    // pppd trusts only /etc/ppp/peers ("call"); another folder is read with
    // "file", which pppd honours only for root: for tests and for a build
    // tree run as root.
    std::string ppp_dir = DefaultPppDir();
    std::string net_class_dir = "/sys/class/net";
  };

  // How long HangUp gives pppd after SIGTERM (it tells the network with LCP
  // Terminate-Requests: 2 tries, 3 s apart, then ends), and after SIGKILL.
  static constexpr uint32_t kTerminateGraceMs = 10000;
  static constexpr uint32_t kKillGraceMs = 5000;

  static const char* DefaultPppDir();

  PppdDialUpService();
  explicit PppdDialUpService(Options options);
  // Hangs up every call still up (pppd ends with the program).
  ~PppdDialUpService() override;
  PppdDialUpService(const PppdDialUpService&) = delete;
  PppdDialUpService& operator=(const PppdDialUpService&) = delete;

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
  struct Connection;
  class CallbackQueue;

  uint32_t CheckInstallation() const;
  std::shared_ptr<Connection> Find(HRASCONN connection);
  static void EndCall(Connection& connection);
  static void Monitor(const std::shared_ptr<Connection>& call, const std::shared_ptr<CallbackQueue>& callbacks);

  const Options options_;
  std::shared_ptr<CallbackQueue> callbacks_;
  std::mutex mutex_;  // guards the two below
  std::map<HRASCONN, std::shared_ptr<Connection>> connections_;
  HRASCONN next_handle_ = 1;
};

}  // namespace platform
