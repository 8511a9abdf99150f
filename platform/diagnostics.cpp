#include "platform/diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/debug_output.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

void ToDebugOutput(unsigned, const char* line) {
  std::string text(line);
  text += '\n';
  OutputDebugString(text.c_str());
}

std::atomic<DiagnosticsHook> g_hook{&ToDebugOutput};

}  // namespace

DiagnosticsHook SetDiagnosticsHook(DiagnosticsHook hook) {
  return g_hook.exchange(hook != nullptr ? hook : &ToDebugOutput, std::memory_order_acq_rel);
}

void ReportDiagnostic(unsigned level, const char* format, ...) {
  LastErrorPreserver preserve;
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int n = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string line;
  if (n < 0) {
    line = "Diagnostics: cannot format message.";
  } else {
    line.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    line.resize(static_cast<size_t>(n));
  }
  va_end(args);
  g_hook.load(std::memory_order_acquire)(level, line.c_str());
}

}  // namespace platform
