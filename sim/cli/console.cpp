#include "sim/cli/console.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <optional>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/ip_helper.h"
#include "platform/text.h"
#include "sim/cli/ndis_console.h"

namespace sim::cli {
namespace {

using Words = std::vector<std::string>;

struct Command {
  std::string_view name;
  std::string_view usage;
  std::string_view help;
  void (*run)(SimCard& card, const Words& words, std::ostream& out);
};

int Number(const Words& words, size_t i, int fallback) {
  if (i >= words.size()) return fallback;
  try {
    return std::stoi(words[i]);
  } catch (...) {
    return fallback;
  }
}

// A number the card can report: within [low, high], or `extra` (99 for
// "unknown"); nothing for anything else.
std::optional<int> Reportable(const Words& words, size_t i, int fallback, int low, int high, int extra = -1) {
  const int n = Number(words, i, low - 1);
  if (i >= words.size()) return fallback;
  if ((n >= low && n <= high) || (extra >= 0 && n == extra)) return n;
  return std::nullopt;
}

std::string Rest(const Words& words, size_t from) {
  std::string text;
  for (size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
  return text;
}

bool On(const Words& words) { return words.size() > 1 && (words[1] == "on" || words[1] == "1"); }

SmsTimestamp Now() { return LocalSmsTime(std::time(nullptr)); }

void Register(SimCard& card, const Words& w, std::ostream& out) {
  const auto stat = Reportable(w, 1, 1, 0, 5);
  if (!stat) {
    out << "usage: register [0-5]\n";
    return;
  }
  card.SetRegistration(*stat);
  out << "network grants registration " << *stat << "\n";
}
void Unregister(SimCard& card, const Words&, std::ostream& out) {
  card.SetRegistration(0);
  out << "out of coverage\n";
}
void Roam(SimCard& card, const Words& w, std::ostream& out) {
  card.SetRegistration(On(w) ? 5 : 1);
  out << (On(w) ? "roaming\n" : "home network\n");
}
void Signal(SimCard& card, const Words& w, std::ostream& out) {
  const auto rssi = Reportable(w, 1, 20, 0, 31, 99);
  const auto ber = Reportable(w, 2, 99, 0, 7, 99);
  if (!rssi || !ber) {
    out << "usage: signal <0-31|99> [0-7|99]\n";
    return;
  }
  card.SetSignal(*rssi, *ber);
  out << "signal " << *rssi << "\n";
}
void Antenna(SimCard& card, const Words& w, std::ostream& out) {
  const auto level = Reportable(w, 1, 4, 0, 5);
  if (!level) {
    out << "usage: antenna <0-5>\n";
    return;
  }
  card.Update([&](CardState& s) { s.antenna = *level; });
}
void Technology(SimCard& card, const Words& w, std::ostream& out) {
  const bool gsm = w.size() > 1 && w[1] == "gsm";
  card.Update([gsm](CardState& s) { s.network_rat = gsm ? 0 : 2; });
  out << (gsm ? "network offers GSM only\n" : "network offers UMTS\n");
}
void Cells(SimCard& card, const Words& w, std::ostream&) {
  card.Update([&](CardState& s) {
    s.cell_2g = Number(w, 1, s.cell_2g);
    s.cell_3g = Number(w, 2, s.cell_3g);
    s.hsdpa = Number(w, 3, s.hsdpa);
  });
}
void Operator(SimCard& card, const Words& w, std::ostream& out) {
  if (w.size() < 4) {
    out << "usage: operator <numeric> <short> <long name...>\n";
    return;
  }
  card.Update([&](CardState& s) {
    s.operator_numeric = w[1];
    s.operator_short = w[2];
    s.operator_long = Rest(w, 3);
  });
}
void IdleText(SimCard& card, const Words& w, std::ostream&) {
  card.Update([&](CardState& s) { s.idle_text = Rest(w, 1); });
}
void Radio(SimCard& card, const Words& w, std::ostream& out) {
  card.SetRadioSwitch(On(w));
  out << "radio switch " << (On(w) ? "on" : "off") << "\n";
}
void Sms(SimCard& card, const Words& w, std::ostream& out) {
  if (w.size() < 3) {
    out << "usage: " << w[0] << " <sender> <text...>\n";
    return;
  }
  DeliverMessage message;
  message.originator = w[1];
  message.text = Rest(w, 2);
  message.time = Now();
  message.flash = w[0] == "flash";
  message.service_centre = card.Snapshot().service_centre;
  const auto index = card.DeliverSms(message);
  if (index) {
    out << "stored at " << *index << "\n";
  } else {
    out << (message.flash ? "shown to the program (or dropped)\n" : "not stored\n");
  }
}
// A few lines of text that take three messages, for a long message typed
// without a text of its own.
constexpr std::string_view kLongSample =
    "Dear customer, from 1 April your tariff includes 5 GB of data at full speed every month. After that you "
    "still surf at 64 kbit/s at no extra cost. Unused data is not carried over. To book more data send the "
    "word DATA to 2323 or visit the customer portal. Roaming within the EU is included. Calls to other "
    "networks cost 9 cents a minute. Thank you for being with us, your Vombel team.";

// "3,1" names the parts to deliver, in that order.
std::optional<std::vector<int>> PartOrder(const std::string& word) {
  if (word.find(',') == std::string::npos || word.find_first_not_of("0123456789,") != std::string::npos) {
    return std::nullopt;
  }
  std::vector<int> order;
  std::istringstream in(word);
  for (std::string n; std::getline(in, n, ',');) {
    if (!n.empty()) order.push_back(std::stoi(n.substr(0, 3)));
  }
  return order;
}

void LongSms(SimCard& card, const Words& w, std::ostream& out) {
  if (w.size() < 2) {
    out << "usage: longsms <sender> [part order, e.g. 3,1] [text...]\n";
    return;
  }
  const std::optional<std::vector<int>> order = w.size() > 2 ? PartOrder(w[2]) : std::nullopt;
  const size_t text_from = order ? 3 : 2;
  DeliverMessage message;
  message.originator = w[1];
  message.text = w.size() > text_from ? Rest(w, text_from) : std::string(kLongSample);
  message.time = Now();
  message.service_centre = card.Snapshot().service_centre;
  message.extension_table = true;
  int reference = 0;
  card.Update([&](CardState& s) { reference = s.long_message_reference = (s.long_message_reference + 1) % 256; });
  const std::vector<DeliverMessage> parts = SplitIntoParts(message, reference);
  std::vector<int> sequence;
  if (order) {
    sequence = *order;
  } else {
    for (size_t i = 1; i <= parts.size(); ++i) sequence.push_back(static_cast<int>(i));
  }
  out << parts.size() << (parts.size() == 1 ? " part" : " parts") << ", reference " << reference << "\n";
  for (int n : sequence) {
    if (n < 1 || static_cast<size_t>(n) > parts.size()) {
      out << "  part " << n << ": there is none\n";
      continue;
    }
    const auto index = card.DeliverSms(parts[static_cast<size_t>(n) - 1]);
    out << "  part " << n;
    if (index) {
      out << ": stored at " << *index << "\n";
    } else {
      out << ": not stored\n";
    }
  }
}

void Report(SimCard& card, const Words& w, std::ostream& out) {
  StatusReport report;
  report.reference = Number(w, 1, 1);
  report.recipient = w.size() > 2 ? w[2] : "+491701111111";
  report.status = Number(w, 3, 0);
  report.sent = report.discharged = Now();
  report.service_centre = card.Snapshot().service_centre;
  out << (card.DeliverStatusReport(report) ? "status report sent\n" : "status report dropped (not shown, SIM full or not ready)\n");
}
void Ussd(SimCard& card, const Words& w, std::ostream&) { card.SendUssd(Rest(w, 1)); }
void Lock(SimCard& card, const Words&, std::ostream& out) {
  card.LockSim();
  out << "SIM asks for its PIN\n";
}
void Sim(SimCard& card, const Words& w, std::ostream& out) {
  const bool in = w.size() > 1 && w[1] == "in";
  card.SetSimPresent(in);
  out << (in ? "SIM inserted\n" : "SIM removed\n");
}
void Pull(SimCard& card, const Words&, std::ostream& out) {
  card.Pull();
  out << "card pulled\n";
}
void Plug(SimCard& card, const Words&, std::ostream& out) {
  if (!card.Plug()) out << "could not make a pseudo-terminal\n";
}
void Drop(SimCard& card, const Words&, std::ostream& out) {
  card.DropDataCall();
  out << "data call dropped\n";
}
void Mute(SimCard& card, const Words& w, std::ostream&) { card.SetMute(On(w)); }
void FaultCommand(SimCard& card, const Words& w, std::ostream& out) {
  if (w.size() == 2 && w[1] == "clear") {
    card.ClearFaults();
    out << "faults cleared\n";
    return;
  }
  static constexpr std::array<std::pair<std::string_view, FaultKind>, 7> kKinds = {{
      {"silent", FaultKind::kSilent}, {"late", FaultKind::kLate}, {"garbage", FaultKind::kGarbage},
      {"overlong", FaultKind::kOverlong}, {"nofinal", FaultKind::kDropFinal}, {"error", FaultKind::kError},
      {"pull", FaultKind::kPull},
  }};
  // A negative delay would wrap round to weeks and stall the card's reader.
  const int delay_ms = Number(w, 3, 3000);
  if (w.size() >= 3 && delay_ms >= 0) {
    for (const auto& [name, kind] : kKinds) {
      if (w[2] == name) {
        card.InjectFault(w[1], Fault{kind, static_cast<uint32_t>(delay_ms), false});
        out << "fault set\n";
        return;
      }
    }
  }
  out << "usage: fault <command|*> silent|late [ms]|garbage|overlong|nofinal|error|pull, or fault clear\n";
}
void Status(SimCard& card, const Words&, std::ostream& out) {
  const CardState s = card.Snapshot();
  out << "card " << card.Class().db_name << (card.Present() ? " (plugged)" : " (pulled)") << "\n";
  if (card.Present()) PrintPorts(card.Ports(), out);
  PrintSimCodes(s, out);
  out << "SIM " << (s.sim_present ? "present" : "absent") << ", PIN check " << (s.pin_enabled ? "on" : "off")
      << ", retries " << s.pin_retries << "/" << s.puk_retries << "\n";
  out << "registration CS " << s.CsStat() << " PS " << s.PsStat() << ", signal " << s.rssi << ", operator "
      << s.operator_long << " (" << s.operator_numeric << ")\n";
}

// The network's side of a dial-up call.
void Auth(SimCard& card, const Words& w, std::ostream& out) {
  if (w.size() == 2 && w[1] == "any") {
    card.AcceptAnyDialUpLogin();
    out << "dial-up accepts any login\n";
  } else if (w.size() == 3) {
    card.AcceptDialUpLogin(w[1], w[2]);
    out << "dial-up accepts only " << w[1] << "\n";
  } else {
    out << "usage: auth any | auth <user> <password>\n";
  }
}
void Address(SimCard& card, const Words& w, std::ostream& out) {
  if (w.size() != 2 || platform::ParseIpv4Address(w[1]) == 0xFFFFFFFFu) {
    out << "usage: address <a.b.c.d>\n";
    return;
  }
  card.SetDialUpAddress(w[1]);
  out << "dial-up links get " << w[1] << "\n";
}

constexpr std::array<Command, 2> kDialUpCommands = {{
    {"auth", "any | <user> <password>", "which dial-up login the network accepts", Auth},
    {"address", "<a.b.c.d>", "the address the network gives a dial-up link", Address},
}};

void Help(SimCard&, const Words&, std::ostream& out);

constexpr std::array<Command, 27> kCommands = {{
    {"help", "", "this list", Help},
    {"status", "", "what the card is doing", Status},
    {"register", "[stat]", "network grants registration (1 home, 5 roaming, 2 searching, 3 denied)", Register},
    {"unregister", "", "out of coverage", Unregister},
    {"roam", "on|off", "roaming or home network", Roam},
    {"signal", "<rssi> [ber]", "signal level 0-31 (99 unknown)", Signal},
    {"antenna", "<0-5>", "antenna level", Antenna},
    {"tech", "gsm|umts", "what the network offers", Technology},
    {"cells", "<2g> [3g] [hsdpa]", "cell types (_OCTI, _OWCTI, _OHCIP)", Cells},
    {"operator", "<numeric> <short> <long...>", "the network's names", Operator},
    {"idle", "<text>", "idle text", IdleText},
    {"radio", "on|off", "the radio switch", Radio},
    {"sms", "<sender> <text...>", "a new message from the network", Sms},
    {"flash", "<sender> <text...>", "a class 0 message", Sms},
    {"longsms", "<sender> [3,1,2] [text...]", "a long message in parts (these, in this order)", LongSms},
    {"report", "<ref> [recipient] [status]", "a status report", Report},
    {"ussd", "<text>", "a USSD text from the network", Ussd},
    {"lock", "", "SIM asks for its PIN again", Lock},
    {"sim", "in|out", "insert or remove the SIM", Sim},
    {"pull", "", "pull the card", Pull},
    {"plug", "", "plug the card in again", Plug},
    {"drop", "", "the network ends the data call", Drop},
    {"fault", "<command|*> <kind> [ms] | clear", "misbehave on a command", FaultCommand},
    {"mute", "on|off", "neither echo nor answer", Mute},
    {"quit", "", "end", nullptr},
    {"exit", "", "end", nullptr},
    {"?", "", "this list", Help},
}};

void Help(SimCard&, const Words&, std::ostream& out) {
  auto line = [&out](const Command& c) {
    std::string left = std::string(c.name) + " " + std::string(c.usage);
    left.resize(std::max<size_t>(left.size() + 1, 40), ' ');
    out << "  " << left << c.help << "\n";
  };
  for (const auto& c : kCommands) {
    if (c.name == "exit" || c.name == "?") continue;
    line(c);
  }
  for (const auto& c : kDialUpCommands) line(c);
  PrintNdisHelp(out);
}

// The card's nodes, depth first, as card detection sees them.
void PrintTree(platform::SimDeviceTree& tree, platform::DEVINST node, int depth, std::ostream& out) {
  for (; node != 0;) {
    if (auto n = tree.Get(node)) {
      const auto& shown = n->friendly_name ? n->friendly_name : n->device_desc;
      out << std::string(2 * depth + 2, ' ') << node << " " << platform::Utf16ToUtf8(n->instance_id);
      if (shown && !shown->texts.empty()) out << "  \"" << shown->texts[0] << "\"";
      out << "\n";
    }
    platform::DEVINST child = 0;
    if (tree.GetChild(node, child) == 0) PrintTree(tree, child, depth + 1, out);
    if (depth == 0 || tree.GetSibling(node, node) != 0) break;
  }
}

void Tree(SimPresence& presence, std::ostream& out) {
  const platform::DEVINST card = presence.CardNode();
  if (card == 0) {
    out << "the card is not in the device tree\n";
    return;
  }
  PrintTree(presence.Tree(), card, 0, out);
  for (const auto& name : presence.DeviceNames()) out << "  device " << platform::Utf16ToUtf8(name) << "\n";
}

}  // namespace

void PrintPorts(const std::vector<SimCard::PortInfo>& ports, std::ostream& out) {
  for (const auto& port : ports) {
    const char* role = port.role == PortRole::kModem         ? "modem port"
                       : port.role == PortRole::kApplication ? "AT port"
                                                             : "AT and modem port";
    out << role << ": " << port.path << "\n";
  }
}

void PrintSimCodes(const CardState& s, std::ostream& out) {
  if (!s.sim_present) {
    out << "no SIM\n";
    return;
  }
  out << "SIM PIN: " << s.pin << (s.pin_enabled ? " (asked for)" : " (not asked for)") << ", PUK: " << s.puk;
  if (!s.network_pin.empty()) out << ", network code: " << s.network_pin;
  out << "\n";
}

bool RunConsoleLine(SimPresence& presence, const std::string& line, std::ostream& out) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  if (word == "standby") {
    presence.Standby();
    out << "standing by\n";
  } else if (word == "resume") {
    out << (presence.Resume() ? "resumed\n" : "could not make a pseudo-terminal\n");
  } else if (word == "tree") {
    Tree(presence, out);
  } else {
    const bool go_on = RunConsoleLine(presence.Card(), line, out);
    if (word == "help" || word == "?") {
      out << "  standby                                 the machine goes to sleep\n"
             "  resume                                  it wakes up (a family 7 card comes back anew)\n"
             "  tree                                    the card's nodes in the device tree\n";
    }
    return go_on;
  }
  return true;
}

bool RunConsoleLine(SimCard& card, const std::string& line, std::ostream& out) {
  std::istringstream in(line);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty()) return true;
  if (words[0] == "ndis") {
    RunNdisCommand(card, words, out);
    return true;
  }
  for (const auto& c : kCommands) {
    if (c.name != words[0]) continue;
    if (!c.run) return false;
    c.run(card, words, out);
    return true;
  }
  for (const auto& c : kDialUpCommands) {
    if (c.name != words[0]) continue;
    c.run(card, words, out);
    return true;
  }
  out << "unknown command \"" << words[0] << "\"; help lists them\n";
  return true;
}

}  // namespace sim::cli
