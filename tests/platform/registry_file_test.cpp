#include "platform/registry_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/utf16_bytes.h"

namespace platform {
namespace {

using testing_support::Utf16Bytes;

std::string File(std::string_view lines) {
  return std::string(kRegistryFileHeader) + "\n" + std::string(lines);
}

TEST(RegistryFileTest, ReadsEachKindOfLine) {
  struct Row {
    const char* line;
    std::u16string name;
    uint32_t type;
    std::vector<uint8_t> data;
  } const rows[] = {
      {"AutoProfiles=sz:True\n", u"AutoProfiles", REG_SZ, Utf16Bytes(std::u16string(u"True") + u'\0')},
      {"=sz:\n", u"", REG_SZ, {0, 0}},
      {"Short=dword:1\n", u"Short", REG_DWORD, {1, 0, 0, 0}},
      {"Blob=binary:00Ff10\n", u"Blob", REG_BINARY, {0x00, 0xFF, 0x10}},
      {"Big=hex(4294967295):01\n", u"Big", 0xFFFFFFFFu, {0x01}},
      {"Crlf=sz:x\r\n", u"Crlf", REG_SZ, Utf16Bytes(std::u16string(u"x") + u'\0')},  // edited on Windows
  };
  for (const auto& row : rows) {
    const auto content = ParseRegistryFile(File(row.line));
    EXPECT_FALSE(content.damaged()) << row.line;
    ASSERT_EQ(content.values.size(), 1u) << row.line;
    EXPECT_EQ(content.values[0], (RegistryValue{row.name, row.type, row.data})) << row.line;
  }
}

TEST(RegistryFileTest, DropsDamagedLinesAndKeepsTheRest) {
  struct Row {
    const char* what;
    std::string text;
    size_t values;
    size_t damaged;
    bool header_ok;
  } const rows[] = {
      {"no equals sign", File("Good=sz:1\ngarbage\n"), 1, 1, true},
      {"unknown kind", File("Good=sz:1\nX=float:1.5\n"), 1, 1, true},
      {"bad escape", File("X=sz:100%\nY=sz:%4\nZ=sz:%zz\n"), 0, 3, true},
      {"invalid UTF-8", File("X=sz:\xC3\n"), 0, 1, true},
      {"zero in a name", File("A%00B=sz:x\n"), 0, 1, true},
      {"dword too long", File("X=dword:123456789\nY=dword:\nZ=dword:xyz\n"), 0, 3, true},
      {"type too large", File("X=hex(4294967296):00\nY=hex():00\nZ=hex(-1):00\n"), 0, 3, true},
      {"repeated name in other case", File("Name=sz:1\nNAME=sz:2\n"), 1, 1, true},
      {"cut-off last line", File("A=sz:1\nB=dword:000"), 1, 1, true},
      {"comments and blank lines", File("# note\n\nA=sz:1\n"), 1, 0, true},
      {"no header", "A=sz:1\nB=sz:2\n", 0, 2, false},
      {"empty file", "", 0, 0, false},
      {"binary garbage", std::string("\x00\xFF\x13\n\x01=", 6), 0, 2, false},
  };
  for (const auto& row : rows) {
    const auto content = ParseRegistryFile(row.text);
    EXPECT_EQ(content.values.size(), row.values) << row.what;
    EXPECT_EQ(content.damaged_lines, row.damaged) << row.what;
    EXPECT_EQ(content.header_ok, row.header_ok) << row.what;
    EXPECT_EQ(content.damaged(), row.damaged > 0 || !row.header_ok) << row.what;
  }
  EXPECT_EQ(ParseRegistryFile(File("Name=sz:1\nNAME=sz:2\n")).values[0].data,
            Utf16Bytes(std::u16string(u"1") + u'\0'))
      << "the first of two spellings wins";
}

TEST(RegistryFileTest, AnyValueSurvivesARoundTrip) {
  const std::vector<RegistryValue> values = {
      {u"Plain", REG_SZ, Utf16Bytes(std::u16string(u"Vombel Connect") + u'\0')},
      {u"", REG_SZ, Utf16Bytes(std::u16string(u"default value") + u'\0')},
      {u"#not a comment", REG_SZ, Utf16Bytes(std::u16string(u"#") + u'\0')},
      {u"Controls", REG_SZ, Utf16Bytes(std::u16string(u"line\nbreak\r\t%41 \x7F=") + u'\0')},
      {u"Name=with=equals", REG_EXPAND_SZ, Utf16Bytes(std::u16string(u"%HOME%\\x") + u'\0')},
      {u"\u041A\u043B\u044E\u0447 \U0001F600", REG_SZ,
       Utf16Bytes(std::u16string(u"\U0001F600") + u'\0')},
      {u"Multi", REG_MULTI_SZ, Utf16Bytes(std::u16string(u"one\0two\0\0", 9))},
      {u"NoTerminator", REG_SZ, Utf16Bytes(u"abc")},
      {u"OddLength", REG_SZ, {0x41}},
      {u"LoneSurrogate", REG_SZ, Utf16Bytes(std::u16string(u"\xD800x\0", 3))},
      {u"EmptyString", REG_EXPAND_SZ, {}},
      {u"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {u"ShortDword", REG_DWORD, {1, 2}},
      {u"Binary", REG_BINARY, {0, 1, 0xFE, 0xFF}},
      {u"None", REG_NONE, {}},
      {u"Custom", 0x12345678, {9, 8, 7}},
  };
  const std::string text = SerializeRegistryFile(values);
  const auto content = ParseRegistryFile(text);
  EXPECT_FALSE(content.damaged()) << text;
  EXPECT_EQ(content.values, values) << text;
  EXPECT_NE(text.find("\nPlain=sz:Vombel Connect\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nDword=dword:12345678\n"), std::string::npos) << text;
}

TEST(RegistryFileTest, KeyFolderNames) {
  struct Row {
    std::u16string name;
    const char* folder;
  } const rows[] = {
      {u"Software", "Software"},
      {u".DEFAULT", "%2EDEFAULT"},  // never a hidden entry, never "." or ".."
      {u"..", "%2E."},
      {u"a/b", "a%2Fb"},
      {u"100%", "100%25"},
      {u"tab\there", "tab%09here"},
      {u"Caf\u00E9", "Caf\xC3\xA9"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(EncodeRegistryKeyName(row.name), row.folder);
    EXPECT_EQ(DecodeRegistryKeyName(row.folder), row.name) << row.folder;
  }
  // Not keys: the store's own entries, other spellings, names a key cannot have.
  for (const char* folder : {".values", ".deleted-1a2b", "", "Abc%41", "%2edefault", "a%5Cb",
                             "a%00b", "%", "%4", "\xFF"})
    EXPECT_EQ(DecodeRegistryKeyName(folder), std::nullopt) << folder;
}

TEST(RegistryFileTest, NamesCompareIgnoringCaseBeyondAscii) {
  EXPECT_TRUE(RegistryNamesEqual(u"Caf\u00E9 \u043A\u0440\u03C9", u"CAF\u00C9 \u041A\u0420\u03A9"));
  EXPECT_FALSE(RegistryNamesEqual(u"\u00F7", u"\u00D7"));  // division and multiplication signs
  EXPECT_TRUE(RegistryNameLess(u"apple", u"Banana"));
  EXPECT_TRUE(RegistryNameLess(u"A", u"a"));  // one folded name: the spelling decides the order
}

}  // namespace
}  // namespace platform
