#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devicelib/sms_codepage.h"
#include "platform/text.h"

namespace {

using Octets = std::vector<uint8_t>;
using SMS::Sms8BitToUnicode;
using SMS::UnicodeToSms8Bit;

std::string Show(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

// Texts that code page 949 carries exactly, in both directions.
TEST(SmsCodePageTest, KoreanAndAsciiConvertBothWays) {
  struct Row {
    std::u16string text;
    Octets octets;
  } const rows[] = {
      {u"", {}},
      {u"Hello", {0x48, 0x65, 0x6C, 0x6C, 0x6F}},
      {u"가", {0xB0, 0xA1}},
      {u"한글", {0xC7, 0xD1, 0xB1, 0xDB}},
      {u"A가B", {0x41, 0xB0, 0xA1, 0x42}},
      {u"中€", {0xF1, 0xE9, 0xA2, 0xE6}},
      {std::u16string(u"a\0b", 3), {0x61, 0x00, 0x62}},  // a zero octet is text, not an end
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Show(row.text));
    bool used_default = true;
    EXPECT_EQ(UnicodeToSms8Bit(row.text, used_default), row.octets);
    EXPECT_FALSE(used_default);
    EXPECT_EQ(Sms8BitToUnicode(row.octets), row.text);
  }
}

TEST(SmsCodePageTest, UnmappableCharactersBecomeQuestionMarks) {
  struct Row {
    std::u16string text;
    Octets octets;
  } const rows[] = {
      {u"é", {0x3F}},
      {u"caf\u00E9!", {0x63, 0x61, 0x66, 0x3F, 0x21}},
      {u"\u0E01\uAC00", {0x3F, 0xB0, 0xA1}},
      {u"\U0001F600", {0x3F}},  // one character outside the BMP: one "?"
      {std::u16string{u'a', char16_t{0xD83D}}, {0x61, 0x3F}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Show(row.text));
    bool used_default = false;
    EXPECT_EQ(UnicodeToSms8Bit(row.text, used_default), row.octets);
    EXPECT_TRUE(used_default);
  }
}

// Received octets are never refused: broken sequences become U+FFFD and the
// rest of the message survives.
TEST(SmsCodePageTest, BrokenOctetsDecodeToReplacementCharacters) {
  struct Row {
    Octets octets;
    std::u16string text;
  } const rows[] = {
      {{0xB0}, u"\uFFFD"},
      {{0x41, 0xB0}, u"A\uFFFD"},
      {{0xB0, 0x22, 0x41}, u"\uFFFD\"A"},
      {{0xFF, 0x41}, u"\uFFFDA"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Sms8BitToUnicode(row.octets), row.text) << Show(row.text);
  }
}

}  // namespace
