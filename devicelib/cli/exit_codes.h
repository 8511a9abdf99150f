// What vombel-device's exit status says failed, so that a script can tell a
// missing card from a locked SIM from a card that refused the command. The
// numbers are part of the program's interface (docs/vombel-device.md).
#pragma once

#include <cstdint>

#include "devicelib/result_codes.h"

namespace vombel_device {

enum class Failure {
  kNone,         // 0: done
  kUnavailable,  // 1: no card, not ready in time, no running connect to end
  kUsage,        // 2: bad command line, or standard input without what it should hold
  kSim,          // 3: the SIM is missing, locked, not ready, or refused a code
  kCard,         // 4: the card refused or failed the command
  kBusy,         // 5: another program holds the card and did not give it up
  kUnsupported,  // 6: the card does not offer what was asked
  kSystem,       // 7: the program itself could not run (library, log file, window)
  kInterrupted,  // 130: SIGINT or SIGTERM before the command was done
};

int ExitCodeOf(Failure failure);
// The failure's word in the JSON error object: "none", "unavailable", ...
const char* FailureName(Failure failure);
// What a failed library call means for the exit status: the SIM's and the
// PIN's errors (27.007 and 27.005 numbers included) are kSim, "not
// supported" kUnsupported, a card that is gone or not yet up kUnavailable,
// every other failure kCard; success kNone.
Failure FailureOfResult(DvResult rc);

}  // namespace vombel_device
