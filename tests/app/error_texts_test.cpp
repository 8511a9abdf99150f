#include "app/error_texts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/cached_dravik.h"
#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

ErrorReport Report(DvResult code, bool flag = false, int pin_puk_state = 1, int removable_kind = 0) {
  ErrorReport report;
  report.code = code;
  report.flag = flag;
  report.pin_puk_state = pin_puk_state;
  report.removable_kind = removable_kind;
  return report;
}

StringLoader Table(std::map<unsigned, std::u16string> texts) {
  return [texts = std::move(texts)](unsigned id) {
    const auto found = texts.find(id);
    return found == texts.end() ? std::u16string() : found->second;
  };
}

// The program's own table: the card's texts, the gaps between them, and
// numbers whose naive string number lands on the fall-back, in the other
// list's range or on the application's texts.
TEST(ErrorTextsTest, CardErrorsWithAndWithoutTextsOfTheirOwn) {
  struct Row {
    DvResult code;
    const char* text;
  };
  const Row rows[] = {
      {DvCmeError(0), "Phone failure [0x84010000]"},
      {DvCmeError(14), "SIM busy [0x8401000e]"},
      {DvCmeError(150), "Invalid mobile class [0x84010096]"},
      {DvCmeError(8), "Unknown firmware error (8). [0x84010008]"},       // a gap in the list
      {DvCmeError(99), "Unknown firmware error (99). [0x84010063]"},     // the fall-back's own number
      {DvCmeError(151), "Unknown firmware error (151). [0x84010097]"},   // past the last text
      {DvCmeError(1999), "Unknown firmware error (1999). [0x840107cf]"},
      {DvCmeError(2300), "Unknown firmware error (2300). [0x840108fc]"},  // 42300: an SMS text
      {DvCmeError(2999), "Unknown firmware error (2999). [0x84010bb7]"},  // 42999: the SMS fall-back
      {DvCmeError(17344), "Unknown firmware error (17344). [0x840143c0]"},  // 57344: the title
      {DvCmeError(65535), "Unknown firmware error (65535). [0x8401ffff]"},
      {DvCmsError(310), "SIM not inserted [0x84020136]"},
      {DvCmsError(500), "Unknown error [0x840201f4]"},
      {DvCmsError(0), "Unknown SMS error (0). [0x84020000]"},
      {DvCmsError(306), "Unknown SMS error (306). [0x84020132]"},
      {DvCmsError(998), "Unknown SMS error (998). [0x840203e6]"},
      {DvCmsError(999), "Unknown SMS error (999). [0x840203e7]"},
      {DvCmsError(1000), "Unknown SMS error (1000). [0x840203e8]"},
      {DvCmsError(15344), "Unknown SMS error (15344). [0x84023bf0]"},  // 57344: the title
      {DvCmsError(65535), "Unknown SMS error (65535). [0x8402ffff]"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Utf16ToUtf8(MakeErrorText(Report(row.code))), row.text) << std::hex << row.code;
  }
}

TEST(ErrorTextsTest, CodesWithTextsOfTheirOwnAndTheFlag) {
  struct Row {
    const char* what;
    ErrorReport report;
    const char* text;
  };
  const Row rows[] = {
      {"no SIM, kind 0", Report(0x8401000A, false, 1, 0), "SIM card is not inserted."},
      {"no SIM, kind 1", Report(0x8401000A, false, 1, 1), "SIM card is not inserted."},
      {"no SIM, kind 2", Report(0x8401000A, false, 1, 2),
       "SIM card is not inserted.\nPlease remove the device, insert the SIM card and insert the device again."},
      {"no SIM, kind 3", Report(0x8401000A, true, 1, 3),
       "SIM card is not inserted.\nPlease turn off the computer, insert the SIM card and turn the computer on "
       "again."},
      {"SIM failure", Report(0x8401000D),
       "SIM card failure.\nPlease make sure that the SIM card is inserted correctly."},
      {"SIM failure or missing", Report(0x84010384), "SIM failure or SIM not inserted."},
      {"wrong PIN", Report(0x84010010), "Incorrect PIN code."},
      {"wrong PUK", Report(0x84010010, true), "Incorrect PUK code."},
      {"APN refused", Report(0x84010019, true),
       "Unable to complete the operation.\nPlease make sure that APN is correct."},
      {"text refused", Report(0x84010019), "Unable to complete the operation. [0x84010019]"},
      {"CME with the flag", Report(DvCmeError(14), true), "SIM busy [0x8401000e]"},
      {"CMS with the flag", Report(DvCmsError(310), true), "The connection has failed. [0x84020136]"},
      {"library code, flag", Report(DV_E_NO_ANSWER, true), "The connection has failed. [0x84000002]"},
      {"library code", Report(DV_E_NO_ANSWER), "Unable to complete the operation. [0x84000002]"},
      {"system error", Report(0x80070005), "Unable to complete the operation. [0x80070005]"},
      {"connection group", Report(DV_E_CONNECTION_BASE | 0x2A), "The connection has failed. [0x8404002a]"},
      {"success, flag", Report(DV_S_OK, true), "The connection has failed. [0x0]"},
      {"success", Report(DV_S_OK), "Unable to complete the operation. [0x0]"},
      // Not a failure, though bits 16..28 read as the card's group.
      {"positive, CME bits", Report(0x0401000A), "Unable to complete the operation. [0x401000a]"},
      {"locked 6", Report(DV_S_OK, false, 6),
       "This device has been locked. Please contact the telecom provider from which you acquired this device."},
      {"locked 13", Report(DV_S_OK, false, 13),
       "This device has been locked. Please contact the telecom provider from which you acquired this device."},
      {"state 14", Report(DV_S_OK, false, 14), "Unable to complete the operation. [0x0]"},
      {"locked, flag", Report(DV_S_OK, true, 6), "The connection has failed. [0x0]"},
      {"locked, a code", Report(DV_E_NO_DEVICE, false, 6), "Unable to complete the operation. [0x84000008]"},
  };
  for (const Row& row : rows) EXPECT_EQ(Utf16ToUtf8(MakeErrorText(row.report)), row.text) << row.what;
}

