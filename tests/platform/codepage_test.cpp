#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr uint32_t kNoError = 0xDEADu;  // stands for "no failure expected" in the tables

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
    out += ' ';
  }
  return out;
}

std::string Units(const std::u16string& text) {
  std::string out;
  char unit[8];
  for (char16_t c : text) {
    std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

// Both passes, as a caller runs them. Returns the text, or sets `error`.
std::u16string ToWide(uint32_t code_page, uint32_t flags, const std::string& in,
                      uint32_t* error) {
  *error = kNoError;
  SetLastError(0);
  const int needed = MultiByteToWideChar(code_page, flags, in.data(), static_cast<int>(in.size()),
                                         nullptr, 0);
  if (needed == 0) {
    *error = GetLastError();
    return {};
  }
  std::u16string out(static_cast<size_t>(needed), u'\0');
  const int written = MultiByteToWideChar(code_page, flags, in.data(),
                                          static_cast<int>(in.size()), out.data(), needed);
  EXPECT_EQ(written, needed) << "the two passes disagree";
  return out;
}

std::string ToBytes(uint32_t code_page, uint32_t flags, const std::u16string& in,
                    const char* default_char, bool* used_default, uint32_t* error) {
  *error = kNoError;
  SetLastError(0);
  const int needed = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()),
                                         nullptr, 0, default_char, nullptr);
  if (needed == 0) {
    *error = GetLastError();
    return {};
  }
  std::string out(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()),
                                          out.data(), needed, default_char, used_default);
  EXPECT_EQ(written, needed) << "the two passes disagree";
  return out;
}

TEST(CodePageTest, TheAnsiAndOemCodePagesAreFixed) {
  EXPECT_EQ(AnsiCodePage(), kCp1252);
  EXPECT_EQ(OemCodePage(), kCp437);
  struct Row {
    uint32_t code_page;
    bool valid;
  } const rows[] = {
      {kCpAcp, true}, {kCpOemCp, true}, {kCp437, true},  {kCp949, true},
      {kCp1252, true}, {kCpUtf8, true}, {2, false},      {850, false},
      {1200, false},  {65000, false},  {0xFFFFFFFF, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsValidCodePage(row.code_page), row.valid) << "code page " << row.code_page;
  }
}

