// The line "-stop" and "-bulldoze" print.
#include "app/stop_report.h"

#include <gtest/gtest.h>

namespace {

TEST(StopReportTest, OneLinePerOutcomeAndBulldoze) {
  struct Row {
    StopOutcome outcome;
    std::optional<BulldozeOutcome> bulldozed;
    const char* line;
    bool failed;
  };
  const Row rows[] = {
      {StopOutcome::kNotRunning, std::nullopt, "No Vombel Connect was running.\n", false},
      {StopOutcome::kStopped, std::nullopt, "Stopped the running Vombel Connect.\n", false},
      {StopOutcome::kKilled, std::nullopt,
       "The running Vombel Connect did not exit in time and was killed.\n", false},
      {StopOutcome::kFailed, std::nullopt, "Could not stop the running Vombel Connect (error 0x5).\n", true},
      {StopOutcome::kNotRunning, BulldozeOutcome::kDeleted,
       "No Vombel Connect was running; deleted its stored settings.\n", false},
      {StopOutcome::kStopped, BulldozeOutcome::kDeleted,
       "Stopped the running Vombel Connect and deleted its stored settings.\n", false},
      {StopOutcome::kKilled, BulldozeOutcome::kDeleted,
       "The running Vombel Connect did not exit in time and was killed; deleted its stored settings.\n", false},
      {StopOutcome::kNotRunning, BulldozeOutcome::kNothingStored,
       "No Vombel Connect was running; there were no stored settings.\n", false},
      {StopOutcome::kStopped, BulldozeOutcome::kNothingStored,
       "Stopped the running Vombel Connect; it had no stored settings.\n", false},
      {StopOutcome::kStopped, BulldozeOutcome::kFailed,
       "Stopped the running Vombel Connect, but its stored settings could not be deleted.\n", true},
      {StopOutcome::kNotRunning, BulldozeOutcome::kFailed,
       "No Vombel Connect was running; the stored settings could not be deleted.\n", true},
      {StopOutcome::kFailed, BulldozeOutcome::kDeleted,
       "Could not stop the running Vombel Connect (error 0x5); deleted its stored settings.\n", true},
  };
  for (const Row& row : rows) {
    const StopReport report = MakeStopReport(row.outcome, 5, row.bulldozed, u"Vombel Connect");
    EXPECT_EQ(report.line, row.line);
    EXPECT_EQ(report.failed, row.failed) << row.line;
  }
}

TEST(StopReportTest, TheTitleNamesTheProgramAndAnEmptyOneFallsBack) {
  EXPECT_EQ(MakeStopReport(StopOutcome::kStopped, 0, std::nullopt, u"Test Connect").line,
            "Stopped the running Test Connect.\n");
  EXPECT_EQ(MakeStopReport(StopOutcome::kNotRunning, 0, std::nullopt, u"").line,
            "No Vombel Connect was running.\n");
  EXPECT_EQ(MakeStopReport(StopOutcome::kFailed, 0x80004005, std::nullopt, u"V").line,
            "Could not stop the running V (error 0x80004005).\n");
}

}  // namespace
