// How a connection's traffic reads, for the window and for vombel-device
// alike. Pure functions of the values.
#pragma once

#include <cstdint>
#include <string>

// "999 B", "1.2 kB", "34.0 MB": bytes in the largest unit that keeps a digit
// before the point (1000 bytes a kB).
std::string ByteCountText(uint64_t bytes);
// "0:00:05", "1:02:03": hours, minutes and seconds of `duration_ms`.
std::string DurationText(uint64_t duration_ms);
