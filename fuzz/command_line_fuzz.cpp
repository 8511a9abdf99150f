// The command line is whatever the caller typed: as one string or as the
// shell's arguments, any bytes must parse without faults, every argument
// found must be found again by name, and tokens never hold more than the
// text did. The start's switch check reads the same arguments: an unknown
// switch it names is one of them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/program_switches.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string text = platform::Utf8ToUtf16(bytes);

  const CommandLine line = CommandLine::FromString(text);
  for (const CommandLine::Argument& argument : line.Arguments()) {
    if (!line.Has(argument.name)) __builtin_trap();
  }
  const std::vector<std::u16string> tokens = CommandLine::Tokenize(text);
  size_t characters = 0;
  for (const std::u16string& token : tokens) characters += token.size();
  if (characters > text.size() || line.Arguments().size() > tokens.size()) __builtin_trap();

  // The same bytes as shell arguments split at NUL bytes.
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
    pieces.push_back(bytes.substr(start, end - start));
  }
  pieces.push_back(bytes.substr(start));
  std::vector<const char*> arguments;
  for (const auto& piece : pieces) arguments.push_back(piece.c_str());
  const CommandLine from_shell = CommandLine::FromArguments(arguments);
  if (from_shell.Arguments().size() > pieces.size()) __builtin_trap();

  const SwitchCheck check = CheckProgramSwitches(arguments);
  if ((check.request == SwitchRequest::kUnknown) == check.unknown.empty()) __builtin_trap();
  if (check.request == SwitchRequest::kUnknown &&
      std::find(pieces.begin(), pieces.end(), check.unknown) == pieces.end()) {
    __builtin_trap();
  }
  return 0;
}
