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

std::string TrafficLine(uint32_t bytes_sent, uint32_t bytes_received, uint64_t duration_ms) {
  return "sent " + ::ByteCountText(bytes_sent) + ", received " + ::ByteCountText(bytes_received) + ", up " +
         ::DurationText(duration_ms);
}

}  // namespace vombel_device
