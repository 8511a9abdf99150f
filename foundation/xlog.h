// The process-wide trace: every layer logs through these functions. A line is
// filtered by level before any formatting work, formatted into one heap block
// and handed to the sink (standard error when none is installed). Logging
// never changes the caller's last-error value.
#pragma once

#include <cstddef>
#include <cstdint>

using XLogSink = void (*)(const char* line, void* context);

inline constexpr uint16_t kXLogInformation = 0;
inline constexpr uint16_t kXLogTrace = 1;
inline constexpr uint16_t kXLogWarning = 2;
inline constexpr uint16_t kXLogError = 3;

void XLogString(const char* text);
void XLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Nonzero when the line passed the level filter.
int XLogLevel(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Replaces the sink. Returns once no thread is still inside the previous one,
// so its context may be freed then. A sink must neither log nor set a sink.
void XLogSetSink(XLogSink sink, void* context);
void XLogSetThreshold(unsigned level);
uint16_t XLogGetThreshold();

// Logs `length` bytes as hexadecimal at trace level, 64 bytes a line, each line
// starting with `caption` (or the offset when caption is null).
void XLogHexDump(const void* data, size_t length, const char* caption);

// True when a line of `level` would pass the filter now.
bool XLogPasses(unsigned level);
