// How the platform layer reports what it tolerates or gives up on (a damaged
// registry file, a refused connection). The platform has no trace of its own:
// the layer that owns the process-wide trace installs a hook here, and until
// it does, lines go to the debug output.
#pragma once

namespace platform {

// Levels as the trace counts them.
inline constexpr unsigned kDiagnosticInformation = 0;
inline constexpr unsigned kDiagnosticTrace = 1;
inline constexpr unsigned kDiagnosticWarning = 2;
inline constexpr unsigned kDiagnosticError = 3;

// Receives one formatted line (no line end) at `level`. It must not report
// diagnostics itself and must leave the caller's last error alone.
using DiagnosticsHook = void (*)(unsigned level, const char* line);

// Installs `hook` and returns the one it replaces; null restores the default
// (the debug output). Safe from any thread.
DiagnosticsHook SetDiagnosticsHook(DiagnosticsHook hook);

// Formats and reports one line through the installed hook. Keeps the
// caller's last error.
void ReportDiagnostic(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace platform
