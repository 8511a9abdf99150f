#include "platform/port_holder_text.h"

#include <charconv>
#include <climits>

#include "platform/modem_manager.h"

namespace platform {
namespace {

constexpr size_t kProgramNameMax = 64;

}  // namespace

std::optional<int> PidOfProcEntry(std::string_view name) {
  if (name.empty() || name.size() > 10 || name.front() == '0') return std::nullopt;
  for (char c : name) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int pid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || end != name.data() + name.size() || pid <= 0) return std::nullopt;
  return pid;
}

std::string ProgramNameOfComm(std::string_view comm) {
  const size_t line_end = comm.find('\n');
  if (line_end != std::string_view::npos) comm = comm.substr(0, line_end);
  if (comm.size() > kProgramNameMax) comm = comm.substr(0, kProgramNameMax);
  std::string name(comm);
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) c = '?';
  }
  return name;
}

bool FdLinkIsPort(std::string_view link_target, std::string_view port_path) {
  return !port_path.empty() && link_target == port_path;
}

std::string PortInUseText(std::string_view port, std::string_view holder) {
  const std::string where = "the card's port " + std::string(port);
  if (holder == kModemManagerProgram) {
    // We only get here when ModemManager would not leave the card alone
    // (not authorised, or too old to be asked).
    return "ModemManager is using " + where +
           " and would not hand it over: stop ModemManager (\"sudo systemctl stop ModemManager\") "
           "and try again.";
  }
  if (holder.empty()) return "Another program is using " + where + ": close it and try again.";
  return "The program \"" + std::string(holder) + "\" is using " + where + ": close it and try again.";
}

}  // namespace platform