// The edges of each list's own strings, against a table that has a text on
// both sides of every edge.
TEST(ErrorTextsTest, ListRangesEndWhereTheNextRangeBegins) {
  const StringLoader table = Table({{40098, u"cme 98"},
                                    {40099, u"cme fall-back %d, %d"},
                                    {41999, u"cme 1999"},
                                    {42000, u"cms 0"},
                                    {42998, u"cms 998"},
                                    {42999, u"cms fall-back %d"},
                                    {43000, u"after cms"}});
  struct Row {
    CardErrorList list;
    uint32_t number;
    const char* text;
  };
  const Row rows[] = {
      {CardErrorList::kEquipment, 98, "cme 98"},
      {CardErrorList::kEquipment, 99, "cme fall-back 99, %d"},
      {CardErrorList::kEquipment, 1999, "cme 1999"},
      {CardErrorList::kEquipment, 2000, "cme fall-back 2000, %d"},
      {CardErrorList::kEquipment, 0x10000, "cme fall-back 65536, %d"},
      {CardErrorList::kMessageService, 0, "cms 0"},
      {CardErrorList::kMessageService, 998, "cms 998"},
      {CardErrorList::kMessageService, 999, "cms fall-back 999"},
      {CardErrorList::kMessageService, 1000, "cms fall-back 1000"},
      {CardErrorList::kMessageService, 0xFFFFFFFF, "cms fall-back 4294967295"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Utf16ToUtf8(CardErrorText(row.list, row.number, table)), row.text) << row.number;
  }
}

// A card error text is data: its "%" sequences are shown as they are. Without
// any text for the number the error falls back to the generic text, and
// without that to an empty text, never to a stray " [0x…]".
TEST(ErrorTextsTest, CardTextsAreDataAndMissingTextsFallBack) {
  const StringLoader table = Table({{126, u"Unable [0x%x] %s %d"}, {40005, u"50%s %x %d"}});
  EXPECT_EQ(Utf16ToUtf8(MakeErrorText(Report(DvCmeError(5)), table)), "50%s %x %d [0x84010005]");
  EXPECT_EQ(Utf16ToUtf8(MakeErrorText(Report(DvCmeError(6)), table)), "Unable [0x84010006] %s %d");
  EXPECT_EQ(Utf16ToUtf8(MakeErrorText(Report(DvCmsError(5)), table)), "Unable [0x84020005] %s %d");
  const StringLoader empty = [](unsigned) { return std::u16string(); };
  EXPECT_EQ(MakeErrorText(Report(DvCmsError(5)), empty), u"");
  EXPECT_EQ(MakeErrorText(Report(DvCmeError(14)), empty), u"");
}

TEST(ErrorTextsTest, TextsAreCutToTheLimitWithoutSplittingACharacter) {
  const std::u16string long_text(300, u'a');
  EXPECT_EQ(MakeErrorText(Report(DvCmeError(5)), Table({{40005, long_text}})), std::u16string(259, u'a'));
  // A surrogate pair across the limit goes whole.
  std::u16string paired(258, u'b');
  paired += u"\U0001F4F6 tail";
  EXPECT_EQ(MakeErrorText(Report(DvCmeError(5)), Table({{40005, paired}})), std::u16string(258, u'b'));
  // A text at the limit is kept whole: here the code ends it.
  const std::u16string fits(259 - 13, u'c');  // " [0x84010005]" is 13 units
  EXPECT_EQ(MakeErrorText(Report(DvCmeError(5)), Table({{40005, fits}})).size(), 259u);
}

TEST(ErrorTextsTest, ReportFromTheMessageAndTheCache) {
  CachedDravikValues cache;
  cache.PinPukState = 3;
  cache.RemovableKind = 2;
  const ErrorReport puk = ErrorReport::From(0x84010010u, static_cast<intptr_t>(int32_t(0x84010010u)), cache);
  EXPECT_EQ(puk.code, 0x84010010u);
  EXPECT_TRUE(puk.flag);
  EXPECT_EQ(puk.pin_puk_state, 3);
  EXPECT_EQ(puk.removable_kind, 2);
  EXPECT_EQ(Utf16ToUtf8(MakeErrorText(puk)), "Incorrect PUK code.");
  const ErrorReport pin = ErrorReport::From(0x84010010u, 0, cache);
  EXPECT_FALSE(pin.flag);
  EXPECT_EQ(Utf16ToUtf8(MakeErrorText(pin)), "Incorrect PIN code.");
}

}  // namespace
