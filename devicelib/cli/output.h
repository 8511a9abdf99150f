// Where vombel-device's results go: text for a person, or with --json one
// JSON document (one JSON object a line for watch and connect) on standard
// output and nothing else there. Failures always say their message on
// standard error; with --json their error document follows on standard
// output.
#pragma once

#include <string>
#include <vector>

#include "devicelib/cli/command_line.h"
#include "devicelib/cli/exit_codes.h"
#include "devicelib/result_codes.h"

namespace vombel_device {

class Output {
 public:
  explicit Output(const Options& options) : options_(options) {}

  bool Json() const { return options_.json; }
  // Text for a person; nothing with --json.
  void Line(const std::string& line) const;
  void Lines(const std::vector<std::string>& lines, const char* indent = "") const;
  // One line of JSON; nothing without --json.
  void JsonLine(const std::string& json) const;
  // The one result of a command in the form asked for.
  void Result(const std::vector<std::string>& lines, const std::string& json) const;
  // A message for a person on standard error, whatever the form.
  void Note(const std::string& message) const;
  // Reports a failure; its exit code.
  int Fail(Failure failure, const std::string& message, DvResult rc = 0) const;

 private:
  const Options& options_;
};

}  // namespace vombel_device
