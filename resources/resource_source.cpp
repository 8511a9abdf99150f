#include "resources/resource_source.h"

#include <optional>

#include "resources/resource_table.h"

namespace resources {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Calls `handle(line_number, line)` for every line, without its CR LF or LF.
template <typename Handler>
void ForEachLine(std::string_view text, Handler handle) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    handle(++number, line);
  }
}

// Decimal 0..65535, digits only: "+1", "0x10" and "70000" are not ids.
std::optional<uint16_t> ParseNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Strict UTF-8: a text with a broken sequence is rejected rather than shown
// to the user with replacement characters. Returns the number of bytes used,
// 0 for an ill-formed sequence.
size_t DecodeUtf8(std::string_view text, char32_t& cp) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length;
  char32_t min;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

// The text of a string-table line: escapes resolved, UTF-8 to UTF-16. Returns
// an error message, empty when the text is good.
std::string DecodeText(std::string_view text, std::u16string& out) {
  while (!text.empty()) {
    if (text[0] == '\\') {
      if (text.size() < 2) return "a lone backslash ends the text (write \\\\ for a backslash)";
      switch (text[1]) {
        case 'n': out.push_back(u'\n'); break;
        case 't': out.push_back(u'\t'); break;
        case '\\': out.push_back(u'\\'); break;
        case '"': out.push_back(u'"'); break;
        default: return std::string("unknown escape \\") + text[1] + " (known: \\n \\t \\\\ \\\")";
      }
      text.remove_prefix(2);
      continue;
    }
    char32_t cp = 0;
    const size_t used = DecodeUtf8(text, cp);
    if (used == 0) return "the text is not well-formed UTF-8";
    AppendUtf16(out, cp);
    text.remove_prefix(used);
  }
  if (out.size() > kMaxStringUnits) return "the text is longer than 65535 UTF-16 units";
  return {};
}

}  // namespace

std::vector<ManifestEntry> ParseManifest(std::string_view text, std::vector<SourceError>& errors) {
  std::vector<ManifestEntry> entries;
  ForEachLine(text, [&](size_t number, std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') return;
    auto next_field = [&line]() {
      size_t end = 0;
      while (end < line.size() && !IsBlank(line[end])) ++end;
      const std::string_view field = line.substr(0, end);
      line = Trim(line.substr(end));
      return field;
    };
    const std::string_view type = next_field();
    const std::string_view id = next_field();
    const std::string_view file = line;  // the rest: a file name may hold blanks
    if (id.empty() || file.empty()) {
      errors.push_back({number, "expected \"TYPE ID FILE\""});
      return;
    }

    ManifestEntry entry;
    entry.line = number;
    if (IsDigit(type.front())) {
      const auto type_number = ParseNumber(type);
      if (!type_number || *type_number == 0) {
        errors.push_back({number, "resource type \"" + std::string(type) + "\" is neither a name nor a number 1..65535"});
        return;
      }
      if (*type_number == kTypeString || *type_number == kTypeVersion) {
        errors.push_back({number, "resource type " + std::to_string(*type_number) +
                                      " is made by the build (string table from strings.txt, version from the project version)"});
        return;
      }
      entry.type_number = *type_number;
    } else {
      bool good = IsNameStart(type.front());
      for (char c : type) good = good && IsNameChar(c);
      if (!good) {
        errors.push_back({number, "resource type \"" + std::string(type) + "\" is neither a name nor a number 1..65535"});
        return;
      }
      for (char c : type) entry.type_name.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    const auto resource_id = ParseNumber(id);
    if (!resource_id || *resource_id == 0) {
      errors.push_back({number, "resource id \"" + std::string(id) + "\" is not a number 1..65535"});
      return;
    }
    entry.id = *resource_id;
    entry.file = std::string(file);

    for (const auto& other : entries) {
      if (other.type_name == entry.type_name && other.type_number == entry.type_number && other.id == entry.id) {
        errors.push_back({number, "resource " + std::string(type) + " " + std::to_string(entry.id) +
                                      " is already given on line " + std::to_string(other.line)});
        return;
      }
    }
    entries.push_back(std::move(entry));
  });
  return entries;
}

std::map<uint16_t, std::u16string> ParseStringTable(std::string_view text, std::vector<SourceError>& errors) {
  std::map<uint16_t, std::u16string> strings;
  std::map<uint16_t, size_t> lines;
  ForEachLine(text, [&](size_t number, std::string_view line) {
    if (Trim(line).empty() || line.front() == '#') return;
    size_t digits = 0;
    while (digits < line.size() && IsDigit(line[digits])) ++digits;
    if (digits == 0 || (digits < line.size() && line[digits] != '\t')) {
      errors.push_back({number, "expected \"ID<TAB>text\""});
      return;
    }
    const auto id = ParseNumber(line.substr(0, digits));
    if (!id) {
      errors.push_back({number, "string id " + std::string(line.substr(0, digits)) + " is not in 0..65535"});
      return;
    }
    std::u16string decoded;
    const std::string problem = digits < line.size() ? DecodeText(line.substr(digits + 1), decoded) : std::string();
    if (!problem.empty()) {
      errors.push_back({number, "string " + std::to_string(*id) + ": " + problem});
      return;
    }
    if (const auto seen = lines.find(*id); seen != lines.end()) {
      errors.push_back({number, "string " + std::to_string(*id) + " is already given on line " +
                                    std::to_string(seen->second)});
      return;
    }
    lines.emplace(*id, number);
    strings.emplace(*id, std::move(decoded));
  });
  return strings;
}

bool ParseVersion(std::string_view text, FileVersion& version) {
  uint16_t parts[4] = {0, 0, 0, 0};
  size_t count = 0;
  while (count < 4) {
    const size_t dot = text.find('.');
    const auto part = ParseNumber(text.substr(0, dot));
    if (!part) return false;
    parts[count++] = *part;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
    if (count == 4) return false;  // a fifth part
  }
  if (count < 3) return false;
  version = FileVersion{parts[0], parts[1], parts[2], parts[3]};
  return true;
}

}  // namespace resources
