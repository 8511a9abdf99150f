// Where log lines go when no sink is installed: standard error.
#pragma once

namespace platform {

// Writes `text` to standard error in one write, so lines of concurrent
// threads do not interleave.
void OutputDebugString(const char* text);

// True when `text` points to readable memory up to and including its
// terminating zero; never faults.
bool IsReadableString(const char* text);

}  // namespace platform
