// The command line of vombel-device, read into options by a pure function.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vombel_device {

enum class Command { kStatus, kIdentity, kWatch, kPin, kTechnology, kSms, kConnect, kDisconnect, kDiagnostics };
// What `sms` does.
enum class SmsAction { kList, kRead, kSend, kDelete };
// What `pin` does; every code it needs comes from standard input.
enum class PinAction { kStatus, kEnter, kChange, kOn, kOff, kUnblock };

// The library's technology selection modes (DvSetTechnologySelectionMode).
inline constexpr int kGprsOnly = 0;
inline constexpr int kUmtsOnly = 1;
inline constexpr int kGprsPreferred = 2;
inline constexpr int kUmtsPreferred = 3;

struct Options {
  Command command = Command::kStatus;
  bool once = false;
  bool pin = false;
  bool verbose = false;
  // Write the trace to the log file "<temporary folder>vombel-device.txt".
  bool log = false;
  bool help = false;
  // One JSON document on standard output (a JSON object a line for watch
  // and connect) instead of the text for a person.
  bool json = false;
  bool simulate = false;
  std::string simulated_class = "3g";  // sim::FindCardClass name
  // Seconds to wait for the device (status, --once) or to watch (watch);
  // 0 in watch mode means until interrupted.
  uint32_t timeout_s = 30;
  bool timeout_given = false;
  // sms: the action, the client index (read, delete) and the number (send).
  SmsAction sms_action = SmsAction::kList;
  uint32_t sms_index = 0;
  std::string sms_number;
  PinAction pin_action = PinAction::kStatus;
  // technology: the mode to set, when one was given.
  int technology_mode = kUmtsPreferred;
  bool technology_mode_given = false;
  // connect: the APN given (else the automatic profile's, else the card's).
  std::string apn;
  bool apn_given = false;
};

struct ParsedCommandLine {
  Options options;
  std::string error;  // empty when the line was understood
};

inline constexpr uint32_t kDefaultTimeoutS = 30;
inline constexpr uint32_t kMaxTimeoutS = 24 * 3600;

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The words of the command line: "status", "pin", "enter", "umts-preferred".
const char* CommandName(Command command);
const char* PinActionName(PinAction action);
const char* SmsActionName(SmsAction action);
// The mode's name, "" outside 0..3; and back, -1 for an unknown name.
const char* TechnologyModeName(int mode);
int TechnologyModeOf(const std::string& name);

// The --help text.
std::string UsageText();

}  // namespace vombel_device
