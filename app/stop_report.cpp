#include "app/stop_report.h"

#include <cstdio>

#include "platform/text.h"

StopReport MakeStopReport(StopOutcome outcome, uint32_t error, std::optional<BulldozeOutcome> bulldozed,
                          std::u16string_view title) {
  const std::string name = title.empty() ? std::string("Vombel Connect") : platform::Utf16ToUtf8(title);
  StopReport report;
  switch (outcome) {
    case StopOutcome::kNotRunning:
      report.line = "No " + name + " was running";
      break;
    case StopOutcome::kStopped:
      report.line = "Stopped the running " + name;
      break;
    case StopOutcome::kKilled:
      report.line = "The running " + name + " did not exit in time and was killed";
      break;
    case StopOutcome::kFailed: {
      char number[16];
      std::snprintf(number, sizeof number, "0x%x", error);
      report.line = "Could not stop the running " + name + " (error " + number + ")";
      report.failed = true;
      break;
    }
  }
  if (bulldozed.has_value()) {
    // "Stopped ... and deleted", but after a clause of its own a new one.
    const bool joined = outcome == StopOutcome::kStopped;
    switch (*bulldozed) {
      case BulldozeOutcome::kDeleted:
        report.line += joined ? " and deleted its stored settings" : "; deleted its stored settings";
        break;
      case BulldozeOutcome::kNothingStored:
        report.line += joined ? "; it had no stored settings" : "; there were no stored settings";
        break;
      case BulldozeOutcome::kFailed:
        report.line += joined ? ", but its stored settings could not be deleted"
                              : "; the stored settings could not be deleted";
        report.failed = true;
        break;
    }
  }
  report.line += ".\n";
  return report;
}
