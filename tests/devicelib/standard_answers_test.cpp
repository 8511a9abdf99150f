#include "devicelib/standard_answers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>

#include "devicelib/unsolicited_answers.h"
#include "platform/text.h"

namespace {

using namespace GSM;

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(std::u16string(text)); }

constexpr DvResult kMissing = DV_E_UNEXPECTED_ANSWER;
constexpr std::nullopt_t kNone = std::nullopt;

// The fields of a whole line: what a reader gets once the prefix matched.
std::u16string_view After(std::u16string_view prefix, std::u16string_view line) {
  EXPECT_TRUE(line.starts_with(prefix)) << U8(line);
  return line.substr(std::min(prefix.size(), line.size()));
}

// Rows marked "(data)" are tests/data/standard_answers/at_answers.json, named
// by the test of their source.
TEST(StandardAnswersTest, RegistrationRecord) {
  struct Row {
    std::u16string_view prefix;
    std::u16string_view line;
    DvResult result;
    int stat;
    std::optional<uint32_t> lac, ci;
    std::optional<int> act;
  };
  const Row rows[] = {
      // (data) ModemManager test-modem-helpers.c:
      {kCregPrefix, u"+CREG: 1,3", DV_S_OK, 3, kNone, kNone, kNone},  // test_creg1_solicited
      // test_creg2_mercury_solicited: n=1, yet the location follows, unquoted.
      {kCregPrefix, u"+CREG: 1,1,84CD,00D30173", DV_S_OK, 1, 0x84CD, 0xD30173, kNone},
      // test_creg2_sek850i_unsolicited: the report after AT+CREG=2.
      {kCregPrefix, u"+CREG: 1,\"CE00\",\"00005449\"", DV_S_OK, 1, 0xCE00, 0x5449, kNone},
      {kCregPrefix, u"+CREG: 1,8BE3,2BAF", DV_S_OK, 1, 0x8BE3, 0x2BAF, kNone},  // test_creg2_e160g_unsolicited
      // test_creg2_iridium_solicited: no blank, zero-padded, lower case.
      {kCregPrefix, u"+CREG:002,001,\"18d8\",\"ffff\"", DV_S_OK, 1, 0x18D8, 0xFFFF, kNone},
      // test_creg2_ublox_solicited: stat 6 (SMS only) with AcT.
      {kCregPrefix, u"+CREG: 2,6,\"8B37\",\"0A265185\",7", DV_S_OK, 6, 0x8B37, 0x0A265185, 7},
      // test_creg2_md400_unsolicited: a report that carries n.
      {kCregPrefix, u"+CREG: 2,5,\"0502\",\"0404736D\"", DV_S_OK, 5, 0x0502, 0x0404736D, kNone},
      // test_creg_cgreg_multi2_unsolicited, one line at a time.
      {kCgregPrefix, u"+CGREG: 0", DV_S_OK, 0, kNone, kNone, kNone},
      {kCregPrefix, u"+CREG: 5", DV_S_OK, 5, kNone, kNone, kNone},
      // test_creg2_gobi_weird_solicited: the garbled lac is absent (the
      // source makes it 0), the cell stands.
      {kCregPrefix, u"+CREG: 2,1,  0 5, 2715", DV_S_OK, 1, kNone, 0x2715, kNone},
      // test_cgreg2_thuraya_solicited: blanks after the commas.
      {kCgregPrefix, u"+CGREG: 2, 1, \"0426\", \"F00F\"", DV_S_OK, 1, 0x0426, 0xF00F, kNone},
      // (data) gammu tests/at-creg/huawei.dump: unquoted, not zero-padded.
      {kCregPrefix, u"+CREG: 2,1,4CA,81DE445", DV_S_OK, 1, 0x4CA, 0x81DE445, kNone},
      // (data) gammu tests/at-creg-corner/empty-lac.dump.
      {kCregPrefix, u"+CREG: 2,1,\"\",\"605F\"", DV_S_OK, 1, kNone, 0x605F, kNone},
      // (data) chan_dongle test_parse_creg.
      {kCregPrefix, u"+CREG: 2,1,9110,7E6", DV_S_OK, 1, 0x9110, 0x7E6, kNone},
      // (data) at-commander GprsNetworkRegistrationResponseTest: AcT, then rac.
      {kCgregPrefix, u"+CGREG: 2,5,\"00DE\",\"0A5B\",0,\"01\"", DV_S_OK, 5, 0xDE, 0xA5B, 0},
      // 27.007 forms of +CEREG: query, report, and the reject cause fields.
      {kCeregPrefix, u"+CEREG: 2,1,\"1A2B\",\"01A2D001\",7", DV_S_OK, 1, 0x1A2B, 0x01A2D001, 7},
      {kCeregPrefix, u"+CEREG: 1,\"1A2B\",\"01A2D001\",7", DV_S_OK, 1, 0x1A2B, 0x01A2D001, 7},
      {kCeregPrefix, u"+CEREG: 3,3,\"\",\"\",7,0,15", DV_S_OK, 3, kNone, kNone, 7},
      {kCeregPrefix, u"+CEREG: 0,4", DV_S_OK, 4, kNone, kNone, kNone},
      // A location area of many digits is no stat: the line starts with stat.
      {kCregPrefix, u"+CREG: 1,1234,5678,2", DV_S_OK, 1, 0x1234, 0x5678, 2},
      // Garbled optional fields are absent; the stat stands.
      {kCregPrefix, u"+CREG: 1,", DV_S_OK, 1, kNone, kNone, kNone},
      {kCregPrefix, u"+CREG: 2,", DV_S_OK, 2, kNone, kNone, kNone},
      {kCregPrefix, u"+CREG: 1,\"CE00\",\"0000544G\",x", DV_S_OK, 1, 0xCE00, kNone, kNone},
      {kCregPrefix, u"+CREG: 1,\"123456789\",\"CE00", DV_S_OK, 1, kNone, 0xCE00, kNone},
      {kCregPrefix, u"+CREG: 1,99999999999", DV_S_OK, 1, kNone, kNone, kNone},
      {kCregPrefix, u"+CREG:", kMissing, -1, 7, 7, 7},
      {kCregPrefix, u"+CREG: ", kMissing, -1, 7, 7, 7},
      {kCregPrefix, u"+CREG: ,5", kMissing, -1, 7, 7, 7},
      {kCregPrefix, u"+CREG: x", kMissing, -1, 7, 7, 7},
      {kCregPrefix, u"+CREG: \"1\"", kMissing, -1, 7, 7, 7},
      {kCregPrefix, u"+CREG: 99999999999", kMissing, -1, 7, 7, 7},
  };
  for (const Row& row : rows) {
    RegistrationRecord record{-1, 7, 7, 7};
    EXPECT_EQ(ParseRegistrationRecord(After(row.prefix, row.line), record), row.result) << U8(row.line);
    EXPECT_EQ(record.stat, row.stat) << U8(row.line);
    EXPECT_EQ(record.lac, row.lac) << U8(row.line);
    EXPECT_EQ(record.ci, row.ci) << U8(row.line);
    EXPECT_EQ(record.act, row.act) << U8(row.line);
  }
}

