// What a run of vombel-device takes before the library starts: the codes
// the command reads from standard input, and the card, from the program
// that holds it.
#pragma once

#include "devicelib/cli/card_commands.h"
#include "devicelib/cli/command_line.h"
#include "devicelib/cli/output.h"
#include "devicelib/cli/stop_signals.h"

namespace vombel_device {

// Reads the codes the command needs from standard input, one a line; the
// exit code of a failure, else 0.
int ReadCodes(const Options& options, const Output& output, Codes& codes);

// Takes the card from the program that holds it, if one does (waiting up
// to --timeout, or until interrupted); 0, or the exit code of the failure.
int TakeCard(const Options& options, const Output& output, const StopSignals& stop_signals);

}  // namespace vombel_device
