// Splits what the program (or a person at a terminal) types into commands:
// "AT+CNMI=2,1,0,1;+CMGF=0" into "+CNMI" set "2,1,0,1" and "+CMGF" set "0",
// "ATE0" into "E" with "0", "ATD*99***1#" into "D" with the dial string.
// Parsing only: no state, no I/O, safe on any input.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class AtForm {
  kExecute,  // AT+CGMM, ATI, ATE0 (basic commands carry their digits as args)
  kSet,      // AT+CPIN="1234"
  kQuery,    // AT+CPIN?
  kTest,     // AT+COPS=?
};

struct AtCommand {
  std::string name;  // upper case: "+CPIN", "_OPSYS", "$QCPDPP", "E", "&F", "S0", "D"
  AtForm form = AtForm::kExecute;
  std::string args;  // as typed (quoted parts untouched)
};

struct AtArgument {
  std::string text;  // without the quotes
  bool quoted = false;
};

// The commands of one line (without its CR), or nothing when the line is no
// valid command line. A line that is only "AT" gives an empty list.
std::optional<std::vector<AtCommand>> ParseCommandLine(std::string_view line);

// "1,\"IP\",\"internet\"" → {1}, {IP quoted}, {internet quoted}. Blanks
// around unquoted fields are dropped; an empty field stays as an empty
// argument. Nothing for an unterminated quote.
std::optional<std::vector<AtArgument>> SplitArguments(std::string_view args);

// A decimal argument without sign, at most 9 digits; nothing otherwise.
std::optional<int> ParseNumber(std::string_view text);

}  // namespace sim
