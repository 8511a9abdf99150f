#include "devicelib/cli/command_line.h"

#include <charconv>

namespace vombel_device {
namespace {

bool ParseSeconds(const std::string& text, uint32_t& seconds) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > kMaxTimeoutS) return false;
  seconds = value;
  return true;
}

bool ParseIndex(const std::string& text, uint32_t& index) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  index = value;
  return true;
}

// A number an SMS can go to: an optional "+" and 1 to 20 digits.
bool IsPhoneNumber(const std::string& text) {
  const size_t start = !text.empty() && text[0] == '+' ? 1 : 0;
  if (text.size() <= start || text.size() - start > 20) return false;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Options& o = parsed.options;
  bool command_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--once") {
      o.once = true;
    } else if (arg == "--pin") {
      o.pin = true;
    } else if (arg == "--verbose" || arg == "-v") {
      o.verbose = true;
    } else if (arg == "--log") {
      o.log = true;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg.rfind("--simulate=", 0) == 0) {
      o.simulate = true;
      o.simulated_class = arg.substr(sizeof("--simulate=") - 1);
      if (o.simulated_class.empty()) return parsed.error = "--simulate= needs a card class", parsed;
    } else if (arg == "--timeout" || arg.rfind("--timeout=", 0) == 0) {
      std::string value;
      if (arg == "--timeout") {
        if (i + 1 >= args.size()) return parsed.error = "--timeout needs a number of seconds", parsed;
        value = args[++i];
      } else {
        value = arg.substr(sizeof("--timeout=") - 1);
      }
      if (!ParseSeconds(value, o.timeout_s)) return parsed.error = "bad --timeout: " + value, parsed;
      o.timeout_given = true;
    } else if (arg == "status" || arg == "watch") {
      if (command_given) return parsed.error = "more than one command: " + arg, parsed;
      command_given = true;
      o.command = arg == "status" ? Command::kStatus : Command::kWatch;
    } else if (arg == "sms") {
      if (command_given) return parsed.error = "more than one command: " + arg, parsed;
      command_given = true;
      o.command = Command::kSms;
      const std::string action = i + 1 < args.size() ? args[++i] : "";
      if (action == "list") {
        o.sms_action = SmsAction::kList;
      } else if (action == "read" || action == "delete") {
        o.sms_action = action == "read" ? SmsAction::kRead : SmsAction::kDelete;
        if (i + 1 >= args.size() || !ParseIndex(args[i + 1], o.sms_index)) {
          return parsed.error = "sms " + action + " needs a message index", parsed;
        }
        ++i;
      } else if (action == "send") {
        o.sms_action = SmsAction::kSend;
        if (i + 1 >= args.size() || !IsPhoneNumber(args[i + 1])) {
          return parsed.error = "sms send needs a phone number (+ and digits)", parsed;
        }
        o.sms_number = args[++i];
      } else {
        return parsed.error = "sms needs list, read INDEX, send NUMBER or delete INDEX", parsed;
      }
    } else if (arg == "connect" || arg == "disconnect") {
      if (command_given) return parsed.error = "more than one command: " + arg, parsed;
      command_given = true;
      o.command = arg == "connect" ? Command::kConnect : Command::kDisconnect;
      if (o.command == Command::kConnect && i + 1 < args.size() && !args[i + 1].starts_with("-")) {
        o.apn = args[++i];
        if (o.apn.size() > 99) return parsed.error = "the APN is longer than 99 characters", parsed;
        o.apn_given = true;
      }
    } else if (arg.rfind("-", 0) == 0) {
      return parsed.error = "unknown option " + arg, parsed;
    } else {
      return parsed.error = "unknown command " + arg, parsed;
    }
  }
  const bool runs_on = o.command == Command::kWatch || o.command == Command::kConnect;
  if (!runs_on && o.timeout_s == 0) return parsed.error = "status, sms and disconnect need a --timeout above 0", parsed;
  if (o.command == Command::kWatch && !o.timeout_given) o.timeout_s = 0;
  return parsed;
}

std::string UsageText() {
  return "usage: vombel-device [--simulate[=CLASS]] [--pin] [--once] [--timeout SECONDS] [--verbose] [--log]\n"
         "                     [status | watch | sms list | sms read INDEX | sms send NUMBER | sms delete INDEX |\n"
         "                      connect [APN] | disconnect]\n"
         "Runs the device-access library as a client does and shows the data card.\n"
         "\n"
         "commands:\n"
         "  status             wait until the card is initialised and print one report (default)\n"
         "  watch              print the device, SIM, PIN, registration, operator, technology\n"
         "                     and signal as they change, and every event and error\n"
         "  sms list           list the messages on the SIM (index, status, sender or\n"
         "                     recipient, time, text)\n"
         "  sms read INDEX     print one message (indices count from 0)\n"
         "  sms send NUMBER    store the text read from standard input on the SIM and send it\n"
         "  sms delete INDEX   delete one message\n"
         "                     (messages and status reports that arrive meanwhile are shown)\n"
         "  connect [APN]      make the card's data connection with APN (default: the\n"
         "                     operator's automatic profile, else the APN the card holds) and\n"
         "                     show its state, address and traffic until interrupted (Ctrl-C\n"
         "                     disconnects) or disconnected; --timeout limits the wait for the\n"
         "                     card and the SIM, not the connection\n"
         "  disconnect         end the connection a running vombel-device connect holds\n"
         "options:\n"
         "  --once             with watch: stop after the report once the card is initialised\n"
         "  --timeout SECONDS  how long to wait for the card (default 30); for watch, how long\n"
         "                     to watch (default: until interrupted)\n"
         "  --pin              read the SIM PIN from standard input (not echoed) and enter it\n"
         "                     when the SIM asks for it; with --simulate the simulated SIM asks\n"
         "                     for PIN 1234\n"
         "  --simulate[=CLASS] run on a simulated card in a simulated device tree: 3g, gprs,\n"
         "                     techsel, stack3, 0e00, composite, a card name or a model such\n"
         "                     as 0x2100 (default 3g)\n"
         "  --verbose          show the library's trace on standard error\n"
         "  --log              write the library's trace to vombel-device.txt in the\n"
         "                     temporary folder (PINs appear there only as XXXX)\n"
         "  --help             this text\n"
         "\n"
         "Exit status: 0 once the report is printed (or watching ended), 1 when no card was\n"
         "found or it did not become ready in time, 2 for a bad command line.\n";
}

}  // namespace vombel_device
