#include "app/sms_text_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/sms_messages.h"
#include "app/string_loader.h"
#include "platform/text.h"

namespace {

using namespace sms_text;

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

TEST(SmsTextRulesTest, CountedLengthAndShortening) {
  const std::u16string euro(1, u'\u20AC');
  const std::u16string emoji = u"\U0001F600";  // a surrogate pair
  struct Case {
    const char* name;
    std::u16string text;
    bool unicode;
    int counted;
    std::u16string shortened;
  };
  const Case cases[] = {
      {"160 plain GSM characters fit", Repeat(u'a', 160), false, 160, Repeat(u'a', 160)},
      {"an extension character counts two: 160 with one is cut to 159", euro + Repeat(u'a', 159), false, 161,
       euro + Repeat(u'a', 158)},
      {"a line break counts one", u"ab\ncd", false, 5, u"ab\ncd"},
      {"a CR LF pair counts one", u"ab\r\ncd", false, 5, u"ab\r\ncd"},
      {"a CR LF pair at the cut goes whole", Repeat(u'a', 160) + u"\r\n", false, 161, Repeat(u'a', 160)},
      {"UCS-2 holds 70", Repeat(u'\u0416', 71), true, 71, Repeat(u'\u0416', 70)},
      {"extension characters count one in UCS-2", Repeat(u'a', 69) + euro, true, 70, Repeat(u'a', 69) + euro},
      {"a surrogate pair is never split", Repeat(u'a', 69) + emoji, true, 71, Repeat(u'a', 69)},
      {"an uncodable GSM character still takes room", u"\u0416", false, 1, u"\u0416"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CountedLength(c.text, c.unicode), c.counted);
    EXPECT_EQ(Shorten(c.text, c.unicode), c.shortened);
    EXPECT_EQ(Remaining(c.shortened, c.unicode), Limit(c.unicode) - CountedLength(c.shortened, c.unicode));
  }
  EXPECT_EQ(Conform(u"Gr\u00FC\u00DFe \u0416 [x]", false), u"Gr\u00FC\u00DFe  [x]");
  EXPECT_EQ(Conform(u"\u0416", true), u"\u0416");
}

TEST(SmsTextRulesTest, InsertionsAreCheckedCharacterByCharacter) {
  const std::u16string euro(1, u'\u20AC');
  struct Case {
    const char* name;
    std::u16string kept;
    std::u16string inserted;
    bool unicode;
    bool accepted;
  };
  const Case cases[] = {
      {"plain text", u"Hallo", u" Welt", false, true},
      {"a Cyrillic letter in GSM mode", u"", u"ab\u0416", false, false},
      {"the same in UCS-2", u"", u"ab\u0416", true, true},
      {"the last unit left takes a plain character", Repeat(u'a', 159), u"b", false, true},
      {"but not an extension character", Repeat(u'a', 159), euro, false, false},
      {"two units left take one", Repeat(u'a', 158), euro, false, true},
      {"a paste longer than what is left is refused whole", Repeat(u'a', 150), Repeat(u'b', 11), false, false},
      {"line breaks count one each", Repeat(u'a', 158), u"\n\n", false, true},
      {"UCS-2 stops at 70", Repeat(u'a', 70), u"b", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(InsertionAccepted(c.kept, c.inserted, c.unicode), c.accepted);
  }
  EXPECT_EQ(WithLineFeeds(u"a\r\nb\rc\n"), u"a\nb\nc\n");
}

TEST(SmsTextRulesTest, ALongMessageCountsItsPartsUpTo255) {
  const std::u16string zhe(1, u'\u0416');
  struct Case {
    const char* name;
    std::u16string text;
    bool unicode;
    const char* counter;
  };
  const Case cases[] = {
      {"one full message", Repeat(u'a', 160), false, "0 remaining character(s)"},
      {"one more makes two parts of 153", Repeat(u'a', 161), false, "2 messages, 145 characters left"},
      {"400 take three", Repeat(u'a', 400), false, "3 messages, 59 characters left"},
      {"a CR LF pair counts one", u"ab\r\ncd", false, "155 remaining character(s)"},
      {"UCS-2 parts of 67", Repeat(u'a', 71), true, "2 messages, 63 characters left"},
      {"the last of 255 parts full", Repeat(u'a', 255 * 153), false, "255 messages, 0 characters left"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::Utf16ToUtf8(CounterText(c.text, c.unicode)), c.counter);
  }
  EXPECT_EQ(Measure(Repeat(u'a', 255 * 153 + 1), false).messages, 0);

  // What the field takes: codable characters, within 255 parts.
  EXPECT_TRUE(LongInsertionAccepted(u"b", Repeat(u'a', 255 * 153), false));
  EXPECT_FALSE(LongInsertionAccepted(u"b", Repeat(u'a', 255 * 153 + 1), false));
  EXPECT_FALSE(LongInsertionAccepted(zhe, u"ab" + zhe, false));
  EXPECT_TRUE(LongInsertionAccepted(zhe, u"ab" + zhe, true));
  EXPECT_EQ(ShortenToLongest(Repeat(u'a', 255 * 67 + 5), true).size(), 255u * 67);
  EXPECT_EQ(ConformLong(u"a" + zhe + u"\r\nb", false), u"a\nb");

  EXPECT_EQ(MissingPartsText({}, 3), u"");
  EXPECT_EQ(MissingPartsText({2}, 3), u"part 2 of 3 missing");
  EXPECT_EQ(MissingPartsText({2, 3}, 4), u"parts 2 and 3 of 4 missing");
  EXPECT_EQ(MissingPartsText({1, 2, 4}, 5), u"parts 1, 2 and 4 of 5 missing");
}

TEST(SmsTextRulesTest, TheRecipientTakesOnlyWhatTheEncoderCarries) {
  struct Case {
    std::u16string before;
    std::u16string after;
    bool recipient;  // IsRecipient(after)
    bool edit;       // RecipientEditAccepted(before, after)
  };
  const Case cases[] = {
      {u"", u"+491701234567", true, true},
      {u"", u"#31#0171", true, true},
      {u"12", u"12*34", false, false},             // the encoder stops at "*"
      {u"", u"4+9", false, false},                 // "+" only first
      {u"+49", u"1+49", false, false},             // nor in front of the "+"
      {u"", Repeat(u'1', 20), true, true},
      {u"", Repeat(u'1', 21), false, false},       // the encoder keeps 20
      {u"", u"+" + Repeat(u'1', 20), true, true},
      {u"", u"+" + Repeat(u'1', 21), false, false},
      {u"", u"abc", false, false},
      {u"Vombel", u"Vomel", false, true},          // a sender's name can be deleted
      {u"Vombel", u"", true, true},
      {u"Vombel", u"Vombel1", false, false},       // but not extended
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.after.begin(), c.after.end()));
    EXPECT_EQ(IsRecipient(c.after), c.recipient);
    EXPECT_EQ(RecipientEditAccepted(c.before, c.after), c.edit);
  }
}

