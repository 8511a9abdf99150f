#include <gtest/gtest.h>

#include <string>

#include "devicelib/line_classifier.h"
#include "platform/text.h"

namespace {

using namespace GSM;

struct Row {
  std::u16string text;
  AnswerKind kind;
  DvResult code = DV_S_OK;
  uint32_t type = 0;
};

void Check(const Row& row) {
  const LineClass c = ClassifyLine(row.text);
  const std::string text = platform::Utf16ToUtf8(row.text);
  EXPECT_EQ(c.kind, row.kind) << "'" << text << "'";
  if (row.kind == AnswerKindFinal) {
    EXPECT_EQ(c.result_code, row.code) << std::hex << "'" << text << "'";
  }
  if (row.kind == AnswerKindUnsolicited) {
    EXPECT_EQ(c.unsolicited_type, row.type) << "'" << text << "'";
  }
}

TEST(LineClassifierTest, FinalResults) {
  const Row rows[] = {
      {u"OK", AnswerKindFinal, DV_S_OK},
      {u"ERROR", AnswerKindFinal, DV_E_ERROR},
      {u"+CME ERROR: 10", AnswerKindFinal, 0x8401000A},
      {u"+CME ERROR: 0010", AnswerKindFinal, 0x8401000A},
      {u"+CME ERROR: 65535", AnswerKindFinal, 0x8401FFFF},
      {u"+CMS ERROR: 500", AnswerKindFinal, 0x840201F4},
      // from testdata/at_answers.json
      {u"+CME ERROR: 123", AnswerKindFinal, 0x8401007B},
      // Not final results: each must wait for the real one.
      {u"OK ", AnswerKindIntermediate},
      {u"ok", AnswerKindIntermediate},
      {u"OK\r", AnswerKindIntermediate},
      {u"ERRORS", AnswerKindIntermediate},
      {u"+CME ERROR: 10x", AnswerKindIntermediate},
      {u"+CME ERROR:10", AnswerKindIntermediate},
      {u"+CME ERROR: 1 ", AnswerKindIntermediate},
      // A number beyond 16 bits would fold onto an unrelated error number.
      {u"+CME ERROR: 65536", AnswerKindIntermediate},
      {u"+CMS ERROR: 99999999999999999999", AnswerKindIntermediate},
      {u"UNKNOWN COMMAND", AnswerKindIntermediate},  // testdata/at_answers.json: no final result
      {u"NO CARRIER", AnswerKindUnsolicited, DV_S_OK, UnsolicitedTypeNoCarrier},
      {u"", AnswerKindIntermediate},
  };
  for (const auto& row : rows) Check(row);
}

// A card another program left in verbose error mode (AT+CMEE=2) words its
// errors; each must still end the command, with its number where the text is
// a known one.
TEST(LineClassifierTest, VerboseAndWordedFinalResults) {
  const Row rows[] = {
      {u"+CME ERROR: SIM not inserted", AnswerKindFinal, 0x8401000A},
      {u"+CME ERROR: sim NOT inserted", AnswerKindFinal, 0x8401000A},
      {u"+CME ERROR:  SIM PIN required ", AnswerKindFinal, 0x8401000B},
      {u"+CME ERROR:SIM busy", AnswerKindFinal, 0x8401000E},
      {u"+CME ERROR: incorrect password", AnswerKindFinal, 0x84010010},
      {u"+CME ERROR: unknown", AnswerKindFinal, 0x84010064},
      {u"+CME ERROR: GPRS services not allowed", AnswerKindFinal, 0x8401006B},
      {u"+CMS ERROR: SIM not inserted", AnswerKindFinal, 0x84020136},
      {u"+CMS ERROR: invalid PDU mode parameter", AnswerKindFinal, 0x84020130},
      {u"+CMS ERROR: no +CNMA acknowledgement expected", AnswerKindFinal, 0x84020154},
      // Unknown or empty texts: an error without a number. The last two are
      // from testdata/at_answers.json.
      {u"+CME ERROR: SIM not insertedx", AnswerKindFinal, DV_E_ERROR},
      {u"+CME ERROR: ", AnswerKindFinal, DV_E_ERROR},
      {u"+CME ERROR:", AnswerKindFinal, DV_E_ERROR},
      {u"+CMS ERROR: operation not allowed yet", AnswerKindFinal, DV_E_ERROR},
      {u"+CMS ERROR: bananas", AnswerKindFinal, DV_E_ERROR},
      {u"+CMS ERROR:", AnswerKindFinal, DV_E_ERROR},
      // The card family's refusals (testdata/at_answers.json).
      {u"COMMAND NOT SUPPORT", AnswerKindFinal, DV_E_ERROR},
      {u"TOO MANY PARAMETERS", AnswerKindFinal, DV_E_ERROR},
      // Not these: other case, trailing text, a prefix that is no error.
      {u"command not support", AnswerKindIntermediate},
      {u"COMMAND NOT SUPPORTED BY ME", AnswerKindIntermediate},
      {u"+CME ERRORS: SIM busy", AnswerKindIntermediate},
      {u"+CME: SIM busy", AnswerKindIntermediate},
  };
  for (const auto& row : rows) Check(row);
}

TEST(LineClassifierTest, UnsolicitedResultsByPrefix) {
  const Row rows[] = {
      {u"RING", AnswerKindUnsolicited, 0, UnsolicitedTypeRing},
      {u"NO CARRIER", AnswerKindUnsolicited, 0, UnsolicitedTypeNoCarrier},
      {u"BUSY", AnswerKindUnsolicited, 0, UnsolicitedTypeBusy},
      // from testdata/at_answers.json
      {u"+CREG: 1,\"CE00\",\"00005449\"", AnswerKindUnsolicited, 0, UnsolicitedTypeCreg},
      {u"+CGREG: 0", AnswerKindUnsolicited, 0, UnsolicitedTypeCgreg},
      {u"+CMTI: \"ME\",1", AnswerKindUnsolicited, 0, UnsolicitedTypeCmti},
      {u"+CUSD: 1", AnswerKindUnsolicited, 0, UnsolicitedTypeCusd},
      {u"+CMT: ,23;0791", AnswerKindUnsolicited, 0, UnsolicitedTypeCmt},
      // A query answer that starts like an unsolicited report is one too.
      {u"+CREG: 1,5", AnswerKindUnsolicited, 0, UnsolicitedTypeCreg},
      {u"RINGING", AnswerKindUnsolicited, 0, UnsolicitedTypeRing},
      // Prefixes are case-sensitive and need their colon.
      {u"+creg: 1", AnswerKindIntermediate},
      {u"+CMGL: 1,0,\"\",27", AnswerKindIntermediate},
      {u"+CPIN: READY", AnswerKindIntermediate},
      {u"NO DIALTONE", AnswerKindIntermediate},
  };
  for (const auto& row : rows) Check(row);
}

// Each prefix must reach its own index: a shorter prefix earlier in the table
// that also matched would steal its lines.
TEST(LineClassifierTest, EveryPrefixOfTheTableGivesItsOwnType) {
  ASSERT_EQ(kUnsolicitedPrefixes.size(), 42u);
  for (uint32_t type = 0; type < kUnsolicitedPrefixes.size(); ++type) {
    const std::u16string line = std::u16string(kUnsolicitedPrefixes[type]) + u" 1,2";
    const LineClass c = ClassifyLine(line);
    EXPECT_EQ(c.kind, AnswerKindUnsolicited) << platform::Utf16ToUtf8(line);
    EXPECT_EQ(c.unsolicited_type, type) << platform::Utf16ToUtf8(line);
  }
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeCds], u"+CDS:");
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeCmt], u"+CMT:");
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeMtlbr], u"*MTLBR:");
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeCereg], u"+CEREG:");
}

}  // namespace
