// Where a long text is cut into messages: the one-message limits, the part
// limits, characters that take more than one unit at a boundary, and the
// 255-part limit.
#include "devicelib/sms_text_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicelib/valid_char.h"

namespace {

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

TEST(SmsTextSplitTest, PartsFillInOrderAndNeverCutACharacter) {
  const std::u16string euro = u"\u20AC";         // ESC and a code in GSM
  const std::u16string zhe = u"\u0416";          // no GSM code
  const std::u16string emoji = u"\U0001F600";    // a surrogate pair
  const std::u16string hangul = u"\uAC00";       // two octets in code page 949
  struct Case {
    const char* name;
    std::u16string text;
    uint32_t alphabet;
    std::vector<size_t> part_units;  // UTF-16 units of each part; empty: refused
    size_t capacity;
    size_t last_used;
    size_t fitting;
  };
  const Case cases[] = {
      {"empty: one empty message", u"", kDvAlphabetGsm7Bit, {0}, 160, 0, 0},
      {"160 septets are one message", Repeat(u'a', 160), kDvAlphabetGsm7Bit, {160}, 160, 160, 160},
      {"161 make two parts of 153", Repeat(u'a', 161), kDvAlphabetGsm7Bit, {153, 8}, 153, 8, 161},
      {"400 make three", Repeat(u'a', 400), kDvAlphabetGsm7Bit, {153, 153, 94}, 153, 94, 400},
      {"an escape filling one message exactly", Repeat(u'a', 158) + euro, kDvAlphabetGsm7Bit, {159}, 160, 160, 159},
      {"an escape ending a part exactly", Repeat(u'a', 151) + euro + Repeat(u'b', 10), kDvAlphabetGsm7Bit,
       {152, 10}, 153, 10, 162},
      {"an escape with one septet left goes to the next part", Repeat(u'a', 152) + euro + Repeat(u'b', 10),
       kDvAlphabetGsm7Bit, {152, 11}, 153, 12, 163},
      {"an uncodable character costs nothing", zhe + Repeat(u'a', 160), kDvAlphabetGsm7Bit, {161}, 160, 160, 161},
      {"255 full GSM parts", Repeat(u'a', 255 * 153), kDvAlphabetGsm7Bit,
       std::vector<size_t>(255, 153), 153, 153, 255 * 153},
      {"one septet more is refused", Repeat(u'a', 255 * 153 + 1), kDvAlphabetGsm7Bit, {}, 153, 0, 255 * 153},
      {"70 UCS2 units are one message", Repeat(u'a', 70), kDvAlphabetUcs2, {70}, 70, 70, 70},
      {"71 make two parts of 67", Repeat(u'a', 71), kDvAlphabetUcs2, {67, 4}, 67, 4, 71},
      {"a surrogate pair is never cut", Repeat(u'a', 66) + emoji + Repeat(u'b', 5), kDvAlphabetUcs2, {66, 7}, 67,
       7, 73},
      {"255 full UCS2 parts, one more refused", Repeat(u'a', 255 * 67 + 1), kDvAlphabetUcs2, {}, 67, 0, 255 * 67},
      {"140 octets are one message", Repeat(u'a', 140), kDvAlphabet8Bit, {140}, 140, 140, 140},
      {"a double-byte character with one octet left goes on", Repeat(u'a', 133) + hangul + Repeat(u'b', 10),
       kDvAlphabet8Bit, {133, 11}, 134, 12, 144},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SMS::TextParts split = SMS::SplitText(c.text, c.alphabet);
    EXPECT_EQ(split.Refused(), c.part_units.empty());
    std::vector<size_t> units;
    std::u16string joined;
    for (const std::u16string& part : split.parts) {
      units.push_back(part.size());
      joined += part;
    }
    EXPECT_EQ(units, c.part_units);
    if (!split.Refused()) {
      EXPECT_EQ(joined, c.text);
    }
    EXPECT_EQ(split.capacity, c.capacity);
    EXPECT_EQ(split.last_used, c.last_used);
    EXPECT_EQ(split.fitting, c.fitting);
  }
}

}  // namespace
