#include "platform/pppd_peer_file.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/dial_up.h"

namespace platform {
namespace {

// pppd's own limit for one word of an options file.
constexpr size_t kMaxWordLength = 1024;

// The RASEO_ bits that travel as pppd options rather than on the "#@ options" line.
constexpr uint32_t kPppdOptionBits = RASEO_IpHeaderCompression | RASEO_RemoteDefaultGateway | kRaseoSwCompression;

// The highest idle time pppd's "idle" (an int) takes.
constexpr uint32_t kMaxPppdIdle = 0x7FFFFFFF;

constexpr std::string_view kMetaPrefix = "#@";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsOctal(char c) { return c >= '0' && c <= '7'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A "#@ key value" line, or a word of the options.
struct Token {
  bool meta = false;
  std::string key;   // meta only
  std::string text;  // the value, or the word
};

// A comment (from its "#" to its line end), as a "#@"
// token when it is one.
std::optional<Token> MetaLine(std::string_view line) {
  if (!line.starts_with(kMetaPrefix)) return std::nullopt;
  line.remove_prefix(kMetaPrefix.size());
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  const size_t end = line.find_first_of(" \t");
  Token token;
  token.meta = true;
  token.key = std::string(line.substr(0, end));
  // One blank separates key and value: a text may itself start with blanks.
  if (end != std::string_view::npos) token.text = std::string(line.substr(end + 1));
  if (token.key.empty()) return std::nullopt;
  return token;
}

// Splits the text as pppd's options reader does, keeping "#@" lines.
std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (c == '\\' && i + 1 < n && text[i + 1] == '\n') {  // a continued line
      i += 2;
      continue;
    }
    if (c == '#') {
      const size_t end = std::min(text.find('\n', i), n);
      if (auto meta = MetaLine(text.substr(i, end - i))) tokens.push_back(std::move(*meta));
      i = end;
      continue;
    }
    Token word;
    char quote = 0;
    if (c == '"' || c == '\'') {
      quote = c;
      ++i;
    }
    auto add = [&](char ch) {
      if (word.text.size() < kMaxWordLength) word.text.push_back(ch);
    };
    while (i < n) {
      const char ch = text[i];
      if (ch == '\\') {
        ++i;
        if (i >= n) break;
        const char e = text[i];
        if (e == '\n') {
          ++i;
          continue;
        }
        if (IsOctal(e)) {
          unsigned value = 0;
          for (int k = 0; k < 3 && i < n && IsOctal(text[i]); ++k, ++i) value = value * 8 + unsigned(text[i] - '0');
          add(static_cast<char>(value & 0xFF));
          continue;
        }
        if (e == 'x') {
          ++i;
          unsigned value = 0;
          for (int k = 0; k < 2 && i < n && HexValue(text[i]) >= 0; ++k, ++i) {
            value = value * 16 + unsigned(HexValue(text[i]));
          }
          add(static_cast<char>(value));
          continue;
        }
        switch (e) {
          case 'a': add('\a'); break;
          case 'b': add('\b'); break;
          case 'f': add('\f'); break;
          case 'n': add('\n'); break;
          case 'r': add('\r'); break;
          case 's': add(' '); break;
          case 't': add('\t'); break;
          default: add(e); break;
        }
        ++i;
        continue;
      }
      if (quote != 0) {
        if (ch == quote) {
          ++i;
          break;
        }
      } else if (IsSpace(ch) || ch == '#') {
        break;
      }
      add(ch);
      ++i;
    }
    tokens.push_back(std::move(word));
  }
  return tokens;
}

std::optional<uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08x", value);
  return buffer;
}

}  // namespace