TEST(SmsTextRulesTest, CommandTextsAndTimeStamps) {
  EXPECT_EQ(CommandName(u"New\nCreate a new SMS message"), u"New");
  EXPECT_EQ(CommandTip(u"New\nCreate a new SMS message"), u"Create a new SMS message");
  EXPECT_EQ(CommandTip(u"New"), u"");
  EXPECT_EQ(CommandTip(u"X\n" + Repeat(u'y', 100)).size(), kToolTipMax);
  // 2026-03-14 14:09:26 UTC.
  EXPECT_EQ(TimeStampToUnixSeconds(134179709660000000ull), 1773497366);
  EXPECT_EQ(TimeStampToUnixSeconds(0), 0);
}

TEST(SmsTextRulesTest, TheInboxListsNewestFirstAndEveryListHoldsCopies) {
  auto record = [](uint32_t index, uint32_t type, uint32_t status, uint64_t stamp) {
    SmsMessage m;
    std::memset(&m, 0, sizeof m);
    m.Index = index;
    m.MessageType = type;
    m.StorageStatus = status;
    m.TimeStamp = stamp;
    return m;
  };
  CSmsMessages store;
  store.Put(record(0, kSmsMessageTypeReceived, kSmsStorageReceivedRead, 100));
  store.Put(record(1, kSmsMessageTypeReceived, kSmsStorageReceivedUnread, 300));
  store.Put(record(2, kSmsMessageTypeSubmit, kSmsStorageStoredUnsent, 0));
  store.Put(record(3, kSmsMessageTypeReceived, kSmsStorageReceivedRead, 100));
  store.Put(record(4, kSmsMessageTypeSubmit, kSmsStorageStoredSent, 0));
  const std::vector<SmsMessage> inbox = store.Rows(CSmsMessages::FolderInbox);
  ASSERT_EQ(inbox.size(), 3u);
  EXPECT_EQ(inbox[0].Index, 1u);
  EXPECT_EQ(inbox[1].Index, 0u);  // equal stamps keep the store's order
  EXPECT_EQ(inbox[2].Index, 3u);
  ASSERT_EQ(store.Rows(CSmsMessages::FolderUnsent).size(), 1u);
  EXPECT_EQ(store.Rows(CSmsMessages::FolderSent)[0].Index, 4u);
  store.Clear();
  EXPECT_EQ(inbox[0].Index, 1u);  // the copies outlive the records
}

