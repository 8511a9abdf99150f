#include "devicelib/own_phone_numbers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OwnNumbersCase {
  std::u16string answer;
  std::u16string numbers;
};

TEST(OwnPhoneNumbersTest, TakesTheLastQuotedTextOfEveryLine) {
  const OwnNumbersCase cases[] = {
      // What the card's own-number call hands over: the rest of the first line.
      {u" \"Voice\",\"+491701234567\",145", u"+491701234567"},
      {u" \"\",\"+491701234567\",145", u"+491701234567"},
      // Several entries, line ends of every kind, empty lines between.
      {u" \"Voice\",\"+4917011\",145\r\n\r\n \"Data\",\"017022\",129\n\"Fax\",\"+4917033\",145\r",
       u"+4917011;017022;+4917033"},
      // An entry without a number adds nothing, nor does one unquoted.
      {u" \"Voice\",\"\",129\r\n \"Data\",\"+4917022\",145", u"+4917022"},
      {u" +491701234567,145", u""},
      {u"\"", u""},
      {u"\"\"", u""},
      {u"a\"b", u""},
      // Only the last pair counts, even when the type is quoted too.
      {u" \"Voice\",\"+4917011\",\"145\"", u"145"},
      {u"", u""},
      {u"\r\n\r\n", u""},
  };
  for (const OwnNumbersCase& c : cases) {
    EXPECT_EQ(ParseOwnPhoneNumbers(c.answer), c.numbers)
        << std::string(c.answer.begin(), c.answer.end());
  }
}

}  // namespace
