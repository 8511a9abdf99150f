#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/xmemory.h"
#include "platform/event.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"

namespace {

using platform::GetLastError;
using platform::SetLastError;

TEST(XMemoryTest, SuccessfulHelpersClearTheLastError) {
  SetLastError(99);
  void* block = XAlloc(16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  XFree(block);

  SetLastError(99);
  char16_t* copy = XStrDup(u"text");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"text");
  EXPECT_EQ(GetLastError(), 0u);
  XFree(copy);
}

TEST(XMemoryTest, NullArgumentsGiveInvalidParameter) {
  SetLastError(0);
  EXPECT_EQ(XStrDup(static_cast<const char16_t*>(nullptr)), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(XFormatString(nullptr, u"x"), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
  SetLastError(0);
  EXPECT_EQ(XFormatString(u"%s", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidParameter);
}

TEST(XMemoryTest, FreeingNullSucceedsAndKeepsTheCallersLastError) {
  SetLastError(31);
  XFree(nullptr);
  XRelease(nullptr);
  EXPECT_EQ(GetLastError(), 31u);
}

TEST(XMemoryTest, FormatStringAppliesItsOneArgument) {
  struct Row {
    const char16_t* format;
    const char16_t* text;
    std::u16string expected;
  } const rows[] = {
      {u"%s\\vombel.txt", u"/tmp", u"/tmp\\vombel.txt"},
      {u"no argument", u"unused", u"no argument"},
      {u"100%% of %s", u"it", u"100% of it"},
      {u"%s and %s", u"a", u"a and %s"},   // one argument only: a second %s stays
      {u"%d %s", u"x", u"%d x"},           // no other conversion reads a missing argument
      {u"", u"", u""},
      {u"trailing %", u"x", u"trailing %"},
  };
  for (const auto& row : rows) {
    char16_t* out = XFormatString(row.format, row.text);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::u16string(out), row.expected);
    XFree(out);
  }
}

TEST(XMemoryTest, ClosingABadHandleLogsAndKeepsTheLastError) {
  testing_support::LogCapture log;
  SetLastError(77);
  XCloseHandle(platform::kInvalidHandle);
  EXPECT_EQ(GetLastError(), 77u);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"XCloseHandle, CloseHandle: 0x6.\n"});

  log.Clear();
  XCloseHandle(platform::CreateEvent(false, false));
  EXPECT_TRUE(log.Lines().empty());
}

TEST(XMemoryTest, LastErrorOrFail) {
  SetLastError(0);
  EXPECT_EQ(XLastErrorOrFail(), 0x80004005u);
  SetLastError(5);
  EXPECT_EQ(XLastErrorOrFail(), 5u);
}

}  // namespace