TEST(SmsTextRulesTest, DeliveryStatusOfEachGroupOfTpSt) {
  using enum DeliveryOutcome;
  struct Case {
    uint8_t tp_st;
    DeliveryOutcome outcome;
    const char* reason;  // "" for none
  };
  const Case cases[] = {
      {0x00, kDelivered, ""},
      {0x01, kDelivered, "Forwarded, delivery not confirmed"},
      {0x02, kDelivered, "Replaced by the service centre"},
      {0x03, kFailed, "Service rejected"},  // reserved
      {0x1F, kDelivered, ""},               // service-centre specific
      {0x20, kPending, "Network congestion"},
      {0x25, kPending, "Error in the recipient's phone"},
      {0x26, kFailed, "Service rejected"},
      {0x30, kPending, "The service centre is still trying"},
      {0x40, kFailed, "Remote procedure error"},
      {0x44, kFailed, "Quality of service not available"},
      {0x46, kFailed, "Validity period expired"},
      {0x49, kFailed, "Message does not exist"},
      {0x4A, kFailed, "Service rejected"},
      {0x5F, kFailed, "Permanent error of the service centre"},
      {0x61, kFailed, "Recipient busy"},
      {0x66, kFailed, "Service rejected"},
      {0x7F, kFailed, "Temporary error of the service centre"},
      {0x80, kFailed, "Service rejected"},
      {0xFF, kFailed, "Service rejected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tp_st);
    const DeliveryStatus status = DeliveryStatusOf(c.tp_st);
    EXPECT_EQ(status.outcome, c.outcome);
    EXPECT_EQ(status.reason != 0 ? platform::Utf16ToUtf8(LoadProgramString(status.reason)) : std::string(), c.reason);
  }
}

TEST(SmsMessagesTest, AStatusReportGoesToTheNewestPendingMessageWithItsReference) {
  CSmsMessages store;
  store.SetDeliveryPending(0, 7);
  store.SetDeliveryPending(1, 7);  // the card gave the reference out again
  store.SetDeliveryPending(2, 8);
  EXPECT_FALSE(store.ApplyStatusReport(9, 0x00, 1));
  ASSERT_TRUE(store.ApplyStatusReport(7, 0x21, 1));  // busy: still pending
  EXPECT_EQ(store.Delivery(1)->state, SmsDelivery::Pending);
  ASSERT_TRUE(store.ApplyStatusReport(7, 0x00, 2));
  EXPECT_EQ(store.Delivery(1)->state, SmsDelivery::Delivered);
  EXPECT_EQ(store.Delivery(1)->time, 2u);
  ASSERT_TRUE(store.ApplyStatusReport(7, 0x46, 3));  // now the older one
  EXPECT_EQ(store.Delivery(0)->state, SmsDelivery::Failed);
  EXPECT_FALSE(store.ApplyStatusReport(7, 0x00, 4));  // nothing pending with 7 is left
  EXPECT_EQ(store.Delivery(2)->state, SmsDelivery::Pending);
  EXPECT_EQ(store.Delivery(3), nullptr);
}

}  // namespace