TEST(StandardAnswersTest, Cops) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int mode;
    std::optional<int> format;
    std::u16string_view oper;
    std::optional<int> act;
    RadioTechnology technology;
  };
  const Row rows[] = {
      // (data) ModemManager test_cops_query.
      {u" 1,0,\"CHINA MOBILE\"", DV_S_OK, 1, 0, u"CHINA MOBILE", kNone, RadioTechnologyUnknown},
      {u" 1,2,\"46000\",7", DV_S_OK, 1, 2, u"46000", 7, RadioTechnologyLte},
      // (data) chan_dongle test_parse_cops: the name without quotes.
      {u" 0,0,TELE2,0", DV_S_OK, 0, 0, u"TELE2", 0, RadioTechnologyGsm},
      {u" 0", DV_S_OK, 0, kNone, u"", kNone, RadioTechnologyUnknown},
      {u" 0,1,\"A,B\",6", DV_S_OK, 0, 1, u"A,B", 6, RadioTechnologyHspa},
      {u" 0,0,\"\",2", DV_S_OK, 0, 0, u"", 2, RadioTechnologyUmts},
      {u" 0,0,\"X\",UMTS", DV_S_OK, 0, 0, u"X", kNone, RadioTechnologyUnknown},
      {u" 0,0,\"X\",99", DV_S_OK, 0, 0, u"X", 99, RadioTechnologyUnknown},
      {u" 0,0", kMissing, -1, -1, u"old", -1, RadioTechnologyHsupa},
      {u" 0,0,", kMissing, -1, -1, u"old", -1, RadioTechnologyHsupa},
      {u" 0,", kMissing, -1, -1, u"old", -1, RadioTechnologyHsupa},
      {u" 0,x,\"X\"", kMissing, -1, -1, u"old", -1, RadioTechnologyHsupa},
      {u" ,0,\"X\"", kMissing, -1, -1, u"old", -1, RadioTechnologyHsupa},
      {u"", kMissing, -1, -1, u"old", -1, RadioTechnologyHsupa},
  };
  for (const Row& row : rows) {
    CopsAnswer answer{-1, -1, u"old", -1, RadioTechnologyHsupa};
    EXPECT_EQ(ParseCopsAnswer(row.fields, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.mode, row.mode) << U8(row.fields);
    EXPECT_EQ(answer.format, row.format) << U8(row.fields);
    EXPECT_EQ(answer.oper, row.oper) << U8(row.fields);
    EXPECT_EQ(answer.act, row.act) << U8(row.fields);
    EXPECT_EQ(answer.technology, row.technology) << U8(row.fields);
  }
}

