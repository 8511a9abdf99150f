// The command line of vombel-device, read into options by a pure function.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vombel_device {

enum class Command { kStatus, kWatch, kSms, kConnect, kDisconnect };
// What `sms` does.
enum class SmsAction { kList, kRead, kSend, kDelete };

struct Options {
  Command command = Command::kStatus;
  bool once = false;
  bool pin = false;
  bool verbose = false;
  // Write the trace to the log file "<temporary folder>vombel-device.txt".
  bool log = false;
  bool help = false;
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

// The --help text.
std::string UsageText();

}  // namespace vombel_device
