#include "sim/at_command_parser.h"

#include "platform/ascii.h"

#include <cctype>

namespace sim {
namespace {

bool IsExtendedPrefix(char c) { return c == '+' || c == '_' || c == '$' || c == '*' || c == '%' || c == '^'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// The end of an argument list: the next ';' outside quotes, or the end.
size_t ArgumentsEnd(std::string_view line, size_t pos) {
  bool quoted = false;
  for (; pos < line.size(); ++pos) {
    if (line[pos] == '"') quoted = !quoted;
    if (line[pos] == ';' && !quoted) return pos;
  }
  return pos;
}

// "=?", "=" args, "?" or nothing after a name.
void ReadForm(std::string_view line, size_t& pos, AtCommand& command) {
  if (pos < line.size() && line[pos] == '=') {
    if (pos + 1 < line.size() && line[pos + 1] == '?') {
      command.form = AtForm::kTest;
      pos += 2;
      return;
    }
    const size_t end = ArgumentsEnd(line, pos + 1);
    command.form = AtForm::kSet;
    command.args = std::string(line.substr(pos + 1, end - pos - 1));
    pos = end;
  } else if (pos < line.size() && line[pos] == '?') {
    command.form = AtForm::kQuery;
    ++pos;
  }
}

}  // namespace

std::optional<std::vector<AtCommand>> ParseCommandLine(std::string_view line) {
  size_t pos = 0;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (line.size() < pos + 2 || platform::AsciiToUpper(line[pos]) != 'A' || platform::AsciiToUpper(line[pos + 1]) != 'T') {
    return std::nullopt;
  }
  pos += 2;
  std::vector<AtCommand> commands;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == ' ' || c == ';') {
      ++pos;
      continue;
    }
    AtCommand command;
    if (IsExtendedPrefix(c)) {
      command.name.push_back(c);
      ++pos;
      while (pos < line.size() && IsNameChar(line[pos])) command.name.push_back(platform::AsciiToUpper(line[pos++]));
      if (command.name.size() < 2) return std::nullopt;
      ReadForm(line, pos, command);
      // Extended commands are chained with ';' only.
      while (pos < line.size() && line[pos] == ' ') ++pos;
      if (pos < line.size() && line[pos] != ';') return std::nullopt;
    } else if (platform::AsciiToUpper(c) == 'D') {
      // The dial string takes the rest of the line.
      command.name = "D";
      command.args = std::string(line.substr(pos + 1));
      pos = line.size();
    } else if (c == '&' || platform::AsciiToUpper(c) == 'S') {
      command.name.push_back(platform::AsciiToUpper(c));
      ++pos;
      if (c == '&') {
        if (pos >= line.size() || !std::isalpha(static_cast<unsigned char>(line[pos]))) return std::nullopt;
        command.name.push_back(platform::AsciiToUpper(line[pos++]));
      } else {
        while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
          command.name.push_back(line[pos++]);
        }
        if (command.name.size() < 2) return std::nullopt;
      }
      if (platform::AsciiToUpper(c) == 'S' && pos < line.size() && (line[pos] == '=' || line[pos] == '?')) {
        ReadForm(line, pos, command);
      } else {
        while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
          command.args.push_back(line[pos++]);
        }
      }
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      command.name.push_back(platform::AsciiToUpper(c));
      ++pos;
      while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
        command.args.push_back(line[pos++]);
      }
    } else {
      return std::nullopt;
    }
    commands.push_back(std::move(command));
  }
  return commands;
}

std::optional<std::vector<AtArgument>> SplitArguments(std::string_view args) {
  std::vector<AtArgument> out;
  size_t pos = 0;
  for (;;) {
    AtArgument arg;
    while (pos < args.size() && args[pos] == ' ') ++pos;
    if (pos < args.size() && args[pos] == '"') {
      const size_t close = args.find('"', pos + 1);
      if (close == std::string_view::npos) return std::nullopt;
      arg.text = std::string(args.substr(pos + 1, close - pos - 1));
      arg.quoted = true;
      pos = close + 1;
      while (pos < args.size() && args[pos] == ' ') ++pos;
      if (pos < args.size() && args[pos] != ',') return std::nullopt;
    } else {
      const size_t comma = std::min(args.find(',', pos), args.size());
      std::string_view field = args.substr(pos, comma - pos);
      while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
      if (field.find('"') != std::string_view::npos) return std::nullopt;
      arg.text = std::string(field);
      pos = comma;
    }
    out.push_back(std::move(arg));
    if (pos >= args.size()) break;
    ++pos;  // the comma
  }
  // "AT+X=" carries no argument at all rather than one empty one.
  if (out.size() == 1 && out[0].text.empty() && !out[0].quoted) out.clear();
  return out;
}

std::optional<int> ParseNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace sim
