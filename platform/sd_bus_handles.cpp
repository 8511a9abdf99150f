#include "platform/sd_bus_handles.h"

#include <time.h>

#include <cstdint>

namespace platform {

int SdBusPollTimeoutMs(sd_bus* bus) {
  uint64_t due_us = 0;
  if (sd_bus_get_timeout(bus, &due_us) < 0 || due_us == UINT64_MAX) return -1;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t now_us =
      static_cast<uint64_t>(now.tv_sec) * 1'000'000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
  if (due_us <= now_us) return 0;
  const uint64_t ms = (due_us - now_us + 999) / 1000;
  return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
}

}  // namespace platform
