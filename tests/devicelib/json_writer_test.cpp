#include "devicelib/cli/json_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace vombel_device;

TEST(JsonWriterTest, TextIsQuotedAsRfc8259AsksAndAlwaysValidUtf8) {
  struct Row {
    std::string text;
    std::string quoted;
  };
  const Row rows[] = {
      {"", R"("")"},
      {"Vombel Net", R"("Vombel Net")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\path", R"("C:\\path")"},
      {"/", R"("/")"},  // a solidus needs no escape
      {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
      {std::string("\0\x01\x1F", 3), R"("\u0000\u0001\u001f")"},
      {"\x7F", "\"\x7F\""},  // DEL is no control character to JSON
      // UTF-8 as it is: 2, 3 and 4 bytes, the largest code point, U+2028.
      {"K\xC3\xB6ln", "\"K\xC3\xB6ln\""},
      {"\xE2\x82\xAC 5", "\"\xE2\x82\xAC 5\""},
      {"\xF0\x9F\x93\xB6", "\"\xF0\x9F\x93\xB6\""},
      {"\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
      {"\xE2\x80\xA8", "\"\xE2\x80\xA8\""},
      // Not UTF-8: each bad byte becomes U+FFFD, what follows is kept.
      {"\xFF", "\"\xEF\xBF\xBD\""},
      {"a\x80z", "\"a\xEF\xBF\xBDz\""},
      {"\xC3", "\"\xEF\xBF\xBD\""},                          // cut at the end
      {"\xC3(", "\"\xEF\xBF\xBD(\""},                         // cut before ASCII
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},           // overlong "/"
      {"\xE0\x80\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // overlong, 3 bytes
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate (CESU-8)
      {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // above U+10FFFF
      {"\xF0\x9F\x93", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // 4-byte form cut short
  };
  for (const Row& row : rows) EXPECT_EQ(JsonQuoted(row.text), row.quoted) << row.text;
}

TEST(JsonWriterTest, CommasAndNestingFollowTheValues) {
  JsonWriter w;
  w.BeginObject().StringField("command", "sms").BoolField("ok", true).Key("messages").BeginArray();
  w.BeginObject().UintField("index", 0).NullField("text").EndObject();
  w.BeginObject().IntField("class", -1).EndObject();
  w.BeginArray().EndArray().String("x").Int(-7).Uint(18446744073709551615ull).Bool(false).Null();
  w.EndArray().Key("empty").BeginObject().EndObject().Key("quote\"key").Int(1).EndObject();
  EXPECT_EQ(w.Text(),
            R"({"command":"sms","ok":true,"messages":[{"index":0,"text":null},{"class":-1},[],"x",-7,)"
            R"(18446744073709551615,false,null],"empty":{},"quote\"key":1})");
}

}  // namespace
