#include "sim/sms_submit_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SmsSubmitParserTest, ReadsRecipientReportRequestAndLength) {
  struct Case {
    const char* pdu;
    const char* recipient;
    bool report;
    int reference;
    int tpdu_length;
  };
  const Case cases[] = {
      // No SMSC, relative validity, GSM 7-bit "Hello".
      {"0011000B911316240486F90000AA0548656C6C6F", "+31614240689", false, 0, 19},
      {"0031050B911316240486F90000AA0548656C6C6F", "+31614240689", true, 5, 19},
      // An SMSC given, no validity period, national number with an odd digit count.
      {"07919471016700000100058121436500000548656C6C6F", "12345", false, 0, 15},
      // UCS2 (DCS 08): UDL counts octets.
      {"0001000491942100080400480069", "+4912", false, 0, 13},
      // 8-bit data (DCS 04), absolute validity period of seven octets.
      {"0019000491942100046210101234560002ABCD", "+4912", false, 0, 18},
      // Class 0 GSM 7-bit in coding group F.
      {"0001000491942100F00148", "+4912", false, 0, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pdu);
    auto submit = sim::ParseSubmitPdu(c.pdu);
    ASSERT_TRUE(submit);
    EXPECT_EQ(submit->recipient, c.recipient);
    EXPECT_EQ(submit->status_report, c.report);
    EXPECT_EQ(submit->reference, c.reference);
    EXPECT_EQ(submit->tpdu_length, c.tpdu_length);
  }
}

TEST(SmsSubmitParserTest, ReadsThePartOfALongMessage) {
  struct Case {
    const char* pdu;
    int reference;
    int total;
    int sequence;
  };
  const Case cases[] = {
      // GSM 7-bit "hello" after 05 00 03 2A 03 02 and a fill bit.
      {"0041000491942100000C0500032A0302D06536FB0D", 0x2A, 3, 2},
      // UCS2 after a 16-bit reference (08 04 1234 02 01) and another element first.
      {"0041000491942100080E0B0A030000000804123402010041", 0x1234, 2, 1},
      // No header: one message.
      {"0011000B911316240486F90000AA0548656C6C6F", 0, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pdu);
    auto submit = sim::ParseSubmitPdu(c.pdu);
    ASSERT_TRUE(submit);
    EXPECT_EQ(submit->part_reference, c.reference);
    EXPECT_EQ(submit->part_total, c.total);
    EXPECT_EQ(submit->part_sequence, c.sequence);
  }
}

TEST(SmsSubmitParserTest, RefusesWhatIsNotAWholeSubmit) {
  const std::string good = "0011000B911316240486F90000AA0548656C6C6F";
  for (size_t cut = 0; cut < good.size(); cut += 2) {
    EXPECT_FALSE(sim::ParseSubmitPdu(good.substr(0, cut))) << "cut at " << cut;
  }
  const char* bad[] = {
      "0011000B911316240486F90000AA0548656C6C6F00",  // one octet too many
      "0004000B911316240486F90000AA0548656C6C6F",    // SMS-DELIVER
      "0012000B911316240486F90000AA0548656C6C6F",    // SMS-COMMAND
      "0011000B911316240486F90000AA0548656C6C6",     // odd number of digits
      "0011000B911316240486F90000AA0548656C6C6G",    // not hex
      "FF11",                                        // SMSC longer than the PDU
      "0011001F911316240486F90000AA0548656C6C6F",    // address of 31 digits
  };
  for (const char* pdu : bad) EXPECT_FALSE(sim::ParseSubmitPdu(pdu)) << pdu;
  // A concatenation header whose element runs past the header's length.
  EXPECT_FALSE(sim::ParseSubmitPdu("0041000491942100000C050004010302D06536FB0D"));
  // 141 octets of 8-bit data do not fit one message.
  std::string big = "000100049194210004" + std::string("8D") + std::string(141 * 2, 'A');
  EXPECT_FALSE(sim::ParseSubmitPdu(big));
  big = "000100049194210004" + std::string("8C") + std::string(140 * 2, 'A');
  EXPECT_TRUE(sim::ParseSubmitPdu(big));
}

}  // namespace
