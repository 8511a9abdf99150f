#include "devicelib/cli/command_line.h"

#include <charconv>
#include <iterator>

#include "devicelib/dv_api.h"
#include "platform/text.h"

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

// What the network takes as a USSD code or reply: the library's rule.
bool IsUssdText(const std::string& text) { return DvIsValidUssdCode(platform::Utf8ToUtf16(text).c_str()); }

constexpr const char* kTechnologyModeNames[] = {"gprs-only", "umts-only", "gprs-preferred", "umts-preferred"};

}  // namespace

const char* CommandName(Command command) {
  switch (command) {
    case Command::kStatus: return "status";
    case Command::kIdentity: return "identity";
    case Command::kWatch: return "watch";
    case Command::kPin: return "pin";
    case Command::kTechnology: return "technology";
    case Command::kSms: return "sms";
    case Command::kConnect: return "connect";
    case Command::kDisconnect: return "disconnect";
    case Command::kDiagnostics: return "diagnostics";
    case Command::kUssd: return "ussd";
  }
  return "";
}

const char* PinActionName(PinAction action) {
  switch (action) {
    case PinAction::kStatus: return "status";
    case PinAction::kEnter: return "enter";
    case PinAction::kChange: return "change";
    case PinAction::kOn: return "on";
    case PinAction::kOff: return "off";
    case PinAction::kUnblock: return "unblock";
  }
  return "";
}

const char* SmsActionName(SmsAction action) {
  switch (action) {
    case SmsAction::kList: return "list";
    case SmsAction::kRead: return "read";
    case SmsAction::kSend: return "send";
    case SmsAction::kDelete: return "delete";
  }
  return "";
}

const char* TechnologyModeName(int mode) {
  return mode >= 0 && mode < static_cast<int>(std::size(kTechnologyModeNames)) ? kTechnologyModeNames[mode] : "";
}

int TechnologyModeOf(const std::string& name) {
  for (size_t i = 0; i < std::size(kTechnologyModeNames); ++i) {
    if (name == kTechnologyModeNames[i]) return static_cast<int>(i);
  }
  return -1;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  Options& o = parsed.options;
  bool command_given = false;
  const auto fail = [&parsed](std::string error) {
    parsed.error = std::move(error);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // The word after a command, when it is one (not an option).
    const auto next_word = [&]() -> std::string {
      return i + 1 < args.size() && !args[i + 1].starts_with("-") ? args[++i] : "";
    };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--once") {
      o.once = true;
    } else if (arg == "--pin") {
      o.pin = true;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "--verbose" || arg == "-v") {
      o.verbose = true;
    } else if (arg == "--log") {
      o.log = true;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg.rfind("--simulate=", 0) == 0) {
      o.simulate = true;
      o.simulated_class = arg.substr(sizeof("--simulate=") - 1);
      if (o.simulated_class.empty()) return fail("--simulate= needs a card class");
    } else if (arg == "--timeout" || arg.rfind("--timeout=", 0) == 0) {
      std::string value;
      if (arg == "--timeout") {
        if (i + 1 >= args.size()) return fail("--timeout needs a number of seconds");
        value = args[++i];
      } else {
        value = arg.substr(sizeof("--timeout=") - 1);
      }
      if (!ParseSeconds(value, o.timeout_s)) return fail("bad --timeout: " + value);
      o.timeout_given = true;
    } else if (arg.rfind("-", 0) == 0) {
      return fail("unknown option " + arg);
    } else {
      if (command_given) return fail("more than one command: " + arg);
      command_given = true;
      if (arg == "status" || arg == "watch" || arg == "identity" || arg == "diagnostics") {
        o.command = arg == "status"     ? Command::kStatus
                    : arg == "watch"    ? Command::kWatch
                    : arg == "identity" ? Command::kIdentity
                                        : Command::kDiagnostics;
      } else if (arg == "sms") {
        o.command = Command::kSms;
        const std::string action = i + 1 < args.size() ? args[++i] : "";
        if (action == "list") {
          o.sms_action = SmsAction::kList;
        } else if (action == "read" || action == "delete") {
          o.sms_action = action == "read" ? SmsAction::kRead : SmsAction::kDelete;
          if (i + 1 >= args.size() || !ParseIndex(args[i + 1], o.sms_index)) {
            return fail("sms " + action + " needs a message index");
          }
          ++i;
        } else if (action == "send") {
          o.sms_action = SmsAction::kSend;
          if (i + 1 >= args.size() || !IsPhoneNumber(args[i + 1])) {
            return fail("sms send needs a phone number (+ and digits)");
          }
          o.sms_number = args[++i];
        } else {
          return fail("sms needs list, read INDEX, send NUMBER or delete INDEX");
        }
      } else if (arg == "pin") {
        o.command = Command::kPin;
        const std::string action = i + 1 < args.size() ? args[++i] : "";
        bool known = false;
        for (PinAction a : {PinAction::kStatus, PinAction::kEnter, PinAction::kChange, PinAction::kOn,
                            PinAction::kOff, PinAction::kUnblock}) {
          if (action == PinActionName(a)) {
            o.pin_action = a;
            known = true;
          }
        }
        // Codes typed on the command line would be seen by every user of
        // the machine; they come from standard input only.
        if (!known) return fail("pin needs status, enter, change, on, off or unblock (codes come from standard input)");
      } else if (arg == "technology") {
        o.command = Command::kTechnology;
        const std::string mode = next_word();
        if (!mode.empty()) {
          o.technology_mode = TechnologyModeOf(mode);
          if (o.technology_mode < 0) {
            return fail("unknown technology mode " + mode + " (gprs-only, umts-only, gprs-preferred, umts-preferred)");
          }
          o.technology_mode_given = true;
        }
      } else if (arg == "ussd") {
        o.command = Command::kUssd;
        o.ussd_code = next_word();
        if (!IsUssdText(o.ussd_code)) return fail("ussd needs a code of digits, * and # (such as *100#)");
        for (std::string reply = next_word(); !reply.empty(); reply = next_word()) {
          if (!IsUssdText(reply)) return fail("a USSD reply is digits, * and #: " + reply);
          o.ussd_replies.push_back(std::move(reply));
        }
      } else if (arg == "connect" || arg == "disconnect") {
        o.command = arg == "connect" ? Command::kConnect : Command::kDisconnect;
        if (o.command == Command::kConnect) {
          o.apn = next_word();
          if (o.apn.size() > 99) return fail("the APN is longer than 99 characters");
          o.apn_given = !o.apn.empty();
        }
      } else {
        return fail("unknown command " + arg);
      }
    }
  }
  const bool runs_on = o.command == Command::kWatch || o.command == Command::kConnect;
  if (!runs_on && o.timeout_s == 0) return fail("only watch and connect take a --timeout of 0");
  if (o.command == Command::kWatch && !o.timeout_given) o.timeout_s = 0;
  if (o.pin && o.command == Command::kPin) return fail("pin reads its codes itself; --pin is for the other commands");
  return parsed;
}

