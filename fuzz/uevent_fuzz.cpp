// Kernel device events: any bytes parse or are refused, and whatever parses
// maps onto broadcasts without failing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/uevent.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  auto event = platform::ParseUevent(message);
  if (!event) return 0;
  if (event->action.empty() || event->devpath.empty()) std::abort();
  for (const auto& b : platform::BroadcastsForUevent(*event, [](std::string_view) { return true; })) {
    if (b.event != platform::DBT_DEVNODES_CHANGED && b.size == 0) std::abort();
  }
  return 0;
}
