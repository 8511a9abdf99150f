#include <gtest/gtest.h>

#include <cstdint>

#include "devicelib/valid_char.h"
#include "tests/support/log_capture.h"

namespace {

struct Row {
  char16_t character;
  int units;
};

void CheckAlphabet(uint32_t alphabet, std::initializer_list<Row> rows) {
  for (const auto& row : rows) {
    EXPECT_EQ(DvIsValidChar(alphabet, row.character), row.units)
        << "alphabet " << alphabet << ", U+" << std::hex << static_cast<unsigned>(row.character);
  }
}

TEST(DvIsValidCharTest, GsmCountsEscapesTwiceAndRefusesTheRest) {
  CheckAlphabet(kDvAlphabetGsm7Bit,
                {{u'A', 1}, {u'@', 1}, {u'ß', 1}, {u'\n', 1}, {u'Ω', 1},
                 {u'ç', 1}, {u'ω', 1},  // folded onto Ç and Ω
                 {u'[', 2}, {u'|', 2}, {u'€', 2},
                 {u'\u4E2D', 0}, {u'`', 0}, {u'\u001B', 0}, {u'\u00A0', 0}, {u'\u0000', 0},
                 {0xD83D, 0}});
}

TEST(DvIsValidCharTest, Ucs2AdmitsEveryUnitAsOne) {
  CheckAlphabet(kDvAlphabetUcs2, {{u'A', 1}, {u'€', 1}, {u'\u4E2D', 1}, {u'\u0000', 1},
                                  {0xD83D, 1}, {u'\uFFFF', 1}});
}

// The 8-bit count follows code page 949, the one 8-bit SMS text is packed in.
TEST(DvIsValidCharTest, EightBitCountsCodePage949Bytes) {
  testing_support::LogCapture log(3);
  CheckAlphabet(kDvAlphabet8Bit,
                {{u'A', 1}, {u'~', 1}, {u'\u0000', 1},
                 {u'?', 1},  // a real "?", not the default character
                 {u'가', 2}, {u'中', 2}, {u'€', 2}, {u'ß', 2},
                 {u'é', 0}, {u'\u0E01', 0},  // not in 949: they would become "?"
                 {0xD83D, 0}});               // half a character
  // All of these are answers, not problems: nothing is logged.
  EXPECT_TRUE(log.Lines().empty());
}

TEST(DvIsValidCharTest, UnknownAlphabetAdmitsNothing) {
  for (uint32_t alphabet : {3u, 4u, 0xFFFFFFFFu}) {
    CheckAlphabet(alphabet, {{u'A', 0}, {u'€', 0}});
  }
}

}  // namespace
