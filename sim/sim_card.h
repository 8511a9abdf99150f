// A simulated data card: the card model (CardState) of one card class, its
// ports (pseudo-terminals with a reader thread each) and the faults it was
// told to show. The program under test opens the ports' slave paths as it
// would open a real card's serial ports; tests and people change the model
// while it runs, and the card reports the changes as a real card would.
//
// Threads: one reader per port runs the commands; any other thread may call
// the setters. One lock guards the model; port writes happen outside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/handle.h"

#include "sim/at_interpreter.h"
#include "sim/card_class.h"
#include "sim/card_port.h"
#include "sim/card_state.h"
#include "sim/data_link.h"
#include "sim/faults.h"
#include "sim/ndis_driver.h"
#include "sim/sms_pdu_encoder.h"

namespace sim {

class SimCard {
 public:
  struct PortInfo {
    PortRole role;
    std::string path;
  };
  // Told after the card was plugged (true) or pulled (false), on the thread
  // that did it, outside the card's lock. It must not plug or pull itself.
  using PresenceHandler = std::function<void(bool present, const std::vector<PortInfo>& ports)>;

  SimCard(const CardClass& card, CardState initial);
  ~SimCard();
  SimCard(const SimCard&) = delete;
  SimCard& operator=(const SimCard&) = delete;

  const CardClass& Class() const { return card_; }

  // Powers the card up on fresh pseudo-terminals; false (and the card stays
  // out) when one could not be made. True at once when already present.
  bool Plug();
  // Closes every port: a program that has one open sees it hang up.
  void Pull();
  bool Present() const { return present_.load(); }
  void SetPresenceHandler(PresenceHandler handler);

  std::vector<PortInfo> Ports() const;
  // The port that takes AT commands (the only port of a card without
  // multiplexing), and the modem port for the data call.
  std::string AtPortPath() const;
  std::string ModemPortPath() const;

  // Changes the model; the card then sends the reports that the change calls
  // for on its AT command port.
  void Update(const std::function<void(CardState&)>& change);
  // A copy of the model, for looking.
  CardState Snapshot() const;

  void SetRegistration(int stat);  // what the network grants: 0, 1, 2, 3, 5
  void SetSignal(int rssi, int ber = 99);
  void SetRadioSwitch(bool on);
  void SetSimPresent(bool present);
  // Switches the PIN check on and locks the SIM as after power-up.
  void LockSim();
  // A message from the network: stored on the SIM and announced with
  // "+CMTI:", or (class 0, or as AT+CNMI asks) shown at once with "+CMT:".
  // The client index it was stored at; nothing when shown only, or dropped
  // (SIM full or not usable).
  std::optional<int> DeliverSms(const DeliverMessage& message);
  // A status report, routed as AT+CNMI's <ds> says: 1 shown with "+CDS:";
  // 2 stored on the SIM and announced with "+CDSI:"; 0 stored silently.
  // False when dropped (not shown and the SIM full or not usable).
  bool DeliverStatusReport(const StatusReport& report);
  // A network-initiated USSD text ("+CUSD: 0,...").
  void SendUssd(const std::string& text);
  // The network ends the data call: "NO CARRIER" on the modem port, and
  // the WWAN driver's call goes silently.
  void DropDataCall();
  // What the network does with a dial-up call's login (sim/data_link.h):
  // accept any (as after power-up), or only `user` with `password`; and the
  // address it gives the link.
  void AcceptAnyDialUpLogin();
  void AcceptDialUpLogin(std::string user, std::string password);
  void SetDialUpAddress(std::string address);

  // The card's WWAN network driver (ndis_driver.h); null for a card
  // without one. It lives as long as the card.
  NdisDriver* Ndis() const { return ndis_.get(); }

  // Faults: by command name ("+CSQ", "E", "D", "_OWANCALL") or "*".
  void InjectFault(const std::string& command, Fault fault);
  void ClearFaults();
  // A card that neither echoes nor answers anything.
  void SetMute(bool mute);
  // Delay of every answer on the platform clock (a real card takes a moment).
  void SetAnswerDelay(uint32_t ms);

  // Command lines the card has taken and answered (or, by fault, left
  // unanswered) since it was made.
  uint64_t LinesAnswered() const { return lines_answered_.load(); }

 private:
  struct Port {
    PortRole role;
    PortSession session;
    std::string line;      // command being typed
    bool overflow = false; // the line outgrew the input buffer
    std::string body;      // message body after the prompt
    std::string last_line; // for "A/"
    DataLink link;         // what the port speaks in data mode
    std::unique_ptr<CardPort> io;
  };
  // What the reader thread writes once it has left the lock.
  struct Output {
    std::string echo;
    std::string answer;
    std::optional<Fault> fault;
  };

  bool OnInput(size_t port, std::string_view bytes);
  // One complete command line, under the lock.
  void RunLine(size_t port, std::string line, Output& out);
  void FinishBody(size_t port, bool cancelled, Output& out);
  // Writes an answer the way the fault (if any) says; false: pull now.
  bool Deliver(size_t port, const Output& out);
  std::optional<Fault> TakeFault(const std::vector<AtCommand>& commands);
  // Under the lock: the reports the state changes call for, queued.
  void CollectLocked();
  // Sends the queued reports unless a command is being answered.
  void FlushReports();
  void PullFromReader();
  bool RouteStatusReportLocked(const StatusReport& report);
  // The network's side: status reports for sent messages, each when due on
  // the platform clock. Started with the first message that asks for one.
  void StartNetworkLocked();
  void RunNetwork();
  size_t ReportPort() const;
  Response::Final RunContext(size_t port, const std::function<void(CommandContext&)>& body, Output& out);

  const CardClass& card_;
  mutable std::mutex mutex_;  // the model, sessions, faults, queued reports
  CardState state_;
  std::vector<Port> ports_;
  std::map<std::string, Fault> faults_;
  bool mute_ = false;
  uint32_t answer_delay_ms_ = 0;
  std::vector<std::string> reports_;
  int busy_ = 0;  // commands between being read and being answered

  std::mutex report_write_mutex_;  // keeps queued reports in order; taken before mutex_
  std::mutex lifecycle_mutex_;     // Plug and Pull
  std::atomic<bool> present_{false};
  std::atomic<uint64_t> lines_answered_{0};
  std::mutex handler_mutex_;
  PresenceHandler presence_handler_;

  platform::UniqueHandle network_wake_;  // auto-reset: a report was scheduled, or stop
  bool network_stop_ = false;            // under mutex_
  bool network_running_ = false;         // under mutex_; the thread ends when nothing is pending
  std::thread network_;

  std::shared_ptr<NdisDriver> ndis_;  // handlers of open devices hold it weakly
};

}  // namespace sim