TEST(StandardAnswersTest, TechnologyOfEveryAccessTechnology) {
  const RadioTechnology by_act[] = {
      RadioTechnologyGsm,   RadioTechnologyGsm,   RadioTechnologyUmts, RadioTechnologyEdge, RadioTechnologyHsdpa,
      RadioTechnologyHsupa, RadioTechnologyHspa,  RadioTechnologyLte,  RadioTechnologyEdge, RadioTechnologyLte,
      RadioTechnologyLte,   RadioTechnology5g,    RadioTechnology5g,   RadioTechnology5g,
  };
  for (int act = 0; act < static_cast<int>(std::size(by_act)); ++act) {
    EXPECT_EQ(RadioTechnologyOfAct(act), by_act[act]) << "AcT " << act;
  }
  EXPECT_EQ(RadioTechnologyOfAct(14), RadioTechnologyUnknown);
  EXPECT_EQ(RadioTechnologyOfAct(-1), RadioTechnologyUnknown);
  EXPECT_EQ(WithPacketService(RadioTechnologyGsm, true), RadioTechnologyGprs);
  EXPECT_EQ(WithPacketService(RadioTechnologyGsm, false), RadioTechnologyGsm);
  EXPECT_EQ(WithPacketService(RadioTechnologyLte, true), RadioTechnologyLte);
  EXPECT_STREQ(RadioTechnologyName(RadioTechnology5g), "5G");
  EXPECT_STREQ(RadioTechnologyName(RadioTechnologyHspa), "HSPA");
  EXPECT_STREQ(RadioTechnologyName(10), "Unknown");
}

