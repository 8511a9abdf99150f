#include "platform/sim_link_frames.h"

#include <array>
#include <utility>

namespace platform {
namespace {

struct FrameName {
  LinkFrameType type;
  std::string_view name;
  size_t fields;
};

constexpr std::array<FrameName, 8> kFrames = {{
    {LinkFrameType::kAuth, "AUTH", 2},
    {LinkFrameType::kAuthAck, "AUTH-ACK", 0},
    {LinkFrameType::kAuthNak, "AUTH-NAK", 0},
    {LinkFrameType::kAddressRequest, "ADDR-REQ", 0},
    {LinkFrameType::kAddress, "ADDR", 1},
    {LinkFrameType::kEcho, "ECHO", 1},
    {LinkFrameType::kEchoReply, "ECHO-REPLY", 1},
    {LinkFrameType::kReject, "REJECT", 0},
}};

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendEncoded(std::string& out, std::string_view field) {
  for (char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < '!' || byte > '~' || c == '%' || c == '+') {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    } else {
      out.push_back(c);
    }
  }
}

std::optional<std::string> Decoded(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '+') return std::nullopt;  // always encoded: a bare one is line noise
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int high = HexValue(field[i + 1]);
    const int low = HexValue(field[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high << 4 | low));
    i += 2;
  }
  return out;
}

}  // namespace

std::string FormatLinkFrame(const LinkFrame& frame) {
  std::string line;
  for (const FrameName& f : kFrames) {
    if (f.type == frame.type) line = f.name;
  }
  for (const std::string& field : frame.fields) {
    line.push_back(' ');
    AppendEncoded(line, field);
  }
  line += "\r\n";
  return line;
}

std::optional<LinkFrame> ParseLinkFrame(std::string_view line) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t blank = line.find(' ', start);
    parts.push_back(line.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
    if (blank == std::string_view::npos) break;
    start = blank + 1;
  }
  for (const FrameName& f : kFrames) {
    if (parts.front() != f.name) continue;
    if (parts.size() != f.fields + 1) return std::nullopt;
    LinkFrame frame;
    frame.type = f.type;
    for (size_t i = 1; i < parts.size(); ++i) {
      auto field = Decoded(parts[i]);
      if (!field) return std::nullopt;
      frame.fields.push_back(std::move(*field));
    }
    return frame;
  }
  return std::nullopt;
}

LinkLineSplitter::Result LinkLineSplitter::Take(char byte) {
  if (complete_) {
    line_.clear();
    complete_ = false;
  }
  if (byte == '\r' || byte == '\n') {
    if (std::exchange(overflow_, false)) {
      line_.clear();
      return Result::kOverlong;
    }
    if (line_.empty()) return Result::kNothing;
    complete_ = true;
    return Result::kLine;
  }
  if (overflow_) return Result::kNothing;
  if (line_.size() == kMaxLinkLine) {
    overflow_ = true;
    line_.clear();
    return Result::kNothing;
  }
  line_.push_back(byte);
  return Result::kNothing;
}

void LinkLineSplitter::Reset() {
  line_.clear();
  complete_ = false;
  overflow_ = false;
}

ModemLineKind ClassifyModemLine(std::string_view line) {
  if (line == "OK") return ModemLineKind::kOk;
  if (line == "CONNECT" || line.starts_with("CONNECT ")) return ModemLineKind::kConnect;
  if (line == "NO CARRIER") return ModemLineKind::kNoCarrier;
  if (line == "ERROR" || line.starts_with("+CME ERROR:") || line == "BUSY" || line == "NO ANSWER" ||
      line == "NO DIALTONE") {
    return ModemLineKind::kError;
  }
  return ModemLineKind::kOther;
}

}  // namespace platform
