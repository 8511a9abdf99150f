// The program started from a terminal: its usage text and exit codes, the
// line "stop" and "bulldoze" print, a trace that stays off the terminal
// unless VOMBEL_DEBUG asks for it, and the simulated card of --simulate.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/process/process_fixture.h"
#include "tests/support/eventually.h"

namespace process_testing {
namespace {

constexpr char kSocketName[] = "/vombel-connect/CLASS_NAME_A2064FAF-DC1F-47b9-B9A5-7CE73A6B13E0.sock";

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Apart, and without VOMBEL_DEBUG: what a user at a terminal sees.
RunOptions AtATerminal() { return RunOptions{std::nullopt, false, true}; }

TEST_F(ProcessTest, UsageRequestsPrintTheUsageOnStandardOutputAndExitWithZero) {
  for (const char* request : {"--help", "-h", "/?", "-?"}) {
    SCOPED_TRACE(request);
    ProgramRunner program(Machine(), {"-log", request}, AtATerminal());
    EXPECT_EQ(program.Wait(), 0) << program.Errors();
    EXPECT_EQ(program.Output().rfind("usage: vombel-connect", 0), 0u) << program.Output();
    for (const char* name : {"-log", "-noshow", "-stop", "-bulldoze", "--simulate"}) {
      EXPECT_NE(program.Output().find(name), std::string::npos) << name;
    }
    EXPECT_EQ(program.Errors(), "");
    EXPECT_FALSE(Exists(program.LogPath())) << "nothing of the start ran";
  }
}

TEST_F(ProcessTest, AnUnknownSwitchPrintsTheUsageOnStandardErrorAndExitsWithTwo) {
  struct Row {
    std::vector<std::string> arguments;
    const char* complaint;
  };
  const Row rows[] = {
      {{"-bogus"}, "vombel-connect: unknown switch -bogus\nusage: vombel-connect"},
      {{"-log", "--log"}, "vombel-connect: unknown switch --log\nusage: vombel-connect"},
      {{"-stop", "/Stop"}, "vombel-connect: unknown switch /Stop\nusage: vombel-connect"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.complaint);
    ProgramRunner program(Machine(), row.arguments, AtATerminal());
    EXPECT_EQ(program.Wait(), 2);
    EXPECT_EQ(program.Errors().rfind(row.complaint, 0), 0u) << program.Errors();
    EXPECT_EQ(program.Output(), "");
    EXPECT_FALSE(Exists(program.LogPath()));
  }
}

TEST_F(ProcessTest, QtsOwnOptionsStillPass) {
  ProgramRunner instance(Machine(), {"-platform", "offscreen", "-log", "-style=fusion", "-noshow"});
  ASSERT_TRUE(instance.WaitForLog(kWindowCreated)) << instance.Output();
  ProgramRunner stop(Elsewhere(), {"-stop"});
  EXPECT_EQ(stop.Wait(), 0) << stop.Output();
  EXPECT_EQ(instance.Wait(), 0) << instance.Output();
}

TEST_F(ProcessTest, StopAndBulldozeSayWhatTheyDidInOneLine) {
  struct Row {
    const char* command;
    bool with_instance;
    bool settings_stored;
    const char* line;
  };
  const Row rows[] = {
      {"-stop", false, false, "No Vombel Connect was running.\n"},
      {"-stop", true, false, "Stopped the running Vombel Connect.\n"},
      {"-bulldoze", false, true, "No Vombel Connect was running; deleted its stored settings.\n"},
      {"/bulldoze", true, true, "Stopped the running Vombel Connect and deleted its stored settings.\n"},
      {"-bulldoze", false, false, "No Vombel Connect was running; there were no stored settings.\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    std::filesystem::remove_all(ProductKeyFolder());
    if (row.settings_stored) {
      std::filesystem::create_directories(ProductKeyFolder() + "/ApplicationSettings");
      std::ofstream(ProductKeyFolder() + "/ApplicationSettings/.values") << "LastMccMnc=sz:20404\n";
    }
    // The last row's instance left its log behind.
    std::filesystem::remove(tmp_.Path() + "/Vombel Connect.txt");
    std::optional<ProgramRunner> instance;
    if (row.with_instance) {
      instance.emplace(Machine(), std::vector<std::string>{"-log", "-noshow"});
      ASSERT_TRUE(instance->WaitForLog(kWindowCreated)) << instance->Output();
    }
    ProgramRunner stop(Elsewhere(), {row.command}, AtATerminal());
    EXPECT_EQ(stop.Wait(), 0) << stop.Errors();
    EXPECT_EQ(stop.Output(), row.line);
    EXPECT_EQ(stop.Errors(), "") << "no trace on the terminal";
    if (instance) {
      EXPECT_EQ(instance->Wait(), 0);
    }
  }
}

TEST_F(ProcessTest, TheTraceReachesTheTerminalOnlyWithVombelDebug) {
  const std::string socket = runtime_.Path() + kSocketName;
  for (const bool debug : {false, true}) {
    SCOPED_TRACE(debug ? "VOMBEL_DEBUG=1" : "without VOMBEL_DEBUG");
    ProgramRunner instance(Machine(), {"-noshow"}, RunOptions{std::nullopt, debug, true});
    // The socket is there once the start is past its log header's place.
    ASSERT_TRUE(testing_support::Eventually([&] { return Exists(socket); }));
    ASSERT_TRUE(testing_support::Eventually(
        [&] { return !debug || instance.Errors().find("Product version : ") != std::string::npos; }))
        << instance.Errors();
    ProgramRunner stop(Elsewhere(), {"-stop"}, AtATerminal());
    EXPECT_EQ(stop.Wait(), 0);
    EXPECT_EQ(instance.Wait(), 0);
    if (debug) {
      EXPECT_NE(instance.Errors().find("Log started     : "), std::string::npos) << instance.Errors();
      EXPECT_NE(instance.Errors().find("Product name    : Vombel Connect\n"), std::string::npos);
      EXPECT_EQ(instance.Errors().find("icon cannot be drawn"), std::string::npos) << "Qt's SVG plugin missing";
    } else {
      EXPECT_EQ(instance.Errors(), "");
    }
    EXPECT_EQ(instance.Output(), "");
    ASSERT_TRUE(testing_support::Eventually([&] { return !Exists(socket); }));
  }
}

TEST_F(ProcessTest, SimulatePlugsASimulatedCardIntoTheRunningProgram) {
  ProgramRunner instance(Machine(), {"--simulate", "-log", "-noshow"});
  ASSERT_TRUE(instance.WaitForLog(kWindowCreated)) << instance.Output();
  EXPECT_TRUE(instance.WaitForLog("SimulatedSystem: simulated card plugged in (Vombel Sim 3G Multiplexing Card)."))
      << instance.Log();
  // Before the log file opens: on standard error (VOMBEL_DEBUG=1 here).
  EXPECT_NE(instance.Output().find("SimulatedSystem: the simulated device tree, adapters and dial-up service are in."),
            std::string::npos)
      << instance.Output();
  ProgramRunner stop(Elsewhere(), {"-stop"}, AtATerminal());
  EXPECT_EQ(stop.Wait(), 0);
  EXPECT_EQ(stop.Output(), "Stopped the running Vombel Connect.\n");
  EXPECT_EQ(instance.Wait(), 0) << instance.Output();
}

}  // namespace
}  // namespace process_testing
