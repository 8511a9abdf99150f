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
      {u"+CME ERROR: ", AnswerKindIntermediate},
      {u"+CME ERROR:10", AnswerKindIntermediate},
      {u"+CME ERROR: 1 ", AnswerKindIntermediate},
      // A number beyond 16 bits would fold onto an unrelated error number.
      {u"+CME ERROR: 65536", AnswerKindIntermediate},
      {u"+CMS ERROR: 99999999999999999999", AnswerKindIntermediate},
      // from testdata/at_answers.json: other programs treat these as errors,
      // here only the numeric form ends a command.
      {u"+CMS ERROR: bananas", AnswerKindIntermediate},
      {u"+CMS ERROR:", AnswerKindIntermediate},
      {u"COMMAND NOT SUPPORT", AnswerKindIntermediate},
      {u"", AnswerKindIntermediate},
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
  ASSERT_EQ(kUnsolicitedPrefixes.size(), 41u);
  for (uint32_t type = 0; type < kUnsolicitedPrefixes.size(); ++type) {
    const std::u16string line = std::u16string(kUnsolicitedPrefixes[type]) + u" 1,2";
    const LineClass c = ClassifyLine(line);
    EXPECT_EQ(c.kind, AnswerKindUnsolicited) << platform::Utf16ToUtf8(line);
    EXPECT_EQ(c.unsolicited_type, type) << platform::Utf16ToUtf8(line);
  }
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeCds], u"+CDS:");
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeCmt], u"+CMT:");
  EXPECT_EQ(kUnsolicitedPrefixes[UnsolicitedTypeMtlbr], u"*MTLBR:");
}

}  // namespace
