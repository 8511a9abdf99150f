// Parsers of what /sys/class/net/<interface>/ says about a network
// interface: its link-layer type ("type", an ARPHRD_* number), its
// operational state ("operstate") and its byte counters
// ("statistics/rx_bytes", "statistics/tx_bytes"), turned into the values of
// the IP helper's records. Text in, values out; the Linux IP helper reads
// the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// "1\n" (ARPHRD_ETHER) → MIB_IF_TYPE_ETHERNET, "512" (ARPHRD_PPP) →
// MIB_IF_TYPE_PPP, "772" (ARPHRD_LOOPBACK) → MIB_IF_TYPE_LOOPBACK; every
// other type, and text that is no number, → MIB_IF_TYPE_OTHER.
uint32_t InterfaceTypeFromText(std::string_view type_text);

// "up" is operational, "dormant" and "testing" are connecting, "down" and
// "lowerlayerdown" disconnected, "notpresent" and anything unknown to us
// non-operational. "unknown" is what drivers that keep no state report (the
// loopback, ppp, tun): it follows the interface flags instead, operational
// when the interface is up and running, disconnected otherwise.
uint32_t OperStatusFromText(std::string_view operstate_text, bool up_and_running);

// A counter file: one decimal number of up to 64 bits and its line end;
// anything else (an empty file, a sign, a number too big) is nullopt.
std::optional<uint64_t> ParseCounterText(std::string_view text);

}  // namespace platform
