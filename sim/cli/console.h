// The commands a person types into vombel-sim while the card runs.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "sim/sim_card.h"
#include "sim/sim_presence.h"

namespace sim::cli {

// One line a port: its role and the path to open.
void PrintPorts(const std::vector<SimCard::PortInfo>& ports, std::ostream& out);

// The SIM's codes for the person at the keyboard: PIN (and whether the card
// asks for it), PUK, and the network code of a network-locked card.
void PrintSimCodes(const CardState& state, std::ostream& out);

// Runs one typed line against `card`, writing what it did (or what went
// wrong) to `out`; false when the line asks to quit.
bool RunConsoleLine(SimCard& card, const std::string& line, std::ostream& out);
// The same for a card in a simulated device tree, which also takes the
// commands about its presence there ("standby", "resume", "tree").
bool RunConsoleLine(SimPresence& presence, const std::string& line, std::ostream& out);

}  // namespace sim::cli
