#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devicelib/gsm_string.h"

namespace {

using Bytes = std::vector<uint8_t>;
using GSM::GsmBytesToUnicode;
using GSM::GsmSeptetCount;
using GSM::GsmString;
using GSM::UnicodeToGsmBytes;

Bytes Encode(std::u16string_view text) {
  Bytes out(2 * text.size());
  out.resize(UnicodeToGsmBytes(text, out));
  return out;
}

TEST(GsmStringTest, EncodesDropsAndEscapesAndCountsSeptets) {
  struct Row {
    const char* what;
    std::u16string text;
    Bytes bytes;
  } const rows[] = {
      {"empty", u"", {}},
      {"fold and euro", u"Ça coûte 5€",
       {0x09, 0x61, 0x20, 0x63, 0x6F, 0x75, 0x74, 0x65, 0x20, 0x35, 0x1B, 0x65}},
      {"@ is code 0, not an end", u"a@b", {0x61, 0x00, 0x62}},
      {"every extension character", u"^{}\\[~]|€",
       {0x1B, 0x14, 0x1B, 0x28, 0x1B, 0x29, 0x1B, 0x2F, 0x1B, 0x3C, 0x1B, 0x3D, 0x1B, 0x3E, 0x1B,
        0x40, 0x1B, 0x65}},
      {"unmappable characters are dropped", u"a\u4E2Db\u0060c\u00A9", {0x61, 0x62, 0x63}},
      {"an escape in the text is dropped", u"a\u001Bb", {0x61, 0x62}},
      {"nothing mappable", u"\u4E2D\u6587\U0001F600", {}},
      {"line ends", u"a\r\nb", {0x61, 0x0D, 0x0A, 0x62}},
      {"Greek folds", u"ΑΒΓ αβγ", {0x41, 0x42, 0x13, 0x20, 0x41, 0x42, 0x13}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Encode(row.text), row.bytes);
    EXPECT_EQ(GsmSeptetCount(row.text), row.bytes.size());
    const GsmString string(row.text);
    EXPECT_EQ(Bytes(string.Data(), string.Data() + string.Length()), row.bytes);
    EXPECT_EQ(string.Empty(), row.bytes.empty());
  }
}

TEST(GsmStringTest, DecodesEscapesAndMasksTheTopBit) {
  struct Row {
    const char* what;
    Bytes bytes;
    std::u16string text;
  } const rows[] = {
      {"empty", {}, u""},
      // testdata/gsm0338.json notes ("at_sign"): 0x00 is "@" and no terminator.
      {"@ inside", {0x54, 0x2D, 0x4D, 0x00, 0x6F, 0x62, 0x69, 0x00, 0x6C, 0x65}, u"T-M@obi@le"},
      {"euro", {0x35, 0x1B, 0x65}, u"5€"},
      {"no form feed in the extension table", {0x1B, 0x0A}, u"\uFFFF"},
      {"unused extension code", {0x1B, 0x15, 0x41}, u"\uFFFFA"},
      {"escape escape", {0x1B, 0x1B, 0x41}, u"\uFFFFA"},
      {"escape at the end", {0x41, 0x1B}, u"A"},
      {"escape alone", {0x1B}, u""},
      {"escape applies to one byte only", {0x1B, 0x3C, 0x3C}, u"[<"},
      {"top bit ignored", {0xC1, 0xE1, 0x80}, u"Aa@"},
      {"top bit ignored on the escape too", {0x9B, 0xE5}, u"€"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(GsmBytesToUnicode(row.bytes), row.text);
  }
}

TEST(GsmStringTest, WholeDefaultAlphabetAndExtensionTableRoundTrip) {
  Bytes all;
  for (unsigned code = 0; code < 128; ++code) {
    if (code != 0x1B) all.push_back(static_cast<uint8_t>(code));
  }
  for (uint8_t code : {0x14, 0x28, 0x29, 0x2F, 0x3C, 0x3D, 0x3E, 0x40, 0x65}) {
    all.push_back(0x1B);
    all.push_back(code);
  }
  const std::u16string text = GsmBytesToUnicode(all);
  ASSERT_EQ(text.size(), 127u + 9u);
  EXPECT_EQ(text.find(u'\uFFFF'), std::u16string::npos);
  EXPECT_EQ(Encode(text), all);
  EXPECT_EQ(GsmSeptetCount(text), all.size());
  EXPECT_EQ(GsmString(text).ToUnicode(), text);
}

TEST(GsmStringTest, ShortOutputNeverSplitsAnEscapePair) {
  struct Row {
    std::u16string text;
    size_t room;
    Bytes bytes;
  } const rows[] = {
      {u"€", 0, {}},
      {u"€", 1, {}},
      {u"€", 2, {0x1B, 0x65}},
      {u"a€b", 2, {0x61}},
      {u"a€b", 3, {0x61, 0x1B, 0x65}},
      {u"abc", 2, {0x61, 0x62}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "room " << row.room);
    Bytes out(row.room + 4, 0xEE);  // the guard bytes after `room` must survive
    const size_t written = UnicodeToGsmBytes(row.text, std::span<uint8_t>(out.data(), row.room));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + written), row.bytes);
    EXPECT_EQ(Bytes(out.begin() + row.room, out.end()), Bytes(4, 0xEE));
  }
}

}  // namespace
