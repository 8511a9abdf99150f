// The switches the program checks before it starts: usage requests, unknown
// switches, and Qt's own options that must pass with their values.
#include "app/program_switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SwitchCheck Check(const std::vector<const char*>& arguments) {
  return CheckProgramSwitches(std::span<const char* const>(arguments.data(), arguments.size()));
}

std::string Describe(const std::vector<const char*>& arguments) {
  std::string text;
  for (const char* argument : arguments) text += std::string(argument) + " ";
  return text;
}

TEST(ProgramSwitchesTest, SortsCommandLinesIntoRunUsageAndUnknown) {
  struct Row {
    std::vector<const char*> arguments;
    SwitchRequest request;
    const char* unknown;
  };
  const Row rows[] = {
      {{}, SwitchRequest::kRun, ""},
      {{"-log", "-noshow"}, SwitchRequest::kRun, ""},
      {{"/log", "/noshow", "/stop", "/bulldoze"}, SwitchRequest::kRun, ""},
      {{"-log:full", "/stop=1"}, SwitchRequest::kRun, ""},
      {{"--simulate"}, SwitchRequest::kRun, ""},
      {{"-simulate", "/simulate"}, SwitchRequest::kRun, ""},
      {{"stray", "words"}, SwitchRequest::kRun, ""},  // no switch: ignored, as start-up does
      // Qt's options, their values with them: a value that looks like a
      // switch is not one.
      {{"-platform", "offscreen"}, SwitchRequest::kRun, ""},
      {{"--platform", "offscreen", "-log"}, SwitchRequest::kRun, ""},
      {{"-stylesheet", "/home/me/dark.qss", "-noshow"}, SwitchRequest::kRun, ""},
      {{"-style=fusion", "-reverse", "-qmljsdebugger=port:1234"}, SwitchRequest::kRun, ""},
      {{"-platformpluginpath", "-weird", "-log"}, SwitchRequest::kRun, ""},
      {{"-platform"}, SwitchRequest::kRun, ""},  // the value missing: Qt's to complain
      // Usage requests, wherever they stand.
      {{"--help"}, SwitchRequest::kUsage, ""},
      {{"-help"}, SwitchRequest::kUsage, ""},
      {{"-h"}, SwitchRequest::kUsage, ""},
      {{"/?"}, SwitchRequest::kUsage, ""},
      {{"-?"}, SwitchRequest::kUsage, ""},
      {{"/h"}, SwitchRequest::kUsage, ""},
      {{"-log", "--help"}, SwitchRequest::kUsage, ""},
      {{"-bogus", "-h"}, SwitchRequest::kUsage, ""},
      // Unknown: the first one, as written.
      {{"-bogus"}, SwitchRequest::kUnknown, "-bogus"},
      {{"-log", "/nope", "-other"}, SwitchRequest::kUnknown, "/nope"},
      {{"--log"}, SwitchRequest::kUnknown, "--log"},        // the program's switches take one dash
      {{"-LOG"}, SwitchRequest::kUnknown, "-LOG"},          // names are compared exactly
      {{"/platform", "x"}, SwitchRequest::kUnknown, "/platform"},  // Qt reads no "/"
      {{"-"}, SwitchRequest::kUnknown, "-"},
      {{"/"}, SwitchRequest::kUnknown, "/"},
      {{"---simulate"}, SwitchRequest::kUnknown, "---simulate"},
      {{"-platform", "offscreen", "offscreen2", "-x"}, SwitchRequest::kUnknown, "-x"},
      {{"-stylesheet", "a.qss", "/style", "b"}, SwitchRequest::kUnknown, "/style"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Describe(row.arguments));
    const SwitchCheck check = Check(row.arguments);
    EXPECT_EQ(check.request, row.request);
    EXPECT_EQ(check.unknown, row.unknown);
  }
}

TEST(ProgramSwitchesTest, NullAndIllFormedArgumentsAreSafe) {
  EXPECT_EQ(Check({nullptr, "-log"}).request, SwitchRequest::kRun);
  const SwitchCheck bad = Check({"-\xff\xfe"});
  EXPECT_EQ(bad.request, SwitchRequest::kUnknown);
  EXPECT_EQ(bad.unknown, "-\xff\xfe");
}

TEST(ProgramSwitchesTest, SimulationIsAskedForWithOneOrTwoDashesOrASlash) {
  struct Row {
    const char16_t* line;
    bool simulate;
    const char* card_class;
  };
  const Row rows[] = {
      {u"--simulate", true, ""},           {u"-simulate", true, ""},  {u"/simulate", true, ""},
      {u"-log --simulate -noshow", true, ""}, {u"--simulate=gprs", true, "gprs"}, {u"/simulate:0e00", true, "0e00"},
      {u"", false, ""},                    {u"-log", false, ""},      {u"simulate", false, ""},
  };
  for (const Row& row : rows) {
    const CommandLine line = CommandLine::FromString(row.line);
    EXPECT_EQ(WantsSimulation(line), row.simulate);
    EXPECT_EQ(SimulatedCardClass(line), row.card_class);
  }
}

TEST(ProgramSwitchesTest, UsageNamesEverySwitch) {
  const std::string usage = ProgramUsage();
  for (const char* name : {"-log", "-noshow", "-stop", "-bulldoze", "--simulate", "--help", "/?", "VOMBEL_DEBUG"}) {
    EXPECT_NE(usage.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(usage.back(), '\n');
}

}  // namespace