bool IsDialString(std::string_view number) {
  if (number.size() > RAS_MaxPhoneNumber) return false;
  for (char c : number) {
    const bool digit = c >= '0' && c <= '9';
    const bool tone = (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd');
    const bool modifier = c == 'P' || c == 'p' || c == 'T' || c == 't' || c == 'W' || c == 'w' || c == '!' || c == '@';
    if (!digit && !tone && !modifier && c != '*' && c != '#' && c != '+' && c != ',') return false;
  }
  return true;
}

bool IsCommentText(std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

std::string FormatPeerFile(std::string_view entry_name, const PeerFileEntry& entry) {
  std::string text;
  auto line = [&](std::string_view a, std::string_view b = {}) {
    text.append(a);
    text.append(b);
    text.push_back('\n');
  };
  line("# Vombel Connect dial-up connection \"", std::string(entry_name) + "\".");
  line("# Written by the program, which rewrites the whole file. pppd reads the");
  line("# options; the \"#@\" lines hold the entry's settings pppd has no option for.");
  line("#@ options ", Hex(entry.options & ~kPppdOptionBits));
  line("#@ country-id ", std::to_string(entry.country_id));
  line("#@ country-code ", std::to_string(entry.country_code));
  line("#@ net-protocols ", Hex(entry.net_protocols));
  line("#@ framing ", Hex(entry.framing_protocol));
  line("#@ device-type ", entry.device_type);
  line("#@ device-name ", entry.device_name);
  line("#@ sub-entries ", std::to_string(entry.sub_entries));
  line("#@ dial-mode ", std::to_string(entry.dial_mode));
  const uint32_t idle = entry.idle_disconnect_seconds;
  const bool idle_option = idle != 0 && idle <= kMaxPppdIdle;
  if (idle != 0 && !idle_option) line("#@ idle-disconnect ", std::to_string(idle));
  // The number has no quotes or backslashes (IsDialString), and inside the
  // quotes its "#" does not start a comment.
  line("set \"", std::string(kDialNumberVariable) + "=" + entry.phone_number + "\"");
  // The network gives the address and the name servers.
  line("noipdefault");
  line("usepeerdns");
  if (entry.options & RASEO_RemoteDefaultGateway) line("defaultroute");
  if (!(entry.options & RASEO_IpHeaderCompression)) line("novj");
  if (!(entry.options & kRaseoSwCompression)) line("noccp");
  if (idle_option) line("idle ", std::to_string(idle));
  return text;
}

PeerFileEntry ParsePeerFile(std::string_view text) {
  PeerFileEntry entry;
  uint32_t other_options = 0;
  bool vj = true;
  bool default_route = false;
  bool ccp = true;
  std::optional<uint32_t> idle_option;
  uint32_t idle_comment = 0;

  const std::vector<Token> tokens = Tokenize(text);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (token.meta) {
      const std::string& key = token.key;
      if (key == "device-type") {
        entry.device_type = token.text;
      } else if (key == "device-name") {
        entry.device_name = token.text;
      } else if (const auto value = ParseNumber(token.text)) {
        if (key == "options") other_options = *value;
        else if (key == "country-id") entry.country_id = *value;
        else if (key == "country-code") entry.country_code = *value;
        else if (key == "net-protocols") entry.net_protocols = *value;
        else if (key == "framing") entry.framing_protocol = *value;
        else if (key == "sub-entries") entry.sub_entries = *value;
        else if (key == "dial-mode") entry.dial_mode = *value;
        else if (key == "idle-disconnect") idle_comment = *value;
      }
      continue;
    }
    const std::string& word = token.text;
    const bool has_argument = i + 1 < tokens.size() && !tokens[i + 1].meta;
    if (word == "novj") {
      vj = false;
    } else if (word == "vj") {
      vj = true;
    } else if (word == "noccp") {
      ccp = false;
    } else if (word == "defaultroute") {
      default_route = true;
    } else if (word == "nodefaultroute") {
      default_route = false;
    } else if (word == "idle" && has_argument) {
      idle_option = ParseNumber(tokens[++i].text);
    } else if (word == "set" && has_argument) {
      const std::string_view assignment = tokens[++i].text;
      const size_t equals = assignment.find('=');
      if (equals != std::string_view::npos && assignment.substr(0, equals) == kDialNumberVariable) {
        entry.phone_number = std::string(assignment.substr(equals + 1));
      }
    }
  }

  entry.options = (other_options & ~kPppdOptionBits) | (vj ? RASEO_IpHeaderCompression : 0) |
                  (default_route ? RASEO_RemoteDefaultGateway : 0) | (ccp ? kRaseoSwCompression : 0);
  entry.idle_disconnect_seconds = (idle_option && *idle_option != 0) ? *idle_option : idle_comment;
  return entry;
}

}  // namespace platform
