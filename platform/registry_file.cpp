#include "platform/registry_file.h"

#include <charconv>
#include <unordered_set>

#include "platform/ascii.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendEscapedByte(std::string& out, uint8_t byte) {
  out.push_back('%');
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0xF]);
}

bool IsControl(uint8_t byte) { return byte < 0x20 || byte == 0x7F; }

// "%XX" back to bytes; nullopt for a "%" without two hex digits after it.
std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexDigitValue(text[i + 1]);
    const int low = HexDigitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

// Strict UTF-8 to UTF-16: nullopt for anything the lenient converter would
// have to replace, so a damaged name or text is reported, not silently altered.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes) {
  std::u16string text = Utf8ToUtf16(bytes);
  if (Utf16ToUtf8(text) != bytes) return std::nullopt;
  return text;
}

bool IsWellFormedUtf16(std::u16string_view text) { return Utf8ToUtf16(Utf16ToUtf8(text)) == text; }

std::optional<std::u16string> ParseText(std::string_view escaped) {
  auto bytes = Unescape(escaped);
  if (!bytes) return std::nullopt;
  return DecodeUtf8(*bytes);
}

std::string EscapeText(std::u16string_view text, bool is_name) {
  const std::string bytes = Utf16ToUtf8(text);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<uint8_t>(bytes[i]);
    if (byte == '%' || IsControl(byte) || (is_name && (byte == '=' || (i == 0 && byte == '#')))) {
      AppendEscapedByte(out, byte);
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view digits) {
  if (digits.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (size_t i = 0; i < digits.size(); i += 2) {
    const int high = HexDigitValue(digits[i]);
    const int low = HexDigitValue(digits[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

void AppendHexBytes(std::string& out, const std::vector<uint8_t>& bytes) {
  for (uint8_t byte : bytes) {
    out.push_back(static_cast<char>(kHexDigits[byte >> 4] | 0x20));  // lower case
    out.push_back(static_cast<char>(kHexDigits[byte & 0xF] | 0x20));
  }
}

std::optional<uint32_t> ParseDecimal(std::string_view digits) {
  uint32_t value = 0;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// The value's text when its bytes are exactly a well-formed UTF-16 text plus
// one terminating zero unit (zero units inside, as REG_MULTI_SZ has them, are
// fine); nullopt otherwise.
std::optional<std::u16string> TextForm(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string text(data.size() / 2 - 1, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0) return std::nullopt;
  if (!IsWellFormedUtf16(text)) return std::nullopt;
  return text;
}

std::vector<uint8_t> TextBytes(std::u16string_view text) {
  std::vector<uint8_t> data;
  data.reserve(text.size() * 2 + 2);
  for (char16_t unit : text) {
    data.push_back(static_cast<uint8_t>(unit & 0xFF));
    data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

struct TextKind {
  std::string_view name;
  uint32_t type;
};
constexpr TextKind kTextKinds[] = {
    {"sz", REG_SZ}, {"expand_sz", REG_EXPAND_SZ}, {"multi_sz", REG_MULTI_SZ}};

std::optional<RegistryValue> ParseLine(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const size_t colon = line.find(':', equals + 1);
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view kind = line.substr(equals + 1, colon - equals - 1);
  const std::string_view data = line.substr(colon + 1);

  RegistryValue value;
  auto name = ParseText(line.substr(0, equals));
  if (!name || name->find(u'\0') != std::u16string::npos) return std::nullopt;
  value.name = std::move(*name);

  for (const auto& text_kind : kTextKinds) {
    if (kind != text_kind.name) continue;
    auto text = ParseText(data);
    if (!text) return std::nullopt;
    value.type = text_kind.type;
    value.data = TextBytes(*text);
    return value;
  }
  if (kind == "dword") {
    if (data.empty() || data.size() > 8) return std::nullopt;
    uint32_t number = 0;
    for (char c : data) {
      const int digit = HexDigitValue(c);
      if (digit < 0) return std::nullopt;
      number = number * 16 + static_cast<uint32_t>(digit);
    }
    value.type = REG_DWORD;
    value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                  static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    return value;
  }
  std::optional<uint32_t> type;
  if (kind == "binary") {
    type = REG_BINARY;
  } else if (kind.size() > 5 && kind.substr(0, 4) == "hex(" && kind.back() == ')') {
    type = ParseDecimal(kind.substr(4, kind.size() - 5));
  }
  if (!type) return std::nullopt;
  auto bytes = ParseHexBytes(data);
  if (!bytes) return std::nullopt;
  value.type = *type;
  value.data = std::move(*bytes);
  return value;
}

std::u16string Folded(std::u16string_view name) {
  std::u16string folded(name);
  for (auto& c : folded) c = FoldRegistryChar(c);
  return folded;
}

}  // namespace

RegistryFileContent ParseRegistryFile(std::string_view text) {
  RegistryFileContent content;
  std::unordered_set<std::u16string> seen;
  bool first = true;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const bool terminated = end != std::string_view::npos;
    std::string_view line = text.substr(at, terminated ? end - at : std::string_view::npos);
    at = terminated ? end + 1 : text.size();
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (first) {
      first = false;
      content.header_ok = terminated && line == kRegistryFileHeader;
      if (content.header_ok) continue;
    }
    if (line.empty() || line.front() == '#') continue;
    if (!content.header_ok || !terminated) {
      ++content.damaged_lines;
      continue;
    }
    auto value = ParseLine(line);
    if (!value || !seen.insert(Folded(value->name)).second) {
      ++content.damaged_lines;
      continue;
    }
    content.values.push_back(std::move(*value));
  }
  return content;
}

std::string SerializeRegistryFile(const std::vector<RegistryValue>& values) {
  std::string out(kRegistryFileHeader);
  out.push_back('\n');
  for (const auto& value : values) {
    out += EscapeText(value.name, true);
    out.push_back('=');
    std::optional<std::u16string> text;
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ)
      text = TextForm(value.data);
    if (text) {
      for (const auto& kind : kTextKinds)
        if (kind.type == value.type) out += kind.name;
      out.push_back(':');
      out += EscapeText(*text, false);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
      out += "dword:";
      AppendHexBytes(out, {value.data[3], value.data[2], value.data[1], value.data[0]});
    } else {
      out += value.type == REG_BINARY ? "binary:" : "hex(" + std::to_string(value.type) + "):";
      AppendHexBytes(out, value.data);
    }
    out.push_back('\n');
  }
  return out;
}

std::string EncodeRegistryKeyName(std::u16string_view name) {
  const std::string bytes = Utf16ToUtf8(name);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<uint8_t>(bytes[i]);
    if (byte == '%' || byte == '/' || IsControl(byte) || (i == 0 && byte == '.')) {
      AppendEscapedByte(out, byte);
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}

std::optional<std::u16string> DecodeRegistryKeyName(std::string_view folder_name) {
  if (folder_name.empty() || folder_name.front() == '.') return std::nullopt;
  auto name = ParseText(folder_name);
  if (!name || name->empty() || name->find(u'\\') != std::u16string::npos ||
      name->find(u'\0') != std::u16string::npos)
    return std::nullopt;
  // Only the one spelling the store writes is a key: "Abc%41" next to "AbcA"
  // would otherwise be two folders for one name.
  if (EncodeRegistryKeyName(*name) != folder_name) return std::nullopt;
  return name;
}

char16_t FoldRegistryChar(char16_t c) {
  if (c < 0xE0) return AsciiToUpper(c);
  if (c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);  // Greek
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);                // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldRegistryChar(a[i]) != FoldRegistryChar(b[i])) return false;
  return true;
}

bool RegistryNameLess(std::u16string_view a, std::u16string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t fa = FoldRegistryChar(a[i]);
    const char16_t fb = FoldRegistryChar(b[i]);
    if (fa != fb) return fa < fb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace platform
