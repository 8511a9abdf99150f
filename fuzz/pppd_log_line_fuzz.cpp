// Arbitrary bytes as pppd's log stream. Cutting it into lines, telling the
// lines apart and following the dial stages must finish without faults;
// lines stay within their bound, stages only move forward, and what a line
// reports holds no line end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pppd_dial_progress.h"
#include "platform/pppd_log_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::PppdLogAssembler assembler;
  std::vector<std::string> lines;
  // Fed in two pieces, cut where the first byte says.
  const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
  assembler.Feed(text.substr(0, cut), lines);
  assembler.Feed(text.substr(cut), lines);
  if (auto rest = assembler.Finish()) lines.push_back(*rest);

  platform::PppdDialProgress progress;
  uint32_t previous = progress.Stage();
  for (const std::string& line : lines) {
    if (line.size() > platform::PppdLogAssembler::kMaxLine || line.find('\n') != std::string::npos) std::abort();
    const platform::PppdLogLine parsed = platform::ParsePppdLogLine(line);
    if (parsed.value.find('\n') != std::string::npos || parsed.detail.find('\n') != std::string::npos) std::abort();
    // The stages' numbers grow in their order; the last one reported is the
    // current one.
    const auto reached = progress.OnLine(parsed);
    for (platform::RasConnState stage : reached) {
      if (stage <= previous || stage == platform::RASCS_Disconnected) std::abort();
      previous = stage;
    }
    if (!reached.empty() && reached.back() != progress.Stage()) std::abort();
    if (progress.Interface().size() > 15 || progress.LocalAddress().size() > 15) std::abort();
  }
  for (int code = -1; code < 256; ++code) (void)progress.ErrorOnExit(code);
  return 0;
}
