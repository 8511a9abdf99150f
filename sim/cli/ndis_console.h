// The console's commands for the card's WWAN network driver ("ndis ...").
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "sim/sim_card.h"

namespace sim::cli {

// Runs "ndis <what> ..." (`words[0]` is "ndis") against the card's driver.
void RunNdisCommand(SimCard& card, const std::vector<std::string>& words, std::ostream& out);
// Their lines of the console's help.
void PrintNdisHelp(std::ostream& out);

}  // namespace sim::cli
