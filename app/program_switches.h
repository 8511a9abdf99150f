// What the program's command line asks for before anything starts: its usage
// text, a run, or nothing it knows. The program's own switches are those of
// command_line.h ("/log", "-noshow", "-stop:1"); Qt's own options
// ("-platform offscreen", "-style=fusion", "--platform offscreen") pass on
// to Qt, their value with them.
#pragma once

#include <span>
#include <string>

#include "app/command_line.h"

enum class SwitchRequest {
  kRun,
  kUsage,    // -h, --help, /?: the usage text on standard output, exit 0
  kUnknown,  // the usage on standard error, exit 2
};

struct SwitchCheck {
  SwitchRequest request = SwitchRequest::kRun;
  std::string unknown;  // the first argument nobody knows, as written
};

// The exit code of a start with a switch nobody knows.
inline constexpr int kUnknownSwitchExitCode = 2;

// The arguments the shell split (the program name not included). A usage
// request wins over an unknown switch before or after it; arguments that are
// no switch (no leading "/" or "-") are left alone, as the program ignores
// them.
SwitchCheck CheckProgramSwitches(std::span<const char* const> arguments);

// True when the command line asks for the simulated card ("--simulate",
// also "-simulate" or "/simulate").
bool WantsSimulation(const CommandLine& command_line);
// The card class "--simulate=CLASS" names ("" for the default card, or
// without the switch).
std::string SimulatedCardClass(const CommandLine& command_line);

// The usage text, ending in a line break.
std::string ProgramUsage();