TEST(CodePageTest, MultiByteToWideCharTable) {
  struct Row {
    const char* what;
    uint32_t code_page;
    uint32_t flags;
    std::string in;
    std::u16string expected;
    uint32_t error;
  } const rows[] = {
      {"euro sign", kCp1252, 0, "\x80", u"\u20AC", kNoError},
      {"smart quotes", kCp1252, 0, "\x93x\x94 \x91y\x92", u"\u201Cx\u201D \u2018y\u2019", kNoError},
      {"latin-1 part", kCp1252, 0, "caf\xE9", u"caf\u00E9", kNoError},
      {"ANSI alias", kCpAcp, 0, "\x80", u"\u20AC", kNoError},
      {"unassigned byte is its C1 control", kCp1252, kMbErrInvalidChars, "\x81\x8D\x8F\x90\x9D",
       u"\u0081\u008D\u008F\u0090\u009D", kNoError},
      {"box drawing", kCp437, 0, "\xC9\xCD\xBB\xBA\xC8\xBC",
       u"\u2554\u2550\u2557\u2551\u255A\u255D", kNoError},
      {"shades and accents", kCp437, 0, "\xB0\xB1\xB2\x82", u"\u2591\u2592\u2593\u00E9", kNoError},
      {"controls stay controls", kCp437, 0, std::string("\x01\x1A\x7F", 3), u"\u0001\u001A\u007F",
       kNoError},
      {"OEM alias", kCpOemCp, 0, "\xC4", u"\u2500", kNoError},
      {"hangul", kCp949, 0, "\xC7\xD1\xB1\xDB", u"\uD55C\uAE00", kNoError},
      {"hangul among ASCII", kCp949, 0, "A\xB0\xA1" "B", u"A\uAC00B", kNoError},
      {"extended hangul", kCp949, 0, "\x81\x41", u"\uAC02", kNoError},
      {"euro in 949", kCp949, 0, "\xA2\xE6", u"\u20AC", kNoError},
      {"utf-8", kCpUtf8, 0, "\xE2\x82\xAC \xF0\x9F\x98\x80", u"\u20AC \U0001F600", kNoError},
      {"a leading BOM is text, not eaten", kCpUtf8, 0, "\xEF\xBB\xBF" "A", u"\uFEFFA", kNoError},

      // Broken input: one U+FFFD per broken sequence without the error flag.
      {"949 lead byte at the end", kCp949, 0, "A\xB0", u"A\uFFFD", kNoError},
      {"949 lead byte before a quote keeps the quote", kCp949, 0, "\xB0\"", u"\uFFFD\"", kNoError},
      {"949 unassigned pair is one character", kCp949, 0, "\xC9\xA1Z", u"\uFFFDZ", kNoError},
      {"949 single bytes without meaning", kCp949, 0, "\x80x\xFF", u"\uFFFDx\uFFFD", kNoError},
      {"utf-8 cut sequence", kCpUtf8, 0, "\xE2\x82", u"\uFFFD", kNoError},
      {"utf-8 cut sequence before ASCII", kCpUtf8, 0, "\xF0\x9F\x98!", u"\uFFFD!", kNoError},
      {"utf-8 overlong", kCpUtf8, 0, "\xC0\x80", u"\uFFFD\uFFFD", kNoError},
      {"utf-8 encoded surrogate", kCpUtf8, 0, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", kNoError},
      {"utf-8 stray byte", kCpUtf8, 0, "a\xFF" "b", u"a\uFFFDb", kNoError},

      // The same with the error flag.
      {"949 lead byte at the end, strict", kCp949, kMbErrInvalidChars, "A\xB0", u"",
       kErrorNoUnicodeTranslation},
      {"949 unassigned pair, strict", kCp949, kMbErrInvalidChars, "\xC9\xA1", u"",
       kErrorNoUnicodeTranslation},
      {"utf-8 cut sequence, strict", kCpUtf8, kMbErrInvalidChars, "ok\xE2\x82", u"",
       kErrorNoUnicodeTranslation},
      {"valid 949 passes strict", kCp949, kMbErrInvalidChars, "\xB0\xA1", u"\uAC00", kNoError},

      {"unknown code page", 12345, 0, "abc", u"", kErrorInvalidParameter},
      {"mac code page alias is not offered", 2, 0, "abc", u"", kErrorInvalidParameter},
  };
  for (const auto& row : rows) {
    uint32_t error;
    const std::u16string wide = ToWide(row.code_page, row.flags, row.in, &error);
    EXPECT_EQ(error, row.error) << row.what;
    EXPECT_EQ(Units(wide), Units(row.expected)) << row.what;
  }
}

TEST(CodePageTest, WideCharToMultiByteTable) {
  struct Row {
    const char* what;
    uint32_t code_page;
    uint32_t flags;
    std::u16string in;
    const char* default_char;
    std::string expected;
    bool used_default;
    uint32_t error;
  } const rows[] = {
      {"euro sign", kCp1252, 0, u"\u20AC", nullptr, "\x80", false, kNoError},
      {"smart quotes", kCp1252, 0, u"\u201Cx\u201D", nullptr, "\x93x\x94", false, kNoError},
      {"C1 control back to its byte", kCp1252, 0, u"\u0081\u009D", nullptr, "\x81\x9D", false,
       kNoError},
      {"no best fit for A with macron", kCp1252, kWcNoBestFitChars, u"\u0100", nullptr, "?", true,
       kNoError},
      {"no best fit even unasked", kCp1252, 0, u"x\u0100y", nullptr, "x?y", true, kNoError},
      {"caller's default", kCp1252, 0, u"\u0100", "*", "*", true, kNoError},
      {"lone surrogate gets the default", kCp1252, 0, u"a\xD800" "b", nullptr, "a?b", true,
       kNoError},
      {"emoji is one character, one default", kCp1252, 0, u"\U0001F600", nullptr, "?", true,
       kNoError},
      {"a BOM has no 1252 form", kCp1252, 0, u"\uFEFFA", nullptr, "?A", true, kNoError},
      {"box drawing", kCp437, 0, u"\u2554\u2550\u2557", nullptr, "\xC9\xCD\xBB", false, kNoError},
      {"no euro in 437", kCp437, 0, u"\u20AC", nullptr, "?", true, kNoError},
      {"OEM alias", kCpOemCp, 0, u"\u2500", nullptr, "\xC4", false, kNoError},
      {"hangul", kCp949, 0, u"\uD55C\uAE00", nullptr, "\xC7\xD1\xB1\xDB", false, kNoError},
      {"extended hangul", kCp949, 0, u"\uAC02", nullptr, "\x81\x41", false, kNoError},
      {"euro in 949", kCp949, 0, u"\u20AC", nullptr, "\xA2\xE6", false, kNoError},
      {"double-byte default", kCp949, 0, u"\u0100", "\xA1\xA1", "\xA1\xA1", true, kNoError},
      {"utf-8", kCpUtf8, 0, u"\u20AC\U0001F600", nullptr, "\xE2\x82\xAC\xF0\x9F\x98\x80", false,
       kNoError},
      {"utf-8 keeps a BOM", kCpUtf8, 0, u"\uFEFFA", nullptr, "\xEF\xBB\xBF" "A", false, kNoError},
      {"utf-8 lone surrogate", kCpUtf8, 0, u"\xDC00", "*", "\xEF\xBF\xBD", false, kNoError},
      {"utf-8 lone surrogate, strict", kCpUtf8, kWcErrInvalidChars, u"\xDC00", nullptr, "", false,
       kErrorNoUnicodeTranslation},
      {"unknown code page", 12345, 0, u"abc", nullptr, "", false, kErrorInvalidParameter},
  };
  for (const auto& row : rows) {
    uint32_t error;
    bool used = !row.used_default;
    const std::string bytes =
        ToBytes(row.code_page, row.flags, row.in, row.default_char, &used, &error);
    EXPECT_EQ(error, row.error) << row.what;
    EXPECT_EQ(Hex(bytes), Hex(row.expected)) << row.what;
    if (row.error == kNoError) {
      EXPECT_EQ(used, row.used_default) << row.what;
    }
  }
}

TEST(CodePageTest, EverySingleByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  for (uint32_t code_page : {kCp1252, kCp437}) {
    uint32_t error;
    const std::u16string wide = ToWide(code_page, kMbErrInvalidChars, all, &error);
    ASSERT_EQ(error, kNoError) << code_page;
    ASSERT_EQ(wide.size(), all.size()) << code_page;
    bool used = true;
    EXPECT_EQ(Hex(ToBytes(code_page, 0, wide, nullptr, &used, &error)), Hex(all)) << code_page;
    EXPECT_FALSE(used) << code_page;
  }
}

TEST(CodePageTest, EveryAssigned949PairRoundTrips) {
  int assigned = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x41; trail <= 0xFE; ++trail) {
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      uint32_t error;
      const std::u16string wide = ToWide(kCp949, kMbErrInvalidChars, pair, &error);
      if (error != kNoError) continue;
      ++assigned;
      ASSERT_EQ(wide.size(), 1u) << Hex(pair);
      bool used = true;
      EXPECT_EQ(Hex(ToBytes(kCp949, 0, wide, nullptr, &used, &error)), Hex(pair));
      EXPECT_FALSE(used) << Hex(pair);
    }
  }
  // 8822 hangul syllables and 8000-odd symbols and hanja: a table that lost
  // its extension or its hanja would show here.
  EXPECT_GT(assigned, 17000);
}

