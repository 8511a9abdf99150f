#include <gtest/gtest.h>

#include <string>

#include "devicelib/quoted_string.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"

namespace {

using namespace GSM;

struct Row {
  const char* what;
  std::u16string raw;
  QuotedStringMode mode;
  std::u16string text;
  bool logged_failure = false;
};

TEST(QuotedStringTest, DecodesEachModeAndLogsWhatItCannot) {
  const Row rows[] = {
      {"no decoding keeps the text", u"00410042", QuotedStringModeNone, u"00410042"},
      {"UCS2", u"004100420043", QuotedStringModeUcs2, u"ABC"},
      {"UCS2 does not read a coding-scheme byte", u"80004100420043", QuotedStringModeUcs2, u"", true},
      {"coding scheme 0x80", u"80004100420043", QuotedStringModeUcs2CodingScheme, u"ABC"},
      {"coding scheme 0x81", u"810305C1C2C3", QuotedStringModeUcs2CodingScheme, u"\u02C1\u02C2\u02C3"},
      // from testdata/sim_alpha.json
      {"coding scheme 0x82", u"820505302D82D32D31", QuotedStringModeUcs2CodingScheme, u"-\u0532\u0583-1"},
      // from testdata/sim_alpha.json: SIM records padded with FF; the name
      // is shown without its padding.
      {"0x81 with FF padding", u"8105135395A6A6FFFF", QuotedStringModeUcs2CodingScheme, u"S\u0995\u09A6\u09A6\u09FF"},
      {"0x82 with FF padding", u"820869004D6F7A696C6C61CAFFFF", QuotedStringModeUcs2CodingScheme, u"Mozilla\u694A"},
      {"0x80 with FF padding", u"80006F006E006FFFFFFF", QuotedStringModeUcs2CodingScheme, u"ono"},
      {"0x82 into the surrogates", u"8201D80080", QuotedStringModeUcs2CodingScheme, u"", true},
      {"plain text is no alpha identifier", u"566F696365204D61696C", QuotedStringModeUcs2CodingScheme, u"", true},
      {"UCS2 of six digits", u"004100", QuotedStringModeUcs2, u"", true},
  };
  for (const auto& row : rows) {
    testing_support::LogCapture log(0);
    EXPECT_EQ(QuotedString::Decode(row.raw, row.mode), row.text) << row.what;
    const std::string line =
        "Dv: QuotedString::Decode(): Could not decode UCS2 string " + platform::Utf16ToUtf8(row.raw);
    EXPECT_EQ(log.Count(line), row.logged_failure ? 1u : 0u) << row.what;
  }
}

}  // namespace
