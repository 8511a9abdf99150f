#include "sim/command_context.h"

namespace sim::commands {

std::optional<Args> ArgsOf(Ctx& ctx, const AtCommand& cmd) {
  auto args = SplitArguments(cmd.args);
  if (!args) ctx.Error();
  return args;
}

std::optional<int> IntArg(const Args& args, size_t i) {
  if (i >= args.size() || args[i].quoted) return std::nullopt;
  return ParseNumber(args[i].text);
}

std::optional<int> SwitchArg(Ctx& ctx, const AtCommand& cmd, int max) {
  auto args = ArgsOf(ctx, cmd);
  if (!args) return std::nullopt;
  auto n = IntArg(*args, 0);
  if (!n || *n > max) {
    ctx.Error();
    return std::nullopt;
  }
  return n;
}

}  // namespace sim::commands
