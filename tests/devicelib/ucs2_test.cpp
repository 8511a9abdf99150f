#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "devicelib/ucs2.h"
#include "platform/text.h"

namespace {

using GSM::DecodeSimAlphaHex;
using GSM::DecodeUcs2Hex;

struct Row {
  const char* what;
  std::u16string hex;
  std::optional<std::u16string> text;  // nullopt: malformed
};

std::string Show(const std::optional<std::u16string>& text) {
  return text ? "\"" + platform::Utf16ToUtf8(*text) + "\"" : "(malformed)";
}

void Check(const Row& row, std::optional<std::u16string> (*decode)(std::u16string_view)) {
  const auto decoded = decode(row.hex);
  EXPECT_EQ(decoded, row.text) << row.what << ": " << platform::Utf16ToUtf8(row.hex) << " gave "
                               << Show(decoded) << ", expected " << Show(row.text);
}

TEST(Ucs2Test, PlainUcs2Hex) {
  const Row rows[] = {
      {"empty", u"", u""},
      {"one unit", u"0041", u"A"},
      {"big-endian units", u"004100420043", u"ABC"},
      {"lower case digits", u"4e2d6587", u"中文"},
      {"a surrogate pair stays two units", u"D83DDE00", u"\U0001F600"},
      {"U+0000 is a character", u"00000041", std::u16string(u"\0A", 2)},
      {"six digits", u"004100", std::nullopt},
      {"odd length", u"00410", std::nullopt},
      {"two digits", u"41", std::nullopt},
      {"not a digit", u"00G1", std::nullopt},
      {"blank", u"0041 ", std::nullopt},
      {"sign", u"-041", std::nullopt},
      // Only the low byte of these is an ASCII digit.
      {"wide look-alikes", u"\u0130\u0130\u0134\u0131", std::nullopt},
      {"fullwidth digits", u"\uFF10\uFF10\uFF14\uFF11", std::nullopt},
  };
  for (const auto& row : rows) Check(row, DecodeUcs2Hex);
}

TEST(Ucs2Test, SimAlphaForms) {
  const Row rows[] = {
      {"empty", u"", u""},
      {"0x80 example", u"8000410042", u"AB"},
      {"0x80 three characters", u"80004100420043", u"ABC"},
      {"0x80 without characters", u"80", u""},
      {"0x81 example", u"81020841C1", u"A\u0441"},
      {"0x81 three characters", u"810305C1C2C3", u"\u02C1\u02C2\u02C3"},
      {"0x81 without characters", u"810000", u""},
      {"0x81 highest base", u"8101FFFF", u"\u7FFF"},
      {"0x81 GSM codes with escapes", u"8103001B6541", u"€A"},
      {"0x81 escape at the end", u"810200411B", u"A"},
      {"0x81 escape escape", u"8103001B1B41", u"\uFFFFA"},
      {"0x81 escape holds for the next GSM code", u"8103081BC165", u"\u0441€"},
      {"0x82 without characters", u"8200FFFF", u""},
      {"0x82 base reaching U+FFFF", u"8201FF80FF", u"\uFFFF"},

      // testdata/sim_alpha.json, TS 11.11 annex B example.
      {"0x82 annex B", u"820505302D82D32D31", u"-Բփ-1"},
      // testdata/sim_alpha.json.
      {"0x82 Cyrillic", u"820504002DB3B42D31", u"-гд-1"},
      // testdata/sim_alpha.json (gecko's ICC helper test): two bytes of
      // padding after the count of 8.
      {"0x82 mixed, padded", u"820869004D6F7A696C6C61CAFFFF", u"Mozilla楊"},
      {"0x82 mixed", u"820869004D6F7A696C6C61CA", u"Mozilla楊"},
      // testdata/sim_alpha.json (oFono's util test): the count of 5 takes in
      // the byte 0xFF, which is then a character (base + 0x7F); the one
      // after the count is padding.
      {"0x81 Bengali, padded", u"8105135395A6A6FFFF", u"Sকদদ\u09FF"},
      {"0x81 Bengali", u"8105135395A6A6FF", u"Sকদদ\u09FF"},
      // testdata/sim_alpha.json (oFono's util test): an FFFF unit and a lone
      // FF byte of padding.
      {"0x80 padded", u"80006F006E006FFFFFFF", u"ono"},
      {"0x80 padded to whole units", u"8000410042FFFFFFFF", u"AB"},
      {"0x80 nothing but padding", u"80FFFFFF", u""},
      {"0x80 a lone FF", u"80FF", u""},
      {"0x80 a unit ending in FF is a character", u"8000FF", u"\u00FF"},
      {"0x80 a lone trailing FF after such a unit", u"8000FFFF", u"\u00FF"},
      {"0x80 FFFF before a character stays", u"80FFFF0041", u"\uFFFFA"},
      {"0x81 nothing but padding after an empty count", u"810008FFFF", u""},
      {"0x82 padded after an empty count", u"820004FFFFFF", u""},
      {"0x81 padding then a byte", u"81010841FF41", std::nullopt},
      {"0x82 padding then a byte", u"8201040041FF00", std::nullopt},

      // A base that lands in the surrogate range would leave half a character.
      {"0x82 base on a high surrogate", u"8201D80080", std::nullopt},
      {"0x82 base just below, offset into the range", u"8201D7FFFF", std::nullopt},
      {"0x82 base just below the range", u"8201D7FF80", u"\uD7FF"},
      {"0x82 base past the range", u"8201E00080", u"\uE000"},
      {"0x82 surrogate base used only by GSM codes", u"8201D80041", u"A"},

      // testdata/sim_alpha.json rows that are other codings.
      {"GSM 8-bit alpha", u"566F696365204D61696C", std::nullopt},
      {"EF_SPN", u"0054657374FFFFFFFFFF", std::nullopt},

      // Lengths and headers that do not fit the data.
      {"0x80 plain part of 2 digits", u"8000", std::nullopt},
      {"0x81 without count", u"81", std::nullopt},
      {"0x81 without base", u"8102", std::nullopt},
      {"0x81 count past the data", u"810208", std::nullopt},
      {"0x81 one byte short", u"81020841", std::nullopt},
      {"0x81 one byte over", u"81020841C1C2", std::nullopt},
      {"0x81 count 255 on little data", u"81FF0841", std::nullopt},
      {"0x82 without count", u"82", std::nullopt},
      {"0x82 without base", u"8201", std::nullopt},
      {"0x82 half a base", u"820100", std::nullopt},
      {"0x82 count past the data", u"82010400", std::nullopt},
      {"0x82 one byte over", u"8201040041C1", std::nullopt},
      // 0xFF80 + 0x7F would be U+FFFF; 0xFFFF + 0x7F has no UTF-16 unit.
      {"0x82 base past U+FFFF", u"8201FFFFFF", std::nullopt},
      {"0x82 base past U+FFFF after good ones", u"8202FFC080C1", std::nullopt},
      {"unknown form", u"83000041", std::nullopt},
      {"odd length", u"8", std::nullopt},
      {"odd length after a good start", u"800041004", std::nullopt},
      {"bad digit in the header", u"8G", std::nullopt},
      {"bad digit in the body", u"81020841CZ", std::nullopt},
  };
  for (const auto& row : rows) Check(row, DecodeSimAlphaHex);
}

}  // namespace
