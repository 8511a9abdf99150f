// What vombel-device prints about a data connection: its state, its
// address and its traffic. Pure functions of the values.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/traffic_text.h"

namespace vombel_device {

std::string ConnectionStateText(int state);
// The byte counts and the time as foundation/traffic_text.h writes them.
using ::ByteCountText;
using ::DurationText;
std::string TrafficLine(uint32_t bytes_sent, uint32_t bytes_received, uint64_t duration_ms);

}  // namespace vombel_device
