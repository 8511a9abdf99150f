// The commands of vombel-device that run once the card (and, where they
// need it, the SIM) is ready: each makes its library calls, prints its
// result through Output and returns the exit code.
#pragma once

#include <string>

#include "devicelib/cli/command_line.h"
#include "devicelib/cli/output.h"
#include "devicelib/cli/pin_input.h"

namespace vombel_device {

// The codes a command read from standard input; wiped when they go.
struct Codes {
  SecretPin pin;      // the PIN; for pin change the current one
  SecretPin new_pin;  // pin change and pin unblock
  SecretPin puk;      // pin unblock
};

int RunIdentity(const Output& output);
int RunDiagnostics(const Output& output);
int RunTechnology(const Options& options, const Output& output);
// sms, with the SIM ready; `text` is what sms send sends.
int RunSms(const Options& options, const Output& output, const std::string& text);
// pin, with the SIM in the state the action needs; `pin_entered`: this run
// entered the PIN already. Every code is wiped after its one use.
int RunPin(const Options& options, const Output& output, Codes& codes, bool pin_entered);

}  // namespace vombel_device
