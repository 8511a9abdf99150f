#include "platform/diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32_error.h"

namespace {

std::vector<std::pair<unsigned, std::string>>* g_seen = nullptr;

void Collect(unsigned level, const char* line) {
  platform::SetLastError(1234);  // a careless hook must not leak into the caller
  g_seen->emplace_back(level, line);
}

TEST(DiagnosticsTest, InstalledHookGetsFormattedLinesAndTheCallerKeepsItsLastError) {
  std::vector<std::pair<unsigned, std::string>> seen;
  g_seen = &seen;
  const platform::DiagnosticsHook previous = platform::SetDiagnosticsHook(&Collect);
  platform::SetLastError(5);
  platform::ReportDiagnostic(platform::kDiagnosticWarning, "file %s, %zu line(s)", "a.reg", size_t{3});
  platform::ReportDiagnostic(platform::kDiagnosticError, "%s", std::string(3000, 'x').c_str());
  EXPECT_EQ(platform::GetLastError(), 5u);
  EXPECT_EQ(platform::SetDiagnosticsHook(previous), &Collect);
  g_seen = nullptr;

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(platform::kDiagnosticWarning, std::string("file a.reg, 3 line(s)")));
  EXPECT_EQ(seen[1].first, platform::kDiagnosticError);
  EXPECT_EQ(seen[1].second, std::string(3000, 'x'));
}

TEST(DiagnosticsTest, NullHookRestoresTheDebugOutput) {
  const platform::DiagnosticsHook previous = platform::SetDiagnosticsHook(nullptr);
  const platform::DiagnosticsHook fallback = platform::SetDiagnosticsHook(previous);
  EXPECT_NE(fallback, nullptr);
  EXPECT_NE(fallback, previous);
}

}  // namespace
