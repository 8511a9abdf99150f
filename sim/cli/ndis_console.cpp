#include "sim/cli/ndis_console.h"

#include <charconv>
#include <optional>
#include <ostream>

namespace sim::cli {
namespace {

std::optional<uint32_t> Unsigned(const std::vector<std::string>& words, size_t i) {
  if (i >= words.size()) return std::nullopt;
  const std::string& word = words[i];
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

const char* PortName(NdisPort port) {
  return port == NdisPort::kControlDevice ? "NDIS control device" : "application port";
}

void Show(const NdisDriver& driver, std::ostream& out) {
  const NdisDriver::Status s = driver.GetStatus();
  out << "WWAN driver on the " << PortName(driver.options().port) << ": state " << s.record.state << " reason "
      << s.record.reason << (s.armed ? " (armed, waiting for the WAN call)" : "")
      << (s.running ? "" : ", card out") << "\n";
  out << "  sent " << s.statistics.bytes_transmitted << " received " << s.statistics.bytes_received
      << " bytes in " << s.statistics.duration << " ms";
  if (!s.adapter.empty()) out << ", adapter " << s.adapter << " " << (s.address_set ? NdisDriver::kAddress : "0.0.0.0");
  out << "\n  connect delay " << s.connect_delay_ms << " ms, address delay " << s.address_delay_ms << " ms";
  if (s.next_failure) out << ", next call fails with " << *s.next_failure;
  if (!s.required_user.empty()) out << ", network takes user \"" << s.required_user << "\" only";
  out << "\n";
}

void ShowConfig(const NdisDriver& driver, std::ostream& out) {
  const NdisDriver::ConfigRecord config = driver.Config();
  const auto user = NdisTextField(config, platform::kNdisUserNameOffset, platform::kNdisCredentialSize);
  out << "user name \"" << user.value_or("?") << "\"" << (driver.ConfigOwnBytesIntact() ? "" : ", driver bytes changed")
      << "\n";
  for (size_t i = 0; i < platform::kNdisConfigCommandSlots; ++i) {
    out << "  slot " << i << ": " << driver.CommandSlot(i) << "\n";
  }
}

}  // namespace

void RunNdisCommand(SimCard& card, const std::vector<std::string>& words, std::ostream& out) {
  NdisDriver* driver = card.Ndis();
  if (driver == nullptr) {
    out << "this card has no WWAN network driver\n";
    return;
  }
  const std::string what = words.size() > 1 ? words[1] : "show";
  if (what == "show") {
    Show(*driver, out);
  } else if (what == "config") {
    ShowConfig(*driver, out);
  } else if (what == "fail" && Unsigned(words, 2)) {
    driver->FailNextConnect(*Unsigned(words, 2));
    out << "the next call fails with reason " << *Unsigned(words, 2) << "\n";
  } else if (what == "drop") {
    out << (driver->DropCall() ? "call dropped\n" : "no call to drop\n");
  } else if (what == "delay" && Unsigned(words, 2)) {
    driver->SetConnectDelay(*Unsigned(words, 2));
  } else if (what == "address" && Unsigned(words, 2)) {
    driver->SetAddressDelay(*Unsigned(words, 2));
  } else if (what == "auth" && words.size() == 3 && words[2] == "off") {
    driver->RequireCredentials({}, {});
    out << "the network takes any credentials\n";
  } else if (what == "auth" && words.size() == 4) {
    driver->RequireCredentials(words[2], words[3]);
    out << "the network takes these credentials only\n";
  } else {
    out << "usage: ndis [show] | config | fail <reason> | drop | delay <ms> | address <ms> | auth <user> <password> | "
           "auth off\n";
  }
}

void PrintNdisHelp(std::ostream& out) {
  out << "  ndis [show]                             the WWAN driver's call, traffic and delays\n"
         "  ndis config                             its credentials and command slots\n"
         "  ndis fail <reason>                      the next call fails (27 APN, 29 credentials, 33 not subscribed)\n"
         "  ndis drop                               the call goes without a word (state 0, no failure)\n"
         "  ndis delay <ms>                         from the connect request to connected\n"
         "  ndis address <ms>                       from connected to the adapter's address\n"
         "  ndis auth <user> <password> | off       the credentials the network takes\n";
}

}  // namespace sim::cli
