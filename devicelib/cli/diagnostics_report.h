// vombel-device diagnostics: the facts the window's diagnostics list shows
// (the card and its port, the SIM's identity and numbers, the PIN state,
// the network and the registration), read from the library by the program
// and printed by these pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "devicelib/cli/device_report.h"

namespace vombel_device {

struct DiagnosticsFacts {
  // Hardware.
  Reading<std::string> card_name;
  Reading<std::string> application_port;  // as people see it: "ttyUSB2"
  Reading<std::string> serial_number;
  Reading<std::string> firmware;
  Reading<std::string> hardware;
  Reading<std::string> imei;
  Reading<std::string> iccid;               // with a SIM that answers
  Reading<std::vector<std::string>> phone_numbers;  // with a SIM in
  // Operation.
  Reading<uint32_t> pin_state;
  Reading<NetworkInfo> network;
  Reading<int> network_selection;  // 0 automatic, 1 manual
  Reading<Signal> signal;          // only while registered
  // Network settings.
  Reading<int> cs_state;
  Reading<int> ps_state;
  Reading<int> ps_attached;
  Reading<std::string> apn;
};

// The card's own numbers from what DvGetOwnPhoneNumbers hands over.
std::vector<std::string> OwnPhoneNumbers(std::u16string_view answer);

// "automatic", "manual", else "unknown (N)".
std::string NetworkSelectionText(int mode);

// Three groups of "item: value" lines, each under its title; what was not
// asked shows "n/a", a failed call "-- (code)".
std::vector<std::string> FormatDiagnostics(const DiagnosticsFacts& facts);

}  // namespace vombel_device
