#include "devicelib/cli/output.h"

#include <cstdio>

#include "devicelib/cli/json_report.h"

namespace vombel_device {

void Output::Line(const std::string& line) const {
  if (Json()) return;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void Output::Lines(const std::vector<std::string>& lines, const char* indent) const {
  if (Json()) return;
  for (const std::string& line : lines) std::printf("%s%s\n", indent, line.c_str());
  std::fflush(stdout);
}

void Output::JsonLine(const std::string& json) const {
  if (!Json()) return;
  std::printf("%s\n", json.c_str());
  std::fflush(stdout);
}

void Output::Result(const std::vector<std::string>& lines, const std::string& json) const {
  Json() ? JsonLine(json) : Lines(lines);
}

void Output::Note(const std::string& message) const {
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
}

int Output::Fail(Failure failure, const std::string& message, DvResult rc) const {
  Note(message);
  JsonLine(ErrorDocument(CommandName(options_.command), failure, message, rc));
  return ExitCodeOf(failure);
}

}  // namespace vombel_device
