#include "platform/system_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "platform/text.h"
#include "platform/win32_error.h"
#include "tests/support/scoped_env.h"

namespace platform {
namespace {

using testing_support::ScopedEnv;

bool SameFile(const char* a, const char* b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

TEST(SystemInfoTest, TempPathFollowsTmpdirWithATrailingSlash) {
  struct Row {
    std::optional<std::string> tmpdir;
    std::string expected;
  } const rows[] = {
      {std::nullopt, "/tmp/"},
      {"", "/tmp/"},
      {"/var/tmp", "/var/tmp/"},
      {"/var/tmp/", "/var/tmp/"},
      {"/home/user/my temp", "/home/user/my temp/"},
  };
  for (const auto& row : rows) {
    ScopedEnv env("TMPDIR", row.tmpdir);
    const uint32_t needed = GetTempPath(0, nullptr);
    ASSERT_EQ(needed, row.expected.size() + 1) << row.expected;
    std::string path(needed, '#');
    EXPECT_EQ(GetTempPath(needed, path.data()), needed - 1);
    EXPECT_EQ(path.c_str(), row.expected);
  }
}

TEST(SystemInfoTest, TempPathIntoAShortBufferAnswersTheSizeAndWritesNothing) {
  ScopedEnv env("TMPDIR", "/srv/scratch");
  char buffer[13];
  std::memset(buffer, '#', sizeof buffer);
  // "/srv/scratch/" is 13 bytes; the terminator does not fit.
  EXPECT_EQ(GetTempPath(sizeof buffer, buffer), 14u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(13, '#'));

  SetLastError(0);
  EXPECT_EQ(GetTempPath(5, nullptr), 0u);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST(SystemInfoTest, ModuleFileNameIsTheRunningProgram) {
  char name[4096];
  const uint32_t length = GetModuleFileName(nullptr, name, sizeof name);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, std::strlen(name));
  EXPECT_EQ(name[0], '/');
  EXPECT_TRUE(SameFile(name, "/proc/self/exe")) << name;
}

TEST(SystemInfoTest, ModuleFileNameIsCutToAShortBuffer) {
  char full[4096];
  const uint32_t length = GetModuleFileName(nullptr, full, sizeof full);
  ASSERT_GT(length, 5u);

  struct Row {
    uint32_t size;
    uint32_t result;
    uint32_t error;
  } const rows[] = {
      {0, 0, kErrorInsufficientBuffer},
      {5, 5, kErrorInsufficientBuffer},
      {length, length, kErrorInsufficientBuffer},  // no room for the terminator
      {length + 1, length, 0},
  };
  for (const auto& row : rows) {
    char buffer[4096];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileName(nullptr, buffer, row.size), row.result) << "size " << row.size;
    EXPECT_EQ(GetLastError(), row.error) << "size " << row.size;
    if (row.size == 0) {
      EXPECT_EQ(buffer[0], '#');
    } else {
      EXPECT_EQ(std::string(buffer), std::string(full, std::min(length, row.size - 1)))
          << "size " << row.size;
    }
  }
}

TEST(SystemInfoTest, ModuleFileNameOfOtherModulesAndBadBuffers) {
  char buffer[64];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileName(reinterpret_cast<HMODULE>(0x1000), buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), kErrorModNotFound);
  SetLastError(0);
  EXPECT_EQ(GetModuleFileName(nullptr, nullptr, 64), 0u);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST(SystemInfoTest, VersionIsTheNewestNtSystem) {
  OSVERSIONINFO info;
  std::memset(&info, 0xAB, sizeof info);
  info.dwOSVersionInfoSize = 276;
  ASSERT_TRUE(GetVersionEx(&info));
  EXPECT_EQ(info.dwOSVersionInfoSize, 276u);
  EXPECT_EQ(info.dwPlatformId, 2u);
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  EXPECT_EQ(info.dwBuildNumber, kReportedBuildNumber);

  // The service-pack text names the kernel, and is terminated within the field.
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  const std::u16string csd(info.szCSDVersion,
                           std::char_traits<char16_t>::length(info.szCSDVersion));
  ASSERT_LT(csd.size(), std::size(info.szCSDVersion));
  EXPECT_EQ(Utf16ToUtf8(csd), std::string(names.sysname) + " " + names.release);
}

TEST(SystemInfoTest, VersionRecordOfAnotherSizeOrNoneIsRefused) {
  struct Row {
    uint32_t size;
  } const rows[] = {{0}, {148}, {275}, {284}};
  for (const auto& row : rows) {
    OSVERSIONINFO info{};
    info.dwOSVersionInfoSize = row.size;
    SetLastError(0);
    EXPECT_FALSE(GetVersionEx(&info)) << row.size;
    EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer) << row.size;
    EXPECT_EQ(info.dwPlatformId, 0u) << "nothing filled in for size " << row.size;
  }
  SetLastError(0);
  EXPECT_FALSE(GetVersionEx(nullptr));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST(SystemInfoTest, ExpandEnvironmentStringsTable) {
  ScopedEnv a("VOMBEL_TEST_A", "alpha");
  ScopedEnv empty("VOMBEL_TEST_EMPTY", "");
  ScopedEnv percent("VOMBEL_TEST_PERCENT", "%VOMBEL_TEST_A%");
  ScopedEnv unset("VOMBEL_TEST_UNSET", std::nullopt);
  struct Row {
    const char* in;
    std::string expected;
  } const rows[] = {
      {"", ""},
      {"no references", "no references"},
      {"%VOMBEL_TEST_A%/log.txt", "alpha/log.txt"},
      {"%VOMBEL_TEST_A%%VOMBEL_TEST_A%", "alphaalpha"},
      {"[%VOMBEL_TEST_EMPTY%]", "[]"},
      {"%VOMBEL_TEST_UNSET%", "%VOMBEL_TEST_UNSET%"},
      // The closing '%' of an unknown name opens the next one.
      {"%VOMBEL_TEST_UNSET%VOMBEL_TEST_A%", "%VOMBEL_TEST_UNSETalpha"},
      {"100%", "100%"},
      {"100%% sure", "100%% sure"},
      {"%=x%", "%=x%"},
      {"%%VOMBEL_TEST_A%", "%alpha"},
      // A value is not expanded again.
      {"%VOMBEL_TEST_PERCENT%", "%VOMBEL_TEST_A%"},
  };
  for (const auto& row : rows) {
    const uint32_t needed = ExpandEnvironmentStrings(row.in, nullptr, 0);
    ASSERT_EQ(needed, row.expected.size() + 1) << row.in;
    std::string out(needed, '#');
    EXPECT_EQ(ExpandEnvironmentStrings(row.in, out.data(), needed), needed) << row.in;
    EXPECT_EQ(out.c_str(), row.expected) << row.in;
  }
}

TEST(SystemInfoTest, ExpandEnvironmentStringsIntoAShortBufferWritesNothing) {
  ScopedEnv a("VOMBEL_TEST_A", "alpha");
  char out[6];
  std::memset(out, '#', sizeof out);
  // "alpha!" needs 7 bytes.
  EXPECT_EQ(ExpandEnvironmentStrings("%VOMBEL_TEST_A%!", out, sizeof out), 7u);
  EXPECT_EQ(std::string(out, sizeof out), "######");

  SetLastError(0);
  EXPECT_EQ(ExpandEnvironmentStrings(nullptr, out, sizeof out), 0u);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(ExpandEnvironmentStrings("x", nullptr, 4), 0u);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

}  // namespace
}  // namespace platform
