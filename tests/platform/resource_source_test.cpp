#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource_source.h"

namespace resources {
namespace {

std::vector<size_t> LinesOf(const std::vector<SourceError>& errors) {
  std::vector<size_t> lines;
  for (const auto& error : errors) lines.push_back(error.line);
  return lines;
}

TEST(StringTableSourceTest, LinesBecomeStringsOrNamedErrors) {
  struct Row {
    const char* what;
    std::string text;
    std::map<uint16_t, std::u16string> strings;
    std::vector<size_t> error_lines;
  } const rows[] = {
      {"one string", "0\tA\n", {{0, u"A"}}, {}},
      {"no line end at the end", "57344\tVombel Connect", {{57344, u"Vombel Connect"}}, {}},
      {"CR LF line ends", "1\ta\r\n2\tb\r\n", {{1, u"a"}, {2, u"b"}}, {}},
      {"empty entries, with and without the TAB", "5\t\n6\n7\r\n", {{5, u""}, {6, u""}, {7, u""}}, {}},
      {"escapes", "1\ta\\nb\\tc\\\\d\\\"e", {{1, u"a\nb\tc\\d\"e"}}, {}},
      {"an escaped backslash before n is not a line break", "1\t\\\\n", {{1, u"\\n"}}, {}},
      {"a raw TAB after the first belongs to the text", "1\tA\tB", {{1, u"A\tB"}}, {}},
      {"blanks at the end are kept", "1\tA  ", {{1, u"A  "}}, {}},
      {"comments and blank lines", "# header\n\n   \n\t\n2\tx\n# 3\ty\n", {{2, u"x"}}, {}},
      {"a byte-order mark at the start", "\xEF\xBB\xBF" "1\tx", {{1, u"x"}}, {}},
      {"UTF-8 beyond ASCII", "1\t\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", {{1, u"\u00E9\u20AC\U0001F600"}}, {}},
      {"the last id", "65535\tz", {{65535, u"z"}}, {}},
      {"unknown escape", "1\t\\x", {}, {1}},
      {"a lone backslash at the end", "1\tab\\", {}, {1}},
      {"blanks instead of the TAB", "1 text", {}, {1}},
      {"blanks before the id", " 1\tx", {}, {1}},
      {"no id", "\tx", {}, {1}},
      {"id out of range", "65536\tx", {}, {1}},
      {"truncated UTF-8", "1\t\xC3", {}, {1}},
      {"overlong UTF-8", "1\t\xC0\xAF", {}, {1}},
      {"an encoded surrogate", "1\t\xED\xA0\x80", {}, {1}},
      {"beyond U+10FFFF", "1\t\xF4\x90\x80\x80", {}, {1}},
      {"a stray continuation byte", "1\ta\x80", {}, {1}},
      {"an id given twice keeps the first", "1\ta\n1\tb", {{1, u"a"}}, {2}},
      {"every bad line is reported, the good ones kept", "x\n2\tok\n3\t\\q\n", {{2, u"ok"}}, {1, 3}},
  };
  for (const auto& row : rows) {
    std::vector<SourceError> errors;
    EXPECT_EQ(ParseStringTable(row.text, errors), row.strings) << row.what;
    EXPECT_EQ(LinesOf(errors), row.error_lines) << row.what;
  }
}

TEST(StringTableSourceTest, TextsAreLimitedTo65535Units) {
  std::vector<SourceError> errors;
  EXPECT_EQ(ParseStringTable("1\t" + std::string(65535, 'a'), errors).at(1).size(), 65535u);
  EXPECT_TRUE(errors.empty());

  std::string emoji;
  for (int i = 0; i < 32768; ++i) emoji += "\xF0\x9F\x98\x80";  // two units each: 65536
  EXPECT_TRUE(ParseStringTable("1\t" + emoji, errors).empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].message.find("65535"), std::string::npos) << errors[0].message;
}

TEST(ManifestSourceTest, LinesBecomeResourcesOrNamedErrors) {
  struct Expected {
    std::string type_name;
    uint16_t type_number;
    uint16_t id;
    std::string file;
  };
  struct Row {
    const char* what;
    std::string text;
    std::vector<Expected> entries;
    std::vector<size_t> error_lines;
  } const rows[] = {
      {"comments only", "# the manifest\n\n  # indented\n", {}, {}},
      {"a named type", "NW_DATA 101 nw_data.txt\n", {{"NW_DATA", 0, 101, "nw_data.txt"}}, {}},
      {"names are kept upper-case; blanks may be TABs; a file name may hold blanks",
       "profiles_db\t170\tauto profiles.txt  \r\n",
       {{"PROFILES_DB", 0, 170, "auto profiles.txt"}},
       {}},
      {"a numbered type", "10 5 raw.bin", {{"", 10, 5, "raw.bin"}}, {}},
      {"same id under other types",
       "A 1 a\nB 1 b\n10 1 c\n11 1 d",
       {{"A", 0, 1, "a"}, {"B", 0, 1, "b"}, {"", 10, 1, "c"}, {"", 11, 1, "d"}},
       {}},
      {"no file", "NW_DATA 101", {}, {1}},
      {"the string-table type is made by the build", "6 1 f", {}, {1}},
      {"the version type is made by the build", "16 1 f", {}, {1}},
      {"type 0", "0 1 f", {}, {1}},
      {"type out of range", "65536 1 f", {}, {1}},
      {"a name must not start with a digit", "1NW 1 f", {}, {1}},
      {"a name holds letters, digits and _ only", "NW-DATA 1 f", {}, {1}},
      {"id 0", "NW_DATA 0 f", {}, {1}},
      {"id out of range", "NW_DATA 65536 f", {}, {1}},
      {"a pair given twice, names compared without case",
       "NW_DATA 1 a\nnw_data 1 b\n",
       {{"NW_DATA", 0, 1, "a"}},
       {2}},
      {"every bad line is reported", "bad\nX 1 ok\n6 1 f\n", {{"X", 0, 1, "ok"}}, {1, 3}},
  };
  for (const auto& row : rows) {
    std::vector<SourceError> errors;
    const auto entries = ParseManifest(row.text, errors);
    EXPECT_EQ(LinesOf(errors), row.error_lines) << row.what;
    ASSERT_EQ(entries.size(), row.entries.size()) << row.what;
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].type_name, row.entries[i].type_name) << row.what;
      EXPECT_EQ(entries[i].type_number, row.entries[i].type_number) << row.what;
      EXPECT_EQ(entries[i].id, row.entries[i].id) << row.what;
      EXPECT_EQ(entries[i].file, row.entries[i].file) << row.what;
    }
  }
}

TEST(ManifestSourceTest, VersionsHaveThreeOrFourParts) {
  struct Row {
    const char* text;
    bool good;
    FileVersion version;
  } const rows[] = {
      {"1.0.0", true, {1, 0, 0, 0}},
      {"1.2.3.4", true, {1, 2, 3, 4}},
      {"65535.65535.65535.65535", true, {65535, 65535, 65535, 65535}},
      {"1.2", false, {}},
      {"1.2.3.4.5", false, {}},
      {"1.2.3.", false, {}},
      {"1..3", false, {}},
      {"1.2.65536", false, {}},
      {"", false, {}},
  };
  for (const auto& row : rows) {
    FileVersion version{9, 9, 9, 9};
    EXPECT_EQ(ParseVersion(row.text, version), row.good) << row.text;
    if (!row.good) continue;
    EXPECT_EQ(version.major, row.version.major) << row.text;
    EXPECT_EQ(version.minor, row.version.minor) << row.text;
    EXPECT_EQ(version.patch, row.version.patch) << row.text;
    EXPECT_EQ(version.tweak, row.version.tweak) << row.text;
  }
}

}  // namespace
}  // namespace resources
