#include "platform/pppd_log_line.h"

#include <array>
#include <utility>

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An interface name the kernel could have given: 1 to 15 characters, no
// blanks, no slash, not "." or "..".
bool IsInterfaceName(std::string_view name) {
  if (name.empty() || name.size() > 15 || name == "." || name == "..") return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '/' || c == ':') return false;
  }
  return true;
}

// Four dotted decimal numbers of at most three digits: what pppd's %I prints.
bool IsDottedQuad(std::string_view text) {
  int parts = 0;
  size_t digits = 0;
  for (char c : text) {
    if (IsDigit(c)) {
      if (++digits > 3) return false;
    } else if (c == '.') {
      if (digits == 0) return false;
      ++parts;
      digits = 0;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
}

// `text` after `prefix`, when it starts with it.
std::optional<std::string_view> After(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return std::nullopt;
  return text.substr(prefix.size());
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

PppdLogLine Line(PppdLogKind kind, std::string_view value = {}, std::string_view detail = {}) {
  return PppdLogLine{kind, std::string(value), std::string(detail)};
}

// "<path>: <reason>", split at the last ": " (a device path has none).
std::pair<std::string_view, std::string_view> PathAndReason(std::string_view text) {
  const size_t colon = text.rfind(": ");
  if (colon == std::string_view::npos) return {text, {}};
  return {text.substr(0, colon), text.substr(colon + 2)};
}

// "local  IP address 10.0.0.1" (pppd pads "local" to line up with "remote").
std::optional<std::string_view> AddressAfter(std::string_view text, std::string_view word) {
  auto rest = After(text, word);
  if (!rest || rest->empty() || (*rest)[0] != ' ') return std::nullopt;
  rest = After(TrimLeft(*rest), "IP address ");
  if (!rest || !IsDottedQuad(*rest)) return std::nullopt;
  return rest;
}

}  // namespace

std::string_view TrimPppdLogLine(std::string_view line) {
  line = TrimLeft(line);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  // "/usr/sbin/pppd: Can't open options file …": the program name of an
  // option error.
  const size_t colon = line.find(": ");
  if (colon != std::string_view::npos) {
    const std::string_view name = line.substr(0, colon);
    if (name.ends_with("pppd") && name.find(' ') == std::string_view::npos) line = TrimLeft(line.substr(colon + 2));
  }
  return line;
}

PppdLogLine ParsePppdLogLine(std::string_view raw) {
  const std::string_view line = TrimPppdLogLine(raw);
  using K = PppdLogKind;

  if (line == kDiallingMarker) return Line(K::kDialling);
  if (line == "Serial connection established.") return Line(K::kSerialConnected);
  if (line == "Connect script failed") return Line(K::kConnectScriptFailed);
  if (line == "Modem hangup") return Line(K::kModemHangup);
  if (line == "Connection terminated.") return Line(K::kTerminated);

  if (auto rest = After(line, "Failed to open ")) {
    const auto [path, reason] = PathAndReason(*rest);
    return Line(K::kOpenFailed, path, reason);
  }
  if (line == "Failed") return Line(K::kChatFailed);
  if (auto rest = After(line, "Failed ("); rest && rest->ends_with(')')) {
    return Line(K::kChatFailed, rest->substr(0, rest->size() - 1));
  }

  if (auto rest = After(line, "Using interface "); rest && IsInterfaceName(*rest)) {
    return Line(K::kInterface, *rest);
  }
  if (auto rest = After(line, "Connect: ")) {
    const size_t arrow = rest->find(" <--> ");
    if (arrow != std::string_view::npos && IsInterfaceName(rest->substr(0, arrow))) {
      return Line(K::kConnect, rest->substr(0, arrow), rest->substr(arrow + 6));
    }
    return Line(K::kOther);
  }

  // "PAP peer authentication …" is this side checking the peer, which the
  // installed options switch off ("noauth"); it is not our log-in.
  if (line.find("peer") == std::string_view::npos) {
    if (line.ends_with(" authentication succeeded")) return Line(K::kAuthSucceeded);
    if (line.find("authentication failed") != std::string_view::npos ||
        line.find("Authentication failed") != std::string_view::npos) {
      return Line(K::kAuthFailed);
    }
  }

  if (auto address = AddressAfter(line, "local")) return Line(K::kLocalIp, *address);
  if (auto address = AddressAfter(line, "remote")) return Line(K::kRemoteIp, *address);

  if (auto rest = After(line, "Device ")) {
    const size_t locked = rest->find(" is locked by pid ");
    if (locked != std::string_view::npos) return Line(K::kDeviceLocked, rest->substr(0, locked));
  }

  static constexpr std::array<std::string_view, 4> kNoKernel = {
      "Couldn't open the /dev/ppp device",
      "Sorry - this system lacks PPP kernel support",
      "Please load the ppp_generic kernel module",
      "You need to create the /dev/ppp device node",
  };
  for (std::string_view text : kNoKernel) {
    if (line.starts_with(text)) return Line(K::kNoKernelSupport);
  }

  if (auto rest = After(line, "Can't open options file ")) {
    const auto [path, reason] = PathAndReason(*rest);
    return Line(K::kOptionsFileMissing, path, reason);
  }
  if (line.starts_with("must be root to run ")) return Line(K::kNotRoot);
  if (line.ends_with(": timeout sending Config-Requests")) return Line(K::kNegotiationTimeout);
  return Line(K::kOther);
}

void PppdLogAssembler::Feed(std::string_view bytes, std::vector<std::string>& lines) {
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!overflow_) {
      const size_t room = kMaxLine - partial_.size();
      partial_.append(piece.substr(0, room));
      if (piece.size() > room) overflow_ = true;
    }
    if (end == std::string_view::npos) return;
    lines.push_back(std::move(partial_));
    partial_.clear();
    overflow_ = false;
    bytes.remove_prefix(end + 1);
  }
}

std::optional<std::string> PppdLogAssembler::Finish() {
  const bool had = !partial_.empty() || overflow_;
  std::string rest = std::move(partial_);
  partial_.clear();
  overflow_ = false;
  if (!had) return std::nullopt;
  return rest;
}

}  // namespace platform
