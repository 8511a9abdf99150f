#include "app/log_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/xlog.h"
#include "platform/thread.h"
#include "platform/win32_error.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

TEST(LogFileTest, PathIsTheTemporaryFolderAndTitle) {
  ScopedEnv tmp("TMPDIR", "/var/tmp/x");
  EXPECT_EQ(CLogFile::PathFor(u"Vombel Connect"), "/var/tmp/x/Vombel Connect.txt");
}

TEST(LogFileTest, PrefixIsTickCountAndThreadId) {
  EXPECT_EQ(CLogFile::Prefix(12345, 0x1a2b), "12345: [0x1a2b] ");
  EXPECT_EQ(CLogFile::Prefix(4294967295u, 0xffffffffu), "4294967295: [0xffffffff] ");
}

TEST(LogFileTest, WritesPrefixedUtf8LinesWithCrLfAndEmptiesAnOldFile) {
  TempDir dir;
  const std::string path = dir.Path() + "/log.txt";
  std::ofstream(path) << "old content of an earlier run\n";
  {
    CLogFile log;
    ASSERT_EQ(log.Open(path), 0u);
    log.Install();
    platform::SetLastError(1234);
    XLog("Operating system: %s", "Straße ünd 日本");
    EXPECT_EQ(platform::GetLastError(), 1234u);
    XLogString("");
    log.Close();
    XLog("after close: not in the file");
  }
  const std::vector<std::string> lines = CrLfLines(Contents(path));
  ASSERT_EQ(lines.size(), 2u);
  const std::string thread = "\\[0x" + [] {
    std::ostringstream hex;
    hex << std::hex << platform::GetCurrentThreadId();
    return hex.str();
  }() + "\\] ";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("[0-9]+: " + thread + "Operating system: Straße ünd 日本")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex("[0-9]+: " + thread))) << lines[1];

  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(LogFileTest, RefusesWhatIsNotOurOwnFile) {
  TempDir dir;
  const std::string target = dir.Path() + "/victim";
  std::ofstream(target) << "keep me";
  const std::string link = dir.Path() + "/log.txt";
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  CLogFile log;
  EXPECT_EQ(log.Open(link), platform::kErrorAccessDenied);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(Contents(target), "keep me");

  ASSERT_EQ(::mkdir((dir.Path() + "/folder.txt").c_str(), 0700), 0);
  EXPECT_NE(log.Open(dir.Path() + "/folder.txt"), 0u);
  EXPECT_EQ(log.Open(dir.Path() + "/missing/log.txt"), platform::kErrorFileNotFound);
  EXPECT_EQ(log.Open(""), platform::kErrorPathNotFound);
  EXPECT_FALSE(log.IsOpen());
}

TEST(LogFileTest, ASecondWriterIsRefusedAndTheFirstLogKept) {
  TempDir dir;
  const std::string path = dir.Path() + "/log.txt";
  CLogFile first;
  ASSERT_EQ(first.Open(path), 0u);
  first.Write("first");
  CLogFile second;
  EXPECT_EQ(second.Open(path), platform::kErrorSharingViolation);
  EXPECT_EQ(platform::GetLastError(), platform::kErrorSharingViolation);
  EXPECT_EQ(CrLfLines(Contents(path)).size(), 1u);
  first.Close();
  EXPECT_EQ(second.Open(path), 0u);
  EXPECT_EQ(Contents(path), "");
}

TEST(LogFileTest, LinesOfConcurrentThreadsStayWhole) {
  TempDir dir;
  const std::string path = dir.Path() + "/log.txt";
  CLogFile log;
  ASSERT_EQ(log.Open(path), 0u);
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  const std::string text(300, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kLines; ++i) log.Write(text);
    });
  }
  for (auto& thread : threads) thread.join();
  const std::vector<std::string> lines = CrLfLines(Contents(path));
  ASSERT_EQ(lines.size(), size_t{kThreads * kLines});
  for (const auto& line : lines) ASSERT_TRUE(line.ends_with("] " + text)) << line;
}

}  // namespace