TEST(CodePageTest, TerminatedInputCountsItsTerminator) {
  EXPECT_EQ(MultiByteToWideChar(kCp1252, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(kCp1252, 0, "abc", 3, nullptr, 0), 3);
  char16_t wide[5] = {u'x', u'x', u'x', u'x', u'x'};
  ASSERT_EQ(MultiByteToWideChar(kCp949, 0, "\xB0\xA1z", -1, wide, 5), 3);
  EXPECT_EQ(std::u16string(wide, 3), std::u16string(u"\uAC00z\0", 3));

  EXPECT_EQ(WideCharToMultiByte(kCp949, 0, u"\uAC00z", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(kCp949, 0, u"\uAC00z", 2, nullptr, 0, nullptr, nullptr), 3);
  char bytes[6] = "xxxxx";
  ASSERT_EQ(WideCharToMultiByte(kCp949, 0, u"\uAC00z", -1, bytes, 6, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(bytes, 4), std::string("\xB0\xA1z\0", 4));
}

TEST(CodePageTest, TooSmallBufferFailsWithoutWriting) {
  char16_t wide[4] = {u'#', u'#', u'#', u'#'};
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(kCp1252, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(std::u16string(wide, 4), u"####");
  EXPECT_EQ(MultiByteToWideChar(kCp1252, 0, "abc", -1, wide, 4), 4);

  // Two bytes for one character: the size counts bytes, not characters.
  char bytes[4] = {'#', '#', '#', '#'};
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(kCp949, 0, u"\uAC00\uAC00", 2, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(std::string(bytes, 4), "####");
  EXPECT_EQ(WideCharToMultiByte(kCp949, 0, u"\uAC00\uAC00", 2, bytes, 4, nullptr, nullptr), 4);
}

TEST(CodePageTest, BadArgumentsAreInvalidParameter) {
  char16_t wide[4];
  char bytes[4];
  struct Row {
    const char* what;
    const char* in;
    int in_length;
    bool with_out;
    int out_size;
  } const rows[] = {
      {"null input", nullptr, 3, false, 0},
      {"empty input", "abc", 0, false, 0},
      {"length below -1", "abc", -2, false, 0},
      {"negative output size", "abc", 3, true, -1},
      {"null output with a size", "abc", 3, false, 4},
  };
  const std::u16string wide_in = u"abc";
  for (const auto& row : rows) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(kCp1252, 0, row.in, row.in_length, row.with_out ? wide : nullptr,
                                  row.out_size),
              0)
        << row.what;
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter) << row.what;

    SetLastError(0);
    const char16_t* in = row.in == nullptr ? nullptr : wide_in.c_str();
    EXPECT_EQ(WideCharToMultiByte(kCp1252, 0, in, row.in_length, row.with_out ? bytes : nullptr,
                                  row.out_size, nullptr, nullptr),
              0)
        << row.what;
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter) << row.what;
  }
}

TEST(CodePageTest, ConcurrentConversionsDoNotDisturbEachOther) {
  // Each thread converts its own text in both directions many times; a
  // conversion state shared without a lock would mix them up.
  const std::string texts[] = {"\xC7\xD1\xB1\xDB", "\xB0\xA1\xB0\xA2", "\x81\x41\x81\x42",
                               "abcd"};
  std::vector<std::thread> threads;
  std::vector<int> mismatches(std::size(texts), 0);
  for (size_t t = 0; t < std::size(texts); ++t) {
    threads.emplace_back([&, t] {
      char16_t wide[8];
      char bytes[8];
      for (int i = 0; i < 300; ++i) {
        const int n = MultiByteToWideChar(kCp949, 0, texts[t].data(),
                                          static_cast<int>(texts[t].size()), wide, 8);
        const int m = WideCharToMultiByte(kCp949, 0, wide, n, bytes, 8, nullptr, nullptr);
        if (std::string(bytes, static_cast<size_t>(m)) != texts[t]) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (size_t t = 0; t < std::size(texts); ++t) EXPECT_EQ(mismatches[t], 0) << Hex(texts[t]);
}

}  // namespace
}  // namespace platform
