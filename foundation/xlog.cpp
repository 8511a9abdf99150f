#include "foundation/xlog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "platform/debug_output.h"
#include "platform/diagnostics.h"
#include "platform/heap.h"
#include "platform/win32_error.h"

namespace {

// The sink and its context change together, and only while no line is
// being handed to the old pair: whoever uninstalls a sink may free its
// context (close its file) the moment XLogSetSink returns, while other
// threads go on logging.
struct SinkSlot {
  XLogSink sink = nullptr;
  void* context = nullptr;
};
std::shared_mutex g_sink_lock;
SinkSlot g_sink_slot;
std::atomic<uint16_t> g_threshold{0};

constexpr uint16_t kMaxLevel = 3;

uint16_t Clamp(unsigned level) {
  const auto low = static_cast<uint16_t>(level);
  return low > kMaxLevel ? kMaxLevel : low;
}

void Format(const char* format, va_list args) {
  platform::LastErrorPreserver preserve;
  if (format == nullptr) {
    format = "XLog: <Null>.";
  } else if (!platform::IsReadableString(format)) {
    format = "XLog: <BadPtr>.";
  }

  va_list measure;
  va_copy(measure, args);
  const int n = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (n < 0) {
    XLogString("XLog: Cannot format message.");
    return;
  }
  const size_t size = static_cast<size_t>(n) + 2;
  auto* buffer = static_cast<char*>(platform::LocalAlloc(size));
  if (buffer == nullptr) {
    XLogString("XLog: Not enough memory to log message.");
    return;
  }
  const int written = std::vsnprintf(buffer, size, format, args);
  if (written < 0) {
    XLogString("XLog: Cannot format message.");
  } else {
    if (written != n) XLogString("XLog: Suspicious state.");
    buffer[static_cast<size_t>(written) < size ? written : size - 1] = '\0';
    XLogString(buffer);
  }
  platform::LocalFree(buffer);
}

// What the platform layer reports goes into this trace, filtered like every
// other line. Installed when this file's objects are initialised, which any
// program that uses the trace (or sets its sink) does before its first line.
void FromPlatform(unsigned level, const char* line) { XLogLevel(level, "%s", line); }

static_assert(platform::kDiagnosticTrace == kXLogTrace && platform::kDiagnosticWarning == kXLogWarning &&
              platform::kDiagnosticError == kXLogError);

const bool g_platform_hooked = [] {
  platform::SetDiagnosticsHook(&FromPlatform);
  return true;
}();

}  // namespace

bool XLogPasses(unsigned level) {
  const uint16_t clamped = Clamp(level);
  const uint16_t threshold = g_threshold.load(std::memory_order_relaxed);
  // Threshold 0 is the default: everything but trace. Above it, the usual
  // "this level and up" with trace counted as the lowest.
  if (threshold == 0) return clamped != kXLogTrace;
  if (threshold == 1) return true;
  return clamped >= threshold;
}

void XLogString(const char* text) {
  platform::LastErrorPreserver preserve;
  if (text == nullptr) text = "XLogString: <Null>.";
  {
    std::shared_lock lock(g_sink_lock);
    if (g_sink_slot.sink != nullptr) {
      g_sink_slot.sink(text, g_sink_slot.context);
      return;
    }
  }
  const size_t length = std::strlen(text);
  auto* line = static_cast<char*>(platform::LocalAlloc(length + 4));
  if (line == nullptr) {
    platform::OutputDebugString("XLogString: Not enough memory to log message.\n");
    return;
  }
  std::memcpy(line, text, length);
  std::memcpy(line + length, "\n", 2);
  platform::OutputDebugString(line);
  platform::LocalFree(line);
}

void XLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Format(format, args);
  va_end(args);
}

int XLogLevel(unsigned level, const char* format, ...) {
  if (!XLogPasses(level)) return 0;
  va_list args;
  va_start(args, format);
  Format(format, args);
  va_end(args);
  return 1;
}

void XLogSetSink(XLogSink sink, void* context) {
  static_cast<void>(g_platform_hooked);
  std::unique_lock lock(g_sink_lock);
  g_sink_slot = SinkSlot{sink, context};
}

void XLogSetThreshold(unsigned level) {
  g_threshold.store(level > kMaxLevel ? kMaxLevel : static_cast<uint16_t>(level),
                    std::memory_order_relaxed);
}

uint16_t XLogGetThreshold() { return g_threshold.load(std::memory_order_relaxed); }

void XLogHexDump(const void* data, size_t length, const char* caption) {
  if (data == nullptr || length == 0 || length > 65535) return;
  if (!XLogPasses(kXLogTrace)) return;
  platform::LastErrorPreserver preserve;

  static constexpr char kDigits[] = "0123456789abcdef";
  constexpr size_t kPerLine = 64;
  const auto* bytes = static_cast<const unsigned char*>(data);
  const size_t caption_length = caption != nullptr ? std::strlen(caption) : 0;
  for (size_t offset = 0; offset < length; offset += kPerLine) {
    const size_t count = length - offset < kPerLine ? length - offset : kPerLine;
    // The caption (or "0x%04x: ", at most 9 characters here) + "xx " per byte.
    const size_t size = (caption_length > 9 ? caption_length : 9) + 3 * count + 1;
    auto* line = static_cast<char*>(platform::LocalAlloc(size));
    if (line == nullptr) {
      XLogString("XLog: Not enough memory to log message.");
      return;
    }
    size_t at;
    if (caption != nullptr) {
      std::memcpy(line, caption, caption_length);
      at = caption_length;
    } else {
      at = static_cast<size_t>(std::snprintf(line, size, "0x%04zx: ", offset));
    }
    for (size_t i = 0; i < count; ++i) {
      line[at++] = kDigits[bytes[offset + i] >> 4];
      line[at++] = kDigits[bytes[offset + i] & 0x0F];
      line[at++] = ' ';
    }
    line[at] = '\0';
    XLogLevel(kXLogTrace, "%s", line);
    platform::LocalFree(line);
  }
}
