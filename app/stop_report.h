// The one line "-stop" and "-bulldoze" print about what they did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the stop found and did.
enum class StopOutcome {
  kNotRunning,  // no instance answered
  kStopped,     // it exited when asked
  kKilled,      // it did not exit in time and was ended
  kFailed,      // it could not be reached or ended (the error beside it)
};

// What "bulldoze" did to the stored settings.
enum class BulldozeOutcome {
  kDeleted,
  kNothingStored,  // there were none to delete
  kFailed,
};

struct StopReport {
  std::string line;  // ends in a line break
  bool failed = false;  // then for standard error, else standard output
};

// `bulldozed`: nullopt for "-stop", else what became of the settings.
// `title` names the program ("Vombel Connect"); `error` is the system error
// of kFailed.
StopReport MakeStopReport(StopOutcome outcome, uint32_t error, std::optional<BulldozeOutcome> bulldozed,
                          std::u16string_view title);
