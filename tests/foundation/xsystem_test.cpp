#include "foundation/xsystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/xmemory.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using platform::GetLastError;
using platform::OSVERSIONINFO;
using platform::SetLastError;
using testing_support::LogCapture;
using testing_support::ScopedEnv;

constexpr char kReportModuleNameTo[] = "VOMBEL_REPORT_MODULE_FILE_NAME_TO";
constexpr char kChildTest[] = "XSystemTest.ModuleFileNameIsTheRunningProgram";

// A hard link to (across file systems: a copy of) `file` whose full path is
// exactly `length` characters long, in a private folder removed afterwards.
class LongNamedCopy {
 public:
  LongNamedCopy(const fs::path& file, size_t length) {
    // Beside the file first, where a hard link costs nothing.
    for (const fs::path& base : {file.parent_path(), fs::temp_directory_path()}) {
      if (TryIn(base, file, length)) return;
      Remove();
    }
  }
  ~LongNamedCopy() { Remove(); }
  LongNamedCopy(const LongNamedCopy&) = delete;
  LongNamedCopy& operator=(const LongNamedCopy&) = delete;

  const fs::path& path() const { return path_; }
  const fs::path& folder() const { return folder_; }

 private:
  bool TryIn(const fs::path& base, const fs::path& file, size_t length) {
    std::string name = (base / "xsystem-test-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) return false;
    std::error_code ec;
    // The kernel reports the resolved path, so the length counts that one.
    folder_ = fs::canonical(name, ec);
    if (ec) {
      folder_ = name;
      return false;
    }
    fs::path at = folder_;
    size_t left = length - std::min(length, at.string().size() + 1);
    if (left == 0) return false;
    while (left > 255) {  // one name may not exceed 255 bytes
      at /= std::string(200, 'd');
      if (!fs::create_directory(at, ec)) return false;
      left -= 201;
    }
    at /= std::string(left, 'f');
    fs::create_hard_link(file, at, ec);
    if (ec && !fs::copy_file(file, at, ec)) return false;
    fs::permissions(at, fs::perms::owner_all, fs::perm_options::add, ec);
    path_ = at;
    return !ec && path_.string().size() == length;
  }

  void Remove() {
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
    folder_.clear();
    path_.clear();
  }

  fs::path folder_;
  fs::path path_;
};

bool SameFile(const char* a, const char* b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

TEST(XSystemTest, GetVersionInfoSetsTheSizeAndReportsNt10) {
  OSVERSIONINFO info{};
  SetLastError(5);
  ASSERT_TRUE(GetVersionInfo(&info));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(info.dwOSVersionInfoSize, 276u);
  EXPECT_EQ(info.dwPlatformId, platform::kVerPlatformWin32Nt);
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
}

TEST(XSystemTest, GetVersionInfoFailureIsLoggedAsSuspicious) {
  LogCapture log;
  SetLastError(0);
  EXPECT_FALSE(GetVersionInfo(nullptr));
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
  EXPECT_TRUE(log.Contains("GetVersionInfo, GetVersionEx: 0x57. Very suspicious."));
}

TEST(XSystemTest, VersionTestsAnswerForEachSystem) {
  // Platform id, major, minor of the systems the tests tell apart; then the
  // answers of: 9x platform, NT platform, Windows 98, 9x 4.90 or later, NT 4
  // or lower, NT 5.0, NT later than 5.0, NT major above 5.
  struct Row {
    const char* system;
    uint32_t platform_id, major, minor;
    bool answers[8];
  } const rows[] = {
      {"95", 1, 4, 0, {true, false, false, false, false, false, false, false}},
      {"98", 1, 4, 10, {true, false, true, false, false, false, false, false}},
      {"Me", 1, 4, 90, {true, false, false, true, false, false, false, false}},
      {"NT 3.51", 2, 3, 51, {false, true, false, false, true, false, false, false}},
      {"NT 4.0", 2, 4, 0, {false, true, false, false, true, false, false, false}},
      {"2000", 2, 5, 0, {false, true, false, false, false, true, false, false}},
      {"XP", 2, 5, 1, {false, true, false, false, false, false, true, false}},
      {"Server 2003", 2, 5, 2, {false, true, false, false, false, false, true, false}},
      {"Vista", 2, 6, 0, {false, true, false, false, false, false, true, true}},
      {"10", 2, 10, 0, {false, true, false, false, false, false, true, true}},
      {"3.1 with Win32s", 0, 3, 10, {false, false, false, false, false, false, false, false}},
  };
  for (const auto& row : rows) {
    OSVERSIONINFO info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwPlatformId = row.platform_id;
    info.dwMajorVersion = row.major;
    info.dwMinorVersion = row.minor;
    const bool answers[8] = {IsWin9xPlatform(info),  IsNtPlatform(info),
                             IsWin98(info),          IsWin9xVersion490OrLater(info),
                             IsNt4OrLower(info),     IsNt50(info),
                             IsNtLaterThan50(info),  IsNtMajorAbove5(info)};
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(answers[i], row.answers[i]) << row.system << ", test " << i;
    }
  }
}

TEST(XSystemTest, VersionTestsOnThisSystemAnswerAsNt10) {
  EXPECT_FALSE(IsWin9xPlatform());
  EXPECT_TRUE(IsNtPlatform());
  EXPECT_FALSE(IsWin98());
  EXPECT_FALSE(IsWin9xVersion490OrLater());
  EXPECT_FALSE(IsNt4OrLower());
  EXPECT_FALSE(IsNt50());
  EXPECT_TRUE(IsNtLaterThan50());
  EXPECT_TRUE(IsNtMajorAbove5());
}

// Also run on its own inside the long-named copy that the next test starts;
// there it writes its answer into the file the parent names.
TEST(XSystemTest, ModuleFileNameIsTheRunningProgram) {
  SetLastError(5);
  char* name = XGetModuleFileName(nullptr);
  ASSERT_NE(name, nullptr) << "last error " << GetLastError();
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(SameFile(name, "/proc/self/exe")) << name;
  if (const char* report = std::getenv(kReportModuleNameTo)) std::ofstream(report) << name;
  XFree(name);

  SetLastError(0);
  EXPECT_EQ(XGetModuleFileName(reinterpret_cast<platform::HMODULE>(0x1000)), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorModNotFound);
}

TEST(XSystemTest, ModuleFileNameOf300CharactersComesBackWhole) {
  // The name outgrows the first buffer (261) and fits the second (325).
  const LongNamedCopy copy(fs::read_symlink("/proc/self/exe"), 300);
  ASSERT_EQ(copy.path().string().size(), 300u) << "could not make a 300-character path";
  const std::string report = (copy.folder() / "report").string();

  std::vector<std::string> env_texts;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "GTEST_", 6) != 0) env_texts.emplace_back(*e);
  }
  env_texts.push_back(std::string(kReportModuleNameTo) + "=" + report);
  std::vector<char*> envp;
  for (auto& text : env_texts) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::string program = copy.path().string();
  std::string filter = std::string("--gtest_filter=") + kChildTest;
  char* argv[] = {program.data(), filter.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_EQ(spawned, 0) << std::strerror(spawned);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the long-named copy failed its own test (wait status " << status << ")";

  std::ifstream in(report);
  std::stringstream reported;
  reported << in.rdbuf();
  EXPECT_EQ(reported.str(), copy.path().string());
}

