// The attribute files of /sys/class/net are read as the kernel left them;
// whatever they hold, the parsers finish and give values the records know.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ip_helper.h"
#include "platform/net_interface_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const uint32_t type = platform::InterfaceTypeFromText(text);
  if (type != platform::MIB_IF_TYPE_OTHER && type != platform::MIB_IF_TYPE_ETHERNET &&
      type != platform::MIB_IF_TYPE_PPP && type != platform::MIB_IF_TYPE_LOOPBACK) {
    __builtin_trap();
  }
  for (bool running : {false, true}) {
    if (platform::OperStatusFromText(text, running) > platform::IF_OPER_STATUS_OPERATIONAL) __builtin_trap();
  }
  (void)platform::ParseCounterText(text);
  return 0;
}
