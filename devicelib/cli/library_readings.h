// What vombel-device reads from the library, each value with the result of
// its call (device_report.h's Reading), on the library's client thread.
#pragma once

#include <string>
#include <vector>

#include "devicelib/cli/device_report.h"
#include "devicelib/cli/diagnostics_report.h"

namespace vombel_device {

// The states the library keeps without asking the card.
void ReadCachedStates(DeviceStatus& status);
// SIM state, PIN state and the retry counters where the card has them.
void ReadPinStates(DeviceStatus& status);
// Everything the report shows (only the cached states unless the device is
// initialised).
DeviceStatus ReadEverything();
Reading<NetworkInfo> ReadNetwork();
Reading<Signal> ReadSignal();
Reading<int> ReadInt(DvResult (*call)(int*));
// The card's own numbers (asked only with a SIM that has read its files).
Reading<std::vector<std::string>> ReadOwnNumbers(const DeviceStatus& status);
// What the window's diagnostics list shows, as the window's worker reads it.
DiagnosticsFacts ReadDiagnostics();

}  // namespace vombel_device