std::string UsageText() {
  return "usage: vombel-device [--simulate[=CLASS]] [--json] [--pin] [--once] [--timeout SECONDS]\n"
         "                     [--verbose] [--log] [COMMAND]\n"
         "Runs the device-access library as a client does and shows or drives the data card.\n"
         "\n"
         "commands:\n"
         "  status             wait until the card is initialised and print one report (default)\n"
         "  identity           the card's and the SIM's identity: model, firmware, hardware,\n"
         "                     IMEI, serial number, ICCID, IMSI, own numbers\n"
         "  diagnostics        what the window's diagnostics list shows: the card, its port,\n"
         "                     the SIM, the network and the registration\n"
         "  watch              print the device, SIM, PIN, registration, operator, technology\n"
         "                     and signal as they change, and every event and error\n"
         "  pin status         the PIN state, whether the PIN is checked, the retries left\n"
         "  pin enter          enter the PIN the SIM asks for\n"
         "  pin change         change the PIN (the PIN, then the new PIN)\n"
         "  pin on | pin off   turn the PIN check on or off (the PIN)\n"
         "  pin unblock        unblock a SIM that asks for its PUK (the PUK, then a new PIN)\n"
         "                     (codes are read from standard input, one a line, not echoed;\n"
         "                     a SIM that asks for its PIN gets it entered first)\n"
         "  technology [MODE]  show or set the technology preference: gprs-only, umts-only,\n"
         "                     gprs-preferred, umts-preferred (cards that offer the choice)\n"
         "  sms list           list the messages on the SIM (index, status, sender or\n"
         "                     recipient, time, text)\n"
         "  sms read INDEX     print one message (indices count from 0)\n"
         "  sms send NUMBER    store the text read from standard input on the SIM and send it\n"
         "                     (a long text as the parts of a long message)\n"
         "  sms delete INDEX   delete one message\n"
         "                     (messages and status reports that arrive meanwhile are shown)\n"
         "  ussd CODE [REPLY...] send a USSD code (such as *100#) to the network and print\n"
         "                     its answer; each time the network asks for a reply, the next\n"
         "                     REPLY answers it (without one left the session is ended)\n"
         "  connect [APN]      make the card's data connection with APN (default: the\n"
         "                     operator's automatic profile, else the APN the card holds) and\n"
         "                     show its state, address and traffic until interrupted (Ctrl-C\n"
         "                     disconnects) or disconnected; --timeout limits the wait for the\n"
         "                     card and the SIM, not the connection\n"
         "  disconnect         end the connection a running vombel-device connect holds\n"
         "options:\n"
         "  --json             print JSON instead of text: one object, or one object a line\n"
         "                     for watch and connect (docs/vombel-device.md)\n"
         "  --once             with watch: stop after the report once the card is initialised\n"
         "  --timeout SECONDS  how long to wait for the card (default 30), also while another\n"
         "                     program is asked to give it up; for watch, how long to watch\n"
         "                     (default: until interrupted)\n"
         "  --pin              read the SIM PIN from standard input (not echoed) and enter it\n"
         "                     when the SIM asks for it; with --simulate the simulated SIM asks\n"
         "                     for PIN 1234 (and pin unblock finds it asking for PUK 12345678)\n"
         "  --simulate[=CLASS] run on a simulated card in a simulated device tree: 3g, gprs,\n"
         "                     techsel, stack3, 0e00, composite, a card name or a model such\n"
         "                     as 0x2100 (default 3g)\n"
         "  --verbose          show the library's trace on standard error\n"
         "  --log              write the library's trace to vombel-device.txt in the\n"
         "                     temporary folder (PINs appear there only as XXXX)\n"
         "  --help             this text\n"
         "\n"
         "When another program (vombel-connect) holds the card, it is asked to give it up and\n"
         "gets it back when this program ends.\n"
         "Exit status: 0 done, 1 no card or not ready in time, 2 bad command line or input,\n"
         "3 SIM or PIN problem, 4 the card refused or failed the command, 5 the card is held\n"
         "by another program that did not give it up, 6 not supported by this card, 7 the\n"
         "program could not run, 130 interrupted.\n";
}

}  // namespace vombel_device
