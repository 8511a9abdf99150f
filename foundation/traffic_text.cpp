#include "foundation/traffic_text.h"

#include <cstdio>
#include <iterator>

std::string ByteCountText(uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " B";
  static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes) / 1000.0;
  size_t unit = 0;
  // 999.95 and more would print as "1000.0": the next unit then.
  while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string DurationText(uint64_t duration_ms) {
  const uint64_t seconds = duration_ms / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  return text;
}
