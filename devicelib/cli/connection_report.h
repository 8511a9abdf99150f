// What vombel-device prints about a data connection: its state, its
// address and its traffic. Pure functions of the values.
#pragma once

#include <cstdint>
#include <string>

namespace vombel_device {

std::string ConnectionStateText(int state);
// "1.2 kB", "34.0 MB": bytes in the largest unit that keeps a digit before
// the point (1000 bytes a kB).
std::string ByteCountText(uint64_t bytes);
// "0:00:05": hours, minutes, seconds of `duration_ms`.
std::string DurationText(uint64_t duration_ms);
std::string TrafficLine(uint32_t bytes_sent, uint32_t bytes_received, uint64_t duration_ms);

}  // namespace vombel_device
