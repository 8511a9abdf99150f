#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/text.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

TEST(ErrorTest, ErrnoMapsOntoTheWin32Numbers) {
  struct Row {
    int err;
    uint32_t expected;
  } const rows[] = {
      {0, kErrorSuccess},           {ENOENT, kErrorFileNotFound},  {ENOTDIR, kErrorPathNotFound},
      {EACCES, kErrorAccessDenied}, {EIO, kErrorAccessDenied},     {ENXIO, kErrorAccessDenied},
      {ENODEV, kErrorAccessDenied}, {EBADF, kErrorInvalidHandle},  {ENOMEM, kErrorNotEnoughMemory},
      {EINVAL, kErrorInvalidParameter}, {EEXIST, kErrorAlreadyExists}, {ETIMEDOUT, kErrorTimeout},
      {EBUSY, kErrorBusy},          {EILSEQ, kErrorGenFailure},
  };
  for (const auto& row : rows) EXPECT_EQ(ErrorFromErrno(row.err), row.expected) << "errno " << row.err;
}

TEST(ErrorTest, ResultCodeFormOfErrors) {
  EXPECT_EQ(ResultFromError(kErrorFileNotFound), 0x80070002u);
  EXPECT_EQ(ResultFromError(0), 0x80004005u);
  EXPECT_EQ(ResultFromError(0x84000008u), 0x84000008u);
  EXPECT_EQ(ResultFromError(0x12345u), 0x80072345u);
}

TEST(ErrorTest, LastErrorIsPerThreadAndPreserverRestoresIt) {
  SetLastError(13);
  std::thread([] {
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(5);
  }).join();
  EXPECT_EQ(GetLastError(), 13u);
  {
    LastErrorPreserver keep;
    SetLastError(87);
  }
  EXPECT_EQ(GetLastError(), 13u);
}

TEST(ErrorTest, TheErrnoBehindTheLastErrorIsKeptUntilTheNextError) {
  EXPECT_EQ(SetLastErrorFromErrno(ENXIO), kErrorAccessDenied);
  EXPECT_EQ(GetLastErrno(), ENXIO);
  std::thread([] { EXPECT_EQ(GetLastErrno(), 0); }).join();
  {
    LastErrorPreserver keep;
    SetLastErrorFromErrno(EBUSY);
  }
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(GetLastErrno(), ENXIO);
  SetLastError(kErrorTimeout);  // an error of our own has no errno
  EXPECT_EQ(GetLastErrno(), 0);
  SetLastErrorWithErrno(kErrorAccessDenied, EWOULDBLOCK);
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(GetLastErrno(), EWOULDBLOCK);
}

TEST(TextTest, Utf8AndUtf16RoundTripIncludingSurrogatePairs) {
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const std::u16string utf16 = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(TextTest, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");           // truncated sequence at the end
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");           // overlong form of '/'
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");       // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");  // lone surrogate
}

}  // namespace
}  // namespace platform
