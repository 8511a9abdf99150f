#include "platform/sysfs_text.h"

#include "platform/ascii.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Calls `line` for each line of `text` (the last one may lack its '\n').
template <typename F>
void ForEachLine(std::string_view text, F line) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    line(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void AddKeyValue(std::string_view line, std::map<std::string, std::string, std::less<>>& out) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos || equals == 0) return;
  out.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
}

}  // namespace

std::string_view TrimAttribute(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<uint32_t> ParseHexAttribute(std::string_view text, size_t max_digits) {
  text = TrimAttribute(text);
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.empty() || text.size() > max_digits || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

std::map<std::string, std::string, std::less<>> ParseUevent(std::string_view text) {
  std::map<std::string, std::string, std::less<>> out;
  ForEachLine(text, [&](std::string_view line) { AddKeyValue(line, out); });
  return out;
}

std::map<std::string, std::string, std::less<>> ParseUdevData(std::string_view text) {
  std::map<std::string, std::string, std::less<>> out;
  ForEachLine(text, [&](std::string_view line) {
    if (line.starts_with("E:")) AddKeyValue(line.substr(2), out);
  });
  return out;
}

std::optional<uint64_t> ParseVersionNumbers(std::string_view text) {
  text = TrimAttribute(text);
  uint64_t parts[4] = {};
  size_t count = 0;
  size_t pos = 0;
  while (count < 4 && pos < text.size() && IsDigit(text[pos])) {
    uint32_t number = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
      number = number * 10 + static_cast<uint32_t>(text[pos] - '0');
      if (number > 0xFFFF) return std::nullopt;
      ++pos;
    }
    parts[count++] = number;
    // A separator counts only when a number follows it ("1.2.3-k" ends at 3).
    if (pos + 1 < text.size() && (text[pos] == '.' || text[pos] == '-') && IsDigit(text[pos + 1])) {
      ++pos;
    } else {
      break;
    }
  }
  if (count < 2) return std::nullopt;
  return parts[0] << 48 | parts[1] << 32 | parts[2] << 16 | parts[3];
}

}  // namespace platform
