// The one question detection asks a serial port it does not know: does it
// answer "AT"? The port is opened exclusively (a port another program holds
// is left alone, nothing is written to it), "AT\r" is written once, and the
// answer is awaited for a short while on the platform clock. Nothing else is
// ever sent to such a port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What arrived so far in answer to "AT\r".
enum class ProbeAnswer {
  kPending,  // no final result yet (nothing, the echo, unsolicited lines)
  kOk,       // an "OK" line: the port speaks AT
  kFailed,   // a final result other than OK: it will not say OK any more
};

// Reads the bytes received since "AT\r" went out, a line at a time (CR and
// LF both end a line; surrounding blanks do not count). Pure; any bytes.
ProbeAnswer ReadProbeAnswer(std::string_view received);

enum class PortProbeResult {
  kAnswered,     // said OK in time
  kSilent,       // took "AT\r" but said no OK in time (or said ERROR)
  kBusy,         // another program holds the port: nothing was written
  kNotSerial,    // opened, but not a serial line (no line settings): nothing was written
  kUnavailable,  // could not be opened (absent, gone, no permission)
};

// How long a port has to answer.
inline constexpr uint32_t kPortProbeWaitMs = 500;

// Probes the port at `path` (a file-system path) as described above. Blocks
// the calling thread for at most `wait_ms` on the platform clock, plus the
// bounded write.
PortProbeResult ProbePort(const std::string& path, uint32_t wait_ms = kPortProbeWaitMs);

// "answered", "silent", ... for the trace.
const char* PortProbeResultName(PortProbeResult result);
