#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/xlog.h"
#include "platform/diagnostics.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"

namespace {

using testing_support::LogCapture;

TEST(XLogTest, LevelFilterFollowsTheThresholdTable) {
  // Rows: threshold, then whether levels 0..3 pass.
  struct Row {
    unsigned threshold;
    bool passes[4];
  } const rows[] = {
      {0, {true, false, true, true}},
      {1, {true, true, true, true}},
      {2, {false, false, true, true}},
      {3, {false, false, false, true}},
  };
  for (const auto& row : rows) {
    LogCapture log(row.threshold);
    for (unsigned level = 0; level < 4; ++level) {
      EXPECT_EQ(XLogLevel(level, "level %u", level), row.passes[level] ? 1 : 0)
          << "threshold " << row.threshold << " level " << level;
      EXPECT_EQ(log.Contains("level " + std::to_string(level)), row.passes[level]);
    }
  }
}

TEST(XLogTest, LevelsAboveThreeCountAsErrorsOnTheirLow16Bits) {
  LogCapture log(3);
  EXPECT_EQ(XLogLevel(7, "seven"), 1);
  // 0x10001 is level 1 in its low 16 bits: dropped at threshold 3.
  EXPECT_EQ(XLogLevel(0x10001, "wrapped"), 0);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"seven"});
}

TEST(XLogTest, ThresholdIsClampedToThree) {
  LogCapture log(9);
  EXPECT_EQ(XLogGetThreshold(), 3);
}

TEST(XLogTest, UnlevelledLinesAreNeverFiltered) {
  LogCapture log(3);
  XLog("plain %d", 5);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"plain 5"});
}

// These hand the trace formats that are no literals on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
TEST(XLogTest, NullAndUnreadableFormatsAreReplaced) {
  LogCapture log;
  const char* null_format = nullptr;
  XLog(null_format);
  // A page we map and then protect: reading it would fault.
  const long page = sysconf(_SC_PAGESIZE);
  void* guard = mmap(nullptr, static_cast<size_t>(page), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(guard, MAP_FAILED);
  XLog(static_cast<const char*>(guard));
  munmap(guard, static_cast<size_t>(page));
  XLogString(nullptr);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"XLog: <Null>.", "XLog: <BadPtr>.",
                                                    "XLogString: <Null>."}));
}
#pragma GCC diagnostic pop

TEST(XLogTest, LoggingKeepsTheCallersLastError) {
  LogCapture log;
  platform::SetLastError(1234);
  XLog("a %s", "b");
  XLogLevel(3, "c");
  XLogLevel(1, "d");
  XLogString("e");
  const unsigned char bytes[3] = {1, 2, 3};
  XLogHexDump(bytes, sizeof bytes, "x: ");
  EXPECT_EQ(platform::GetLastError(), 1234u);
}

TEST(XLogTest, LongLinesAreFormattedWhole) {
  LogCapture log;
  const std::string long_text(5000, 'q');
  XLog("<%s>", long_text.c_str());
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "<" + long_text + ">");
}

TEST(XLogHexDumpTest, SplitsIntoLinesOf64BytesEachWithTheCaption) {
  LogCapture log;
  std::vector<unsigned char> bytes(130);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i + 0xA0);
  XLogHexDump(bytes.data(), bytes.size(), "Port read: ");
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), std::string("Port read: ").size() + 64 * 3);
  EXPECT_EQ(lines[1].size(), std::string("Port read: ").size() + 64 * 3);
  EXPECT_EQ(lines[2], "Port read: 20 21 ");
  EXPECT_EQ(lines[0].substr(0, 20), "Port read: a0 a1 a2 ");
  EXPECT_EQ(lines[1].substr(0, 17), "Port read: e0 e1 ");
}

TEST(XLogHexDumpTest, WithoutCaptionEachLineStartsWithItsOffset) {
  LogCapture log;
  std::vector<unsigned char> bytes(65, 0xFF);
  XLogHexDump(bytes.data(), bytes.size(), nullptr);
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 11), "0x0000: ff ");
  EXPECT_EQ(lines[1], "0x0040: ff ");
}

TEST(XLogHexDumpTest, EmptyNullOversizedAndFilteredDumpsLogNothing) {
  const unsigned char byte = 1;
  {
    LogCapture log;
    XLogHexDump(&byte, 0, "c: ");
    XLogHexDump(nullptr, 4, "c: ");
    XLogHexDump(&byte, 65536, "c: ");  // never read: the length alone refuses it
    EXPECT_TRUE(log.Lines().empty());
  }
  {
    LogCapture log(0);  // trace lines are dropped at the default threshold
    XLogHexDump(&byte, 1, "c: ");
    EXPECT_TRUE(log.Lines().empty());
  }
}

TEST(XLogTest, WithoutASinkLinesGoToStandardError) {
  const uint16_t threshold = XLogGetThreshold();
  XLogSetSink(nullptr, nullptr);
  testing::internal::CaptureStderr();
  XLog("to stderr %d", 7);
  XLogString("second");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr 7\nsecond\n");
  XLogSetThreshold(threshold);
}

// Whoever uninstalls a sink may free what it writes to at once: no thread
// may still be inside it, nor call it later with the old context.
TEST(XLogTest, AReplacedSinkIsNeverCalledAgain) {
  struct Target {
    std::atomic<bool> open{true};
    std::atomic<int> calls{0};
    std::atomic<int> late{0};
  };
  const XLogSink sink = [](const char*, void* context) {
    auto* target = static_cast<Target*>(context);
    ++target->calls;
    // A sink takes its time (a write to a file): still inside it, the
    // target must still be open.
    for (int i = 0; i < 100 && target->open; ++i) std::this_thread::yield();
    if (!target->open) ++target->late;
  };
  const XLogSink elsewhere = [](const char*, void*) {};
  std::atomic<bool> stop{false};
  std::thread logger([&] {
    while (!stop) XLogString("line");
  });
  // Kept alive to the end, so a late call is counted rather than a crash.
  std::vector<std::unique_ptr<Target>> targets;
  for (int i = 0; i < 200; ++i) {
    targets.push_back(std::make_unique<Target>());
    XLogSetSink(sink, targets.back().get());
    while (targets.back()->calls == 0) std::this_thread::yield();
    XLogSetSink(elsewhere, nullptr);
    targets.back()->open = false;
  }
  stop = true;
  logger.join();
  XLogSetSink(nullptr, nullptr);
  int late = 0;
  for (const auto& target : targets) late += target->late;
  EXPECT_EQ(late, 0);
}

TEST(XLogTest, ConcurrentLoggersLoseNoLine) {
  LogCapture log;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 250; ++i) XLogLevel(1, "thread %d line %d", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(log.Lines().size(), 1000u);
  EXPECT_EQ(log.Count("thread 3 line 249"), 1u);
}

}  // namespace

namespace {

TEST(XLogTest, PlatformDiagnosticsReachTheTraceThroughItsLevelFilter) {
  LogCapture log(2);
  platform::SetLastError(87);
  platform::ReportDiagnostic(platform::kDiagnosticWarning, "Platform warning %d.", 7);
  platform::ReportDiagnostic(platform::kDiagnosticTrace, "Platform trace line.");
  EXPECT_EQ(platform::GetLastError(), 87u);
  EXPECT_TRUE(log.Contains("Platform warning 7."));
  EXPECT_FALSE(log.Contains("Platform trace line."));
}

}  // namespace
