#include "devicelib/cli/connection_report.h"

#include <cstdio>

#include "devicelib/device_states.h"

namespace vombel_device {

std::string ConnectionStateText(int state) {
  switch (state) {
    case GSM::ConnectionState::Disconnected: return "disconnected";
    case GSM::ConnectionState::Connecting: return "connecting";
    case GSM::ConnectionState::Connected: return "connected";
    case GSM::ConnectionState::Disconnecting: return "disconnecting";
    default: return "state " + std::to_string(state);
  }
}

std::string ByteCountText(uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " B";
  static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1000.0;
  size_t unit = 0;
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

std::string TrafficLine(uint32_t bytes_sent, uint32_t bytes_received, uint64_t duration_ms) {
  return "sent " + ByteCountText(bytes_sent) + ", received " + ByteCountText(bytes_received) + ", up " +
         DurationText(duration_ms);
}

}  // namespace vombel_device
