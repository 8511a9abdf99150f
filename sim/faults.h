// Misbehaviour on demand: what a card does wrong when a test or a person asks
// it to, for one command (by name, "+CSQ", "E", "D"), or for every command
// ("*").
#pragma once

#include <cstdint>

namespace sim {

enum class FaultKind {
  kSilent,     // echoes, then never answers
  kLate,       // answers after `delay_ms` on the platform clock
  kGarbage,    // answers a line of noise and no final result
  kOverlong,   // puts a line longer than any buffer before the answer
  kDropFinal,  // answers the information lines but no final result
  kError,      // answers plain "ERROR"
  kPull,       // sends half of the answer, then the card is pulled
};

struct Fault {
  FaultKind kind = FaultKind::kSilent;
  uint32_t delay_ms = 0;
  bool once = false;  // forgotten after it struck once
  uint32_t passes = 0;  // commands it lets through before it strikes (the third part of a message, say)
};

// The length of the over-long line: beyond what any line buffer takes.
inline constexpr size_t kOverlongLineBytes = 1100;

}  // namespace sim
