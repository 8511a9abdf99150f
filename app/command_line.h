// The program's command line: switches written "/name" or "-name", with an
// optional value after ":" or "=" ("-log:full", "/log=1"). Names are compared
// exactly, so "/LOG" is not "log". Anything that does not start with "/" or
// "-" is ignored.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CommandLine {
 public:
  struct Argument {
    std::u16string name;
    std::u16string value;
  };

  CommandLine() = default;

  // From one argument string (the program name not included). Tokens are
  // separated by spaces (only the space character); a token that starts with
  // a double quote runs to the next double quote, which is not part of it
  // (nor is the opening one); an unclosed quote runs to the end.
  static CommandLine FromString(std::u16string_view text);

  // From the arguments the shell already split and unquoted (the program name
  // not included): each one is a token as it stands. UTF-8; ill-formed bytes
  // become U+FFFD.
  static CommandLine FromArguments(std::span<const char* const> arguments);

  // The tokens of `text` as FromString splits them.
  static std::vector<std::u16string> Tokenize(std::u16string_view text);
  // The argument a token stands for, or nullopt when it is none.
  static std::optional<Argument> ParseToken(std::u16string_view token);

  bool Has(std::u16string_view name) const;
  // The value of the first argument called `name` (empty when it has none);
  // nullopt when there is no such argument.
  std::optional<std::u16string> Value(std::u16string_view name) const;

  const std::vector<Argument>& Arguments() const { return arguments_; }

 private:
  void AddToken(std::u16string_view token);

  std::vector<Argument> arguments_;
};
