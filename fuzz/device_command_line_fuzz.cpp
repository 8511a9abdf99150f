// vombel-device's command line is whatever a script or a person typed: any
// arguments (the bytes split at NUL) must parse without faults; a line that
// is understood names a known command with a time limit in range, and never
// carries a code for the SIM, which comes from standard input only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devicelib/cli/command_line.h"

using namespace vombel_device;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
    args.push_back(bytes.substr(start, end - start));
  }
  args.push_back(bytes.substr(start));

  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.error.empty()) return 0;
  const Options& o = parsed.options;
  if (*CommandName(o.command) == '\0' || o.timeout_s > kMaxTimeoutS) __builtin_trap();
  if (o.timeout_s == 0 && o.command != Command::kWatch && o.command != Command::kConnect) __builtin_trap();
  if (o.technology_mode_given && *TechnologyModeName(o.technology_mode) == '\0') __builtin_trap();
  if (o.apn.size() > 99) __builtin_trap();
  if (o.command == Command::kPin) {
    // No word that could be a PIN or a PUK, but the value of --timeout.
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      const bool digits = a.size() >= 4 && a.size() <= 8 && a.find_first_not_of("0123456789") == std::string::npos;
      if (digits && (i == 0 || args[i - 1] != "--timeout")) __builtin_trap();
    }
  }
  return 0;
}
