#include "app/command_line.h"

#include "platform/text.h"

CommandLine CommandLine::FromString(std::u16string_view text) {
  CommandLine line;
  for (const std::u16string& token : Tokenize(text)) line.AddToken(token);
  return line;
}

CommandLine CommandLine::FromArguments(std::span<const char* const> arguments) {
  CommandLine line;
  for (const char* argument : arguments) {
    if (argument != nullptr) line.AddToken(platform::Utf8ToUtf16(argument));
  }
  return line;
}

std::vector<std::u16string> CommandLine::Tokenize(std::u16string_view text) {
  std::vector<std::u16string> tokens;
  size_t position = 0;
  while (position < text.size()) {
    if (text[position] == u' ') {
      ++position;
      continue;
    }
    size_t end;
    if (text[position] == u'"') {
      const size_t start = position + 1;
      end = text.find(u'"', start);
      if (end == std::u16string_view::npos) end = text.size();
      tokens.emplace_back(text.substr(start, end - start));
      position = end == text.size() ? end : end + 1;
    } else {
      end = text.find(u' ', position);
      if (end == std::u16string_view::npos) end = text.size();
      tokens.emplace_back(text.substr(position, end - position));
      position = end;
    }
  }
  return tokens;
}

std::optional<CommandLine::Argument> CommandLine::ParseToken(std::u16string_view token) {
  if (token.empty() || (token.front() != u'/' && token.front() != u'-')) return std::nullopt;
  const std::u16string_view rest = token.substr(1);
  const size_t separator = rest.find_first_of(u":=");
  if (separator == std::u16string_view::npos) return Argument{std::u16string(rest), {}};
  return Argument{std::u16string(rest.substr(0, separator)),
                  std::u16string(rest.substr(separator + 1))};
}

void CommandLine::AddToken(std::u16string_view token) {
  if (auto argument = ParseToken(token)) arguments_.push_back(std::move(*argument));
}

bool CommandLine::Has(std::u16string_view name) const { return Value(name).has_value(); }

std::optional<std::u16string> CommandLine::Value(std::u16string_view name) const {
  for (const Argument& argument : arguments_) {
    if (argument.name == name) return argument.value;
  }
  return std::nullopt;
}
