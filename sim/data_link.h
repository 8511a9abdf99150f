// The card's side of a dial-up data call: while the modem port is in data
// mode the card speaks the line protocol of platform/sim_link_frames.h in
// place of PPP. It checks the login as the network would (CardState's
// dial_up_* fields: any login, or one user name and password), gives the
// link the network's address, answers echo frames, and leaves data mode on
// "+++". Pure: bytes and the card model in, the answer out; SimCard does the
// port I/O under its lock.
#pragma once

#include <string>

#include "platform/sim_link_frames.h"
#include "sim/card_state.h"

namespace sim {

class DataLink {
 public:
  enum class Step {
    kNothing,  // nothing to answer yet
    kReply,    // `reply` holds the answer, CR LF ended
    kEscape,   // "+++": back to command mode (the caller answers "OK")
  };
  // One byte from the program.
  Step Take(char byte, const CardState& state, std::string& reply);
  // A fresh call: not logged in, nothing half read.
  void Reset();
  bool Authenticated() const { return authenticated_; }

 private:
  std::string Answer(const CardState& state, std::string_view line);

  platform::LinkLineSplitter lines_;
  int pluses_ = 0;
  bool authenticated_ = false;
};

}  // namespace sim