TEST(XSystemTest, TempPathHelperFollowsTmpdir) {
  struct Row {
    std::optional<std::string> tmpdir;
    std::string expected;
  } const rows[] = {
      {std::nullopt, "/tmp/"},
      {"/var/cache/vombel", "/var/cache/vombel/"},
      {"/var/cache/vombel/", "/var/cache/vombel/"},
  };
  for (const auto& row : rows) {
    ScopedEnv env("TMPDIR", row.tmpdir);
    LogCapture log;
    SetLastError(5);
    char* path = GetTempPath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::string(path), row.expected);
    EXPECT_FALSE(log.Contains("Suspicious")) << row.expected;
    XFree(path);
  }
}

TEST(XSystemTest, ExpandEnvironmentStringsHelper) {
  ScopedEnv home("VOMBEL_TEST_HOME", "/home/tester");
  ScopedEnv unset("VOMBEL_TEST_UNSET", std::nullopt);
  const std::string long_value(5000, 'v');  // past any first guess of a size
  ScopedEnv big("VOMBEL_TEST_BIG", long_value);
  struct Row {
    const char* in;
    std::string expected;
  } const rows[] = {
      {"%VOMBEL_TEST_HOME%/.config", "/home/tester/.config"},
      {"%VOMBEL_TEST_UNSET%/x", "%VOMBEL_TEST_UNSET%/x"},
      {"<%VOMBEL_TEST_BIG%>", "<" + long_value + ">"},
      {"", ""},
  };
  for (const auto& row : rows) {
    SetLastError(5);
    char* expanded = XExpandEnvironmentStrings(row.in);
    ASSERT_NE(expanded, nullptr) << row.in;
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::string(expanded), row.expected);
    XFree(expanded);
  }
  SetLastError(0);
  EXPECT_EQ(XExpandEnvironmentStrings(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
}

}  // namespace
