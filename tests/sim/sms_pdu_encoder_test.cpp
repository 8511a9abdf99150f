#include "sim/sms_pdu_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sim::DeliverMessage;
using sim::EncodeDeliver;
using sim::SmsTimestamp;

struct DeliverCase {
  const char* name;
  DeliverMessage message;
  const char* hex;
  int length;
};

// The first two PDUs are real cards' answers ("+CMGL:" and "+CMT:" captures);
// the others are built by hand from the field layout.
TEST(SmsPduEncoderTest, DeliverPdusMatchTheCardsOwn) {
  const DeliverCase cases[] = {
      {"seven-bit, zone +2h",
       {"+31640191919", "+31614240689", "Hallo Pim", SmsTimestamp{2017, 6, 26, 11, 32, 19, 8}, false},
       "07911346101919F9040B911316240486F900007160621123918009C8309BFD0641D36D", 27},
      {"seven-bit, zone +1h",
       {"+48798423250", "+48694405877", "Test", SmsTimestamp{2017, 12, 23, 10, 44, 47, 4}, false},
       "07918497483252F0040B918496445078F700007121320144744004D4F29C0E", 23},
      {"UCS2 for a character beyond the basic set, no service centre",
       {"", "+4912", "\xE2\x82\xAC" "A", SmsTimestamp{2026, 12, 8, 1, 2, 3, 0}, false},
       "0004049194210008622180102030000420AC0041", 19},
      {"seven-bit with the extension table when asked: ESC and the euro's code",
       {"", "+4912", "5\xE2\x82\xAC", SmsTimestamp{2026, 12, 8, 1, 2, 3, 0}, false, true},
       "00040491942100006221801020300003B54D19", 18},
      {"class 0, negative zone, national sender",
       {"", "0171", "Hi", SmsTimestamp{2026, 1, 2, 3, 4, 5, -8}, false},
       "00040481101700106210203040508802C834", 17},
      {"alphanumeric sender",
       {"", "Vombel", "", SmsTimestamp{2026, 1, 1, 0, 0, 0, 0}, false},
       "00040BD0D6775B5C660300006210100000000000", 19},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name).starts_with("class 0")) c.message.flash = true;
    const auto pdu = EncodeDeliver(c.message);
    EXPECT_EQ(pdu.hex, c.hex);
    EXPECT_EQ(pdu.tpdu_length, c.length);
  }
}

TEST(SmsPduEncoderTest, OverlongTextsAreCutToOneMessage) {
  DeliverMessage message{"", "+4912", std::string(200, 'a'), {}, false};
  auto pdu = EncodeDeliver(message);
  // 160 septets pack into 140 octets after a 15-octet header.
  EXPECT_EQ(pdu.tpdu_length, 15 + 140);
  message.text.clear();
  for (int i = 0; i < 80; ++i) message.text += "\xD0\x96";  // Cyrillic Zhe, UCS2 only
  pdu = EncodeDeliver(message);
  EXPECT_EQ(pdu.tpdu_length, 15 + 140);
}

TEST(SmsPduEncoderTest, ALongTextIsDeliveredInPartsWithTheirHeader) {
  // Built by hand: TP-UDHI, UDH 05 00 03 2A 03 02, one fill bit, "hello".
  DeliverMessage hello{"", "+4912", "hello", SmsTimestamp{2026, 12, 8, 1, 2, 3, 0}, false};
  hello.part = sim::MessagePart{0x2A, 3, 2};
  EXPECT_EQ(EncodeDeliver(hello).hex, "0044049194210000622180102030000C0500032A0302D06536FB0D");

  const std::string euro = "\xE2\x82\xAC";
  const std::string zhe = "\xD0\x96";
  struct Case {
    const char* name;
    std::string text;
    bool extension_table;
    std::vector<size_t> part_bytes;  // UTF-8 bytes of each part's text
  };
  const Case cases[] = {
      {"one message needs no header", std::string(160, 'a'), false, {160}},
      {"400 septets in three parts", std::string(400, 'a'), false, {153, 153, 94}},
      {"an escape is never cut from its code", std::string(152, 'a') + euro + "b" + std::string(10, 'c'), true,
       {152, 3 + 11}},
      {"UCS2 parts of 67", [&] {
         std::string t;
         for (int i = 0; i < 71; ++i) t += zhe;
         return t;
       }(), false, {67 * 2, 4 * 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeliverMessage message{"", "+4912", c.text, {}, false, c.extension_table};
    const std::vector<DeliverMessage> parts = sim::SplitIntoParts(message, 300);
    std::vector<size_t> bytes;
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
      bytes.push_back(parts[i].text.size());
      joined += parts[i].text;
      EXPECT_EQ(parts[i].part.has_value(), parts.size() > 1);
      if (parts[i].part) {
        EXPECT_EQ(parts[i].part->reference, 300 & 0xFF);
        EXPECT_EQ(parts[i].part->total, static_cast<int>(parts.size()));
        EXPECT_EQ(parts[i].part->sequence, static_cast<int>(i) + 1);
      }
      // Every part fits its PDU whole: 140 octets of user data at most.
      EXPECT_LE(EncodeDeliver(parts[i]).tpdu_length, 15 + 140);
    }
    EXPECT_EQ(bytes, c.part_bytes);
    EXPECT_EQ(joined, c.text);
  }
}

TEST(SmsPduEncoderTest, StatusReportCarriesReferenceTimesAndStatus) {
  sim::StatusReport report;
  report.reference = 5;
  report.recipient = "+4912";
  report.sent = {2026, 12, 8, 1, 2, 3, 4};
  report.discharged = {2026, 12, 8, 1, 2, 9, 4};
  report.status = 0x40;
  const auto pdu = EncodeStatusReport(report);
  EXPECT_EQ(pdu.hex, "00060504919421" "62218010203040" "62218010209040" "40");
  EXPECT_EQ(pdu.tpdu_length, 21);
}

}  // namespace
