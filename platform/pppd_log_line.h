// pppd's log as the dial-up service reads it: the bytes of its log
// descriptor cut into lines, and each line told apart by what it reports.
// pppd (started with "logfd 2") writes one message a line there; its option
// errors before it starts go to standard error (the same pipe) with its
// program name in front; chat, its connect script, writes there too. The
// texts are pppd's own (it never translates them).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What the installed chat script says (SAY) once the card has answered "AT"
// and it sends the dial command.
inline constexpr std::string_view kDiallingMarker = "vombel-connect: dialling";

enum class PppdLogKind {
  kOther,
  kDialling,             // kDiallingMarker
  kChatFailed,           // chat: "Failed (NO CARRIER)"; value: the abort string, empty for a time-out ("Failed")
  kConnectScriptFailed,  // "Connect script failed"
  kSerialConnected,      // "Serial connection established."
  kInterface,            // "Using interface ppp0"; value: the interface
  kConnect,              // "Connect: ppp0 <--> /dev/ttyUSB0"; value: the interface, detail: the port
  kAuthSucceeded,        // "PAP authentication succeeded", "CHAP authentication succeeded"
  kAuthFailed,           // "PAP authentication failed", "CHAP authentication failed", …
  kLocalIp,              // "local  IP address 10.0.0.1"; value: the address
  kRemoteIp,             // "remote IP address 10.64.64.64"; value: the address
  kModemHangup,          // "Modem hangup"
  kTerminated,           // "Connection terminated."
  kDeviceLocked,         // "Device /dev/ttyUSB0 is locked by pid 1234"; value: the port
  kOpenFailed,           // "Failed to open /dev/ttyUSB0: Device or resource busy"; value: port, detail: reason
  kNoKernelSupport,      // "Couldn't open the /dev/ppp device: …", "Please load the ppp_generic kernel module.", …
  kOptionsFileMissing,   // "Can't open options file /etc/ppp/peers/x: …"; value: the file, detail: reason
  kNotRoot,              // "must be root to run pppd, since it is not setuid-root"
  kNegotiationTimeout,   // "LCP: timeout sending Config-Requests" (and IPCP, …)
};

struct PppdLogLine {
  PppdLogKind kind = PppdLogKind::kOther;
  std::string value;
  std::string detail;

  bool operator==(const PppdLogLine&) const = default;
};

// Tells one line apart (line end and surrounding blanks and carriage returns
// may be left on; a "…pppd: " program-name prefix is taken off). Anything it
// does not know, or whose values do not look right (an interface name with a
// slash, an address that is not dotted digits), is kOther.
PppdLogLine ParsePppdLogLine(std::string_view line);

// The log text without its line end, blanks, carriage returns and program
// name: what ParsePppdLogLine looks at, and what the service logs.
std::string_view TrimPppdLogLine(std::string_view line);

// Cuts a byte stream into lines at "\n". A line longer than kMaxLine keeps its
// first kMaxLine bytes; the rest up to its line end is dropped.
class PppdLogAssembler {
 public:
  static constexpr size_t kMaxLine = 1024;

  // Appends the complete lines `bytes` finishes to `lines` (without "\n").
  void Feed(std::string_view bytes, std::vector<std::string>& lines);
  // At the end of the stream: the unfinished last line, if there is one.
  std::optional<std::string> Finish();

 private:
  std::string partial_;
  bool overflow_ = false;
};

}  // namespace platform
