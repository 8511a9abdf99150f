#include "foundation/xcodepage.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/xmemory.h"
#include "platform/codepage.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"

namespace {

using platform::GetLastError;
using platform::SetLastError;
using testing_support::LogCapture;

TEST(XCodePageTest, MultiByteToWideCharMakesATerminatedBlock) {
  struct Row {
    uint32_t code_page;
    const char* text;
    std::u16string expected;
  } const rows[] = {
      {platform::kCp949, "\xC7\xD1\xB1\xDB \xB0\xA1", u"\uD55C\uAE00 \uAC00"},
      {platform::kCpAcp, "\x80 5", u"\u20AC 5"},
      {platform::kCpOemCp, "\xDA\xC4\xBF", u"\u250C\u2500\u2510"},
      {platform::kCpUtf8, "\xE2\x82\xAC", u"\u20AC"},
      {platform::kCp1252, "", u""},
  };
  for (const auto& row : rows) {
    LogCapture log;
    SetLastError(5);
    char16_t* wide = XMultiByteToWideChar(row.code_page, 0, row.text);
    ASSERT_NE(wide, nullptr) << row.text;
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::u16string(wide), row.expected) << row.text;
    EXPECT_FALSE(log.Contains("suspicious state")) << row.text;
    XFree(wide);
  }
}

TEST(XCodePageTest, WideCharToMultiByteReportsTheDefaultCharacter) {
  struct Row {
    uint32_t code_page;
    std::u16string text;
    const char* default_char;
    std::string expected;
    bool used_default;
  } const rows[] = {
      {platform::kCp949, u"\uD55C\uAE00", nullptr, "\xC7\xD1\xB1\xDB", false},
      {platform::kCp949, u"\u00C0bc", nullptr, "?bc", true},
      {platform::kCpAcp, u"\u201Cok\u201D", nullptr, "\x93ok\x94", false},
      {platform::kCpAcp, u"\u0100", "_", "_", true},
      {platform::kCpOemCp, u"\u2500", nullptr, "\xC4", false},
      {platform::kCpUtf8, u"\u20AC", nullptr, "\xE2\x82\xAC", false},
  };
  for (const auto& row : rows) {
    LogCapture log;
    SetLastError(5);
    bool used = !row.used_default;
    char* bytes = XWideCharToMultiByte(row.code_page, 0, row.text.c_str(), row.default_char, &used);
    ASSERT_NE(bytes, nullptr) << row.expected;
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::string(bytes), row.expected);
    EXPECT_EQ(used, row.used_default) << row.expected;
    EXPECT_FALSE(log.Contains("suspicious state")) << row.expected;
    XFree(bytes);
  }
  // Nobody has to ask whether the default was used.
  char* bytes = XWideCharToMultiByte(platform::kCp1252, 0, u"\u0100", nullptr, nullptr);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes), "?");
  XFree(bytes);
}

TEST(XCodePageTest, FailuresLeaveTheConversionsError) {
  struct Row {
    const char* what;
    uint32_t code_page;
    uint32_t flags;
    const char* text;
    uint32_t error;
  } const rows[] = {
      {"null text", platform::kCp949, 0, nullptr, platform::kErrorInvalidParameter},
      {"unknown code page", 4711, 0, "abc", platform::kErrorInvalidParameter},
      {"broken 949 with the error flag", platform::kCp949, platform::kMbErrInvalidChars,
       "ok\xB0", platform::kErrorNoUnicodeTranslation},
  };
  for (const auto& row : rows) {
    SetLastError(0);
    EXPECT_EQ(XMultiByteToWideChar(row.code_page, row.flags, row.text), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }

  bool used = true;
  SetLastError(0);
  EXPECT_EQ(XWideCharToMultiByte(platform::kCp949, 0, nullptr, nullptr, &used), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(XWideCharToMultiByte(4711, 0, u"abc", nullptr, &used), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(XWideCharToMultiByte(platform::kCpUtf8, platform::kWcErrInvalidChars, u"a\xD800",
                                 nullptr, &used),
            nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorNoUnicodeTranslation);
}

}  // namespace
