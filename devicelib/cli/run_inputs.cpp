#include "devicelib/cli/run_inputs.h"

#include <unistd.h>

#include <string>
#include <vector>

#include "carddetect/nw_api.h"
#include "devicelib/cli/pin_input.h"
#include "platform/clock.h"

namespace vombel_device {
namespace {

// Card sharing's answers (NwRequestExclusiveAccess).
constexpr uint32_t kNotGiven = 258;
constexpr uint32_t kCancelled = 1223;

}  // namespace

int ReadCodes(const Options& options, const Output& output, Codes& codes) {
  struct Wanted {
    SecretPin* code;
    const char* prompt;
    const char* name;
  };
  std::vector<Wanted> wanted;
  if (options.command != Command::kPin) {
    if (options.pin) wanted.push_back({&codes.pin, "PIN: ", "PIN"});
  } else {
    switch (options.pin_action) {
      case PinAction::kStatus: break;
      case PinAction::kEnter:
      case PinAction::kOn:
      case PinAction::kOff: wanted.push_back({&codes.pin, "PIN: ", "PIN"}); break;
      case PinAction::kChange:
        wanted.push_back({&codes.pin, "PIN: ", "PIN"});
        wanted.push_back({&codes.new_pin, "New PIN: ", "new PIN"});
        break;
      case PinAction::kUnblock:
        wanted.push_back({&codes.puk, "PUK: ", "PUK"});
        wanted.push_back({&codes.new_pin, "New PIN: ", "new PIN"});
        break;
    }
  }
  const std::string source = options.command == Command::kPin ? "pin: " : "--pin: ";
  for (const Wanted& w : wanted) {
    switch (ReadPin(STDIN_FILENO, w.prompt, *w.code)) {
      case PinReadResult::kOk: break;
      case PinReadResult::kEndOfInput:
        return output.Fail(Failure::kUsage, "vombel-device: " + source + "no " + w.name + " on standard input");
      case PinReadResult::kNotAPin:
        return output.Fail(Failure::kUsage, "vombel-device: " + source + "a " + w.name + " is 4 to 8 digits");
      case PinReadResult::kReadError:
        return output.Fail(Failure::kUsage, "vombel-device: " + source + "standard input could not be read");
    }
  }
  return 0;
}

int TakeCard(const Options& options, const Output& output, const StopSignals& stop_signals) {
  struct Context {
    const Options& options;
    const Output& output;
    const StopSignals& stop_signals;
  } context{options, output, stop_signals};
  NwAccessRequest request;
  request.timeout_ms = options.timeout_s == 0 ? platform::kInfinite : options.timeout_s * 1000;
  request.context = &context;
  request.on_waiting = [](void* c) {
    const auto& ctx = *static_cast<Context*>(c);
    ctx.output.Note(ctx.options.timeout_s == 0
                        ? "Another program is using the data card; waiting for it to give the card up..."
                        : "Another program is using the data card; waiting up to " +
                              std::to_string(ctx.options.timeout_s) + " s for it to give the card up...");
  };
  request.cancelled = [](void* c) { return static_cast<Context*>(c)->stop_signals.Interrupted(); };
  const uint32_t rc = NwRequestExclusiveAccess(request);
  switch (rc) {
    case 0: return 0;
    case kNotGiven:
      return output.Fail(Failure::kBusy, "The program using the data card did not give it up within " +
                                             std::to_string(options.timeout_s) + " s.");
    case kCancelled: return output.Fail(Failure::kInterrupted, "Interrupted.");
    default:
      return output.Fail(Failure::kSystem, "vombel-device: the card-sharing objects could not be used (error " +
                                               std::to_string(rc) + ")");
  }
}

}  // namespace vombel_device
