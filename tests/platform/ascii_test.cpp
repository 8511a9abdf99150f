#include "platform/ascii.h"

#include <gtest/gtest.h>

namespace {

using platform::AsciiEqualsIgnoreCase;
using platform::AsciiStartsWithIgnoreCase;
using platform::AsciiToLower;
using platform::AsciiToUpper;
using platform::HexDigitValue;

TEST(AsciiTest, OnlyAsciiLettersChangeCase) {
  struct Row {
    char16_t in, upper, lower;
  } const rows[] = {
      {u'a', u'A', u'a'}, {u'z', u'Z', u'z'}, {u'A', u'A', u'a'}, {u'Z', u'Z', u'z'}, {u'@', u'@', u'@'},
      {u'[', u'[', u'['}, {u'`', u'`', u'`'}, {u'{', u'{', u'{'}, {u'\u00E9', u'\u00E9', u'\u00E9'},
      {u'\u0161', u'\u0161', u'\u0161'},  // low byte 'a'
      {u'\u0141', u'\u0141', u'\u0141'},  // low byte 'A'
  };
  for (const auto& row : rows) {
    EXPECT_EQ(AsciiToUpper(row.in), row.upper) << int(row.in);
    EXPECT_EQ(AsciiToLower(row.in), row.lower) << int(row.in);
  }
  EXPECT_EQ(AsciiToUpper('q'), 'Q');
  EXPECT_EQ(AsciiToLower('Q'), 'q');
  EXPECT_EQ(AsciiToUpper('\xE9'), '\xE9');
}

TEST(AsciiTest, ComparisonsFoldAsciiOnly) {
  EXPECT_TRUE(AsciiEqualsIgnoreCase(u"PortName", u"portNAME"));
  EXPECT_FALSE(AsciiEqualsIgnoreCase(u"Port", u"PortName"));
  EXPECT_FALSE(AsciiEqualsIgnoreCase(u"\u00E9", u"\u00C9"));
  EXPECT_FALSE(AsciiEqualsIgnoreCase(u"\u0161", u"A"));
  EXPECT_TRUE(AsciiEqualsIgnoreCase(std::string_view("Ports"), std::string_view("PORTS")));
  EXPECT_TRUE(AsciiStartsWithIgnoreCase(u"USB\\VID_1234", u"usb\\"));
  EXPECT_FALSE(AsciiStartsWithIgnoreCase(u"US", u"USB"));
  EXPECT_TRUE(AsciiStartsWithIgnoreCase(std::string_view("abc"), std::string_view("")));
}

TEST(AsciiTest, HexDigitValues) {
  struct Row {
    char16_t in;
    int value;
  } const rows[] = {{u'0', 0}, {u'9', 9}, {u'a', 10}, {u'f', 15}, {u'A', 10}, {u'F', 15}, {u'g', -1},
                    {u'G', -1}, {u'/', -1}, {u':', -1}, {u'@', -1}, {u'`', -1}, {u'\u0130', -1},  // low byte '0'
                    {u'\uFF10', -1}};  // fullwidth zero
  for (const auto& row : rows) EXPECT_EQ(HexDigitValue(row.in), row.value) << int(row.in);
  EXPECT_EQ(HexDigitValue('c'), 12);
  EXPECT_EQ(HexDigitValue('\xB0'), -1);
}

}  // namespace
