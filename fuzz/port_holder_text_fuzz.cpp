// The names of /proc's folders and the texts of its comm files and fd links
// are what other processes made them; whatever they hold, the readers finish,
// and a program name fit to show has no control characters.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/port_holder_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto pid = platform::PidOfProcEntry(text); pid && *pid <= 0) __builtin_trap();
  const std::string name = platform::ProgramNameOfComm(text);
  if (name.size() > 64) __builtin_trap();
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) __builtin_trap();
  }
  const size_t half = size / 2;
  (void)platform::FdLinkIsPort(text.substr(0, half), text.substr(half));
  (void)platform::PortInUseText(text.substr(0, half), name);
  return 0;
}
