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
  // 141 octets of 8-bit data do not fit one message.
  std::string big = "000100049194210004" + std::string("8D") + std::string(141 * 2, 'A');
  EXPECT_FALSE(sim::ParseSubmitPdu(big));
  big = "000100049194210004" + std::string("8C") + std::string(140 * 2, 'A');
  EXPECT_TRUE(sim::ParseSubmitPdu(big));
}

}  // namespace