// What the older states a client reads make of each radio, and of each stat.
TEST(StandardAnswersTest, OlderStatesOfEveryRadioAndStat) {
  struct Row {
    RadioTechnology radio;
    AccessTechnology access;
    NetworkType type;
    bool hspa;
  };
  const Row rows[] = {
      {RadioTechnologyUnknown, PacketSwitchedTechnologyNone, NetworkTypeGsm, false},
      {RadioTechnologyGsm, PacketSwitchedTechnologyGprs, NetworkTypeGsm, false},
      {RadioTechnologyGprs, PacketSwitchedTechnologyGprs, NetworkTypeGsm, false},
      {RadioTechnologyEdge, PacketSwitchedTechnologyGprs, NetworkTypeGsm, false},
      {RadioTechnologyUmts, PacketSwitchedTechnologyUmts, NetworkTypeUmts, false},
      {RadioTechnologyHsdpa, PacketSwitchedTechnologyUmts, NetworkTypeUmts, true},
      {RadioTechnologyHsupa, PacketSwitchedTechnologyUmts, NetworkTypeUmts, true},
      {RadioTechnologyHspa, PacketSwitchedTechnologyUmts, NetworkTypeUmts, true},
      {RadioTechnologyLte, PacketSwitchedTechnologyLte, NetworkTypeLte, false},
      {RadioTechnology5g, PacketSwitchedTechnology5g, NetworkType5g, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(AccessTechnologyOfRadio(row.radio), row.access) << RadioTechnologyName(row.radio);
    EXPECT_EQ(NetworkTypeOfRadio(row.radio), row.type) << RadioTechnologyName(row.radio);
    EXPECT_EQ(IsHspaTechnology(row.radio), row.hspa) << RadioTechnologyName(row.radio);
  }
  const int by_stat[] = {0, 1, 2, 3, 4, 5, 1, 5, 0, 1, 5, 0, 0};
  for (int stat = 0; stat < static_cast<int>(std::size(by_stat)); ++stat) {
    EXPECT_EQ(NetworkStateOfStat(stat), by_stat[stat]) << "stat " << stat;
  }
  EXPECT_EQ(NetworkStateOfStat(-1), 0);
}

// "+CMGD:" of "AT+CMGD=?": 27.005's index list, as a range or the indices
// in use.
TEST(StandardAnswersTest, CmgdIndexList) {
  struct Row {
    const char16_t* fields;
    DvResult result;
    int lowest;
  };
  const Row rows[] = {
      {u" (1-20),(0-4)", DV_S_OK, 1},
      {u" (0-49),(0-4)", DV_S_OK, 0},
      {u" (0,3,7),(0-4)", DV_S_OK, 0},
      {u"(3)", DV_S_OK, 3},
      {u" (),(0-4)", DV_E_UNEXPECTED_ANSWER, -1},   // nothing stored
      {u" 1-20", DV_E_UNEXPECTED_ANSWER, -1},
      {u" (1234567890-2)", DV_E_UNEXPECTED_ANSWER, -1},
      {u"", DV_E_UNEXPECTED_ANSWER, -1},
  };
  for (const Row& row : rows) {
    int lowest = -1;
    EXPECT_EQ(ParseCmgdTestAnswer(row.fields, lowest), row.result) << U8(row.fields);
    EXPECT_EQ(lowest, row.lowest) << U8(row.fields);
  }
}

TEST(StandardAnswersTest, CpinAndCpinr) {
  struct CpinRow {
    std::u16string_view line;
    PinPukState state;
  };
  const CpinRow cpin_rows[] = {
      {u"+CPIN: SIM PUK2", PinPukStateSimPuk2},   // (data) ModemManager test_cpin_response
      {u"+CPIN: \"SIM PIN\"", PinPukStateSimPin}, // (data) the same test: quoted
      {u"+CPIN: \"Unknown\"", PinPukStateUnknown},  // (data) MuditaOS unittest_URC
      {u"+CPIN: READY ", PinPukStateReady},
      {u"+CPIN: \"READY", PinPukStateUnknown},
      {u"+CPIN: \"\"", PinPukStateUnknown},
      {u"+CPIN: \"", PinPukStateUnknown},
      {u"+CPIN: ", PinPukStateUnknown},
  };
  for (const CpinRow& row : cpin_rows) {
    CpinAnswer answer{u"old", PinPukStatePhCorpPuk};
    const std::u16string_view fields = After(kCpinPrefix, row.line);
    EXPECT_EQ(ParseStandardCpinAnswer(fields, answer), DV_S_OK) << U8(row.line);
    EXPECT_EQ(answer.state, row.state) << U8(row.line);
    EXPECT_EQ(answer.text, fields) << U8(row.line);
  }

  // 27.007 forms: "code,retries,default retries".
  struct CpinrRow {
    std::u16string_view line;
    DvResult result;
    int pin, puk;
  };
  const CpinrRow cpinr_rows[] = {
      {u"+CPINR: SIM PIN,3,3", DV_S_OK, 3, -1},
      {u"+CPINR: SIM PUK,10,10", DV_S_OK, -1, 10},
      {u"+CPINR: \"SIM PIN\",0", DV_S_OK, 0, -1},
      {u"+CPINR: SIM PIN2,2,3", DV_S_OK, -1, -1},
      {u"+CPINR: PH-NET PIN,10,10", DV_S_OK, -1, -1},
      {u"+CPINR: SIM PIN", kMissing, -1, -1},
      {u"+CPINR: SIM PIN,x,3", kMissing, -1, -1},
      {u"+CPINR: ,3,3", kMissing, -1, -1},
      {u"+CPINR:", kMissing, -1, -1},
  };
  for (const CpinrRow& row : cpinr_rows) {
    PinPukRetries retries{-1, -1};
    EXPECT_EQ(ParseCpinrAnswer(After(kCpinrPrefix, row.line), retries), row.result) << U8(row.line);
    EXPECT_EQ(retries.pin, row.pin) << U8(row.line);
    EXPECT_EQ(retries.puk, row.puk) << U8(row.line);
  }
}

}  // namespace
