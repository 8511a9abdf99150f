// What the simulated card makes of any command line: the parser, then every
// handler of every card class on what it parsed, and the message body that
// may follow a prompt.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sim/at_command_parser.h"
#include "sim/at_interpreter.h"
#include "sim/card_class.h"
#include "sim/card_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  // The database's classes and the standard card, which is not one of them.
  const auto classes = sim::AllCardClasses();
  const size_t pick = data[0] % (classes.size() + 1);
  const sim::CardClass& card = pick < classes.size() ? classes[pick] : sim::ClassOf(sim::CardKind::kStandard);

  // A line, a CR, then whatever is typed after a prompt.
  const size_t cr = input.find('\r');
  const std::string_view line = input.substr(0, cr);
  const auto commands = sim::ParseCommandLine(line);
  if (!commands) return 0;
  for (const auto& command : *commands) {
    if (command.name.empty()) std::abort();
    if (auto args = sim::SplitArguments(command.args)) {
      for (const auto& arg : *args) {
        if (auto n = sim::ParseNumber(arg.text); n && *n < 0) std::abort();
      }
    }
  }

  sim::CardState state;
  sim::PowerUp(state, 0);
  state.sim_busy_until = 0;
  if (data[0] & 0x80) state.lock = sim::SimLock::kPin;
  sim::PortSession session;
  sim::Response response;
  std::vector<std::string> after;
  sim::CommandContext context{card, state, session, sim::PortRole::kCombined, 1000, response, after};
  sim::RunCommands(context, *commands);
  if (session.mode == sim::PortSession::Mode::kSmsBody && cr != std::string_view::npos) {
    sim::FinishSmsBody(context, input.substr(cr + 1), false);
  }
  const std::string bytes = sim::FrameResponse(session, response);
  if (bytes.size() < 2) std::abort();
  std::vector<std::string> reports;
  sim::CollectReports(card, state, reports);
  return 0;
}
