#include "devicelib/unsolicited_answers.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

using namespace GSM;

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(std::u16string(text)); }

constexpr DvResult kMissing = DV_E_UNEXPECTED_ANSWER;

// The fields of a whole line: what the dispatcher passes once the prefix is
// known.
std::u16string_view After(std::u16string_view prefix, std::u16string_view line) {
  EXPECT_TRUE(line.starts_with(prefix)) << U8(line);
  return line.substr(prefix.size());
}

TEST(UnsolicitedAnswersTest, RegistrationTakesTheLastInt) {
  struct Row {
    std::u16string_view prefix;
    std::u16string_view line;
    DvResult result;
    int stat;
  };
  const Row rows[] = {
      {kCregPrefix, u"+CREG: 5", DV_S_OK, 5},
      {kCregPrefix, u"+CREG: 1,5", DV_S_OK, 5},
      {kCregPrefix, u"+CREG: 2,1,\"1A2B\",\"3C4D\"", DV_S_OK, 1},
      // testdata/at_answers.json, ModemManager test-modem-helpers.c:
      {kCregPrefix, u"+CREG: 1,3", DV_S_OK, 3},                         // test_creg1_solicited
      {kCregPrefix, u"+CREG: 1,1,84CD,00D30173", DV_S_OK, 1},           // test_creg2_mercury_solicited
      {kCregPrefix, u"+CREG:002,001,\"18d8\",\"ffff\"", DV_S_OK, 1},    // test_creg2_iridium_solicited
      {kCregPrefix, u"+CREG: 2,6,\"8B37\",\"0A265185\",7", DV_S_OK, 6}, // test_creg2_ublox_solicited
      {kCregPrefix, u"+CREG: 2,5,\"0502\",\"0404736D\"", DV_S_OK, 5},   // test_creg2_md400_unsolicited
      {kCregPrefix, u"+CREG: 2,1,  0 5, 2715", DV_S_OK, 1},             // test_creg2_gobi_weird_solicited
      {kCgregPrefix, u"+CGREG: 2, 1, \"0426\", \"F00F\"", DV_S_OK, 1},  // test_cgreg2_thuraya_solicited
      {kCgregPrefix, u"+CGREG: 0", DV_S_OK, 0},                         // test_creg_cgreg_multi2_unsolicited
      // pmoerenhout/at-commander: the n=2 query form with access technology.
      {kCgregPrefix, u"+CGREG: 2,5,\"00DE\",\"0A5B\",0,\"01\"", DV_S_OK, 5},
      // gammu tests/at-creg-corner/empty-lac.dump.
      {kCregPrefix, u"+CREG: 2,1,\"\",\"605F\"", DV_S_OK, 1},
      // test_creg2_sek850i_unsolicited: the spontaneous n=2 form "stat,lac,ci".
      // Read as "last int" it would fail on the quote and lose the report;
      // the stat before the comma stands.
      {kCregPrefix, u"+CREG: 1,\"CE00\",\"00005449\"", DV_S_OK, 1},
      {kCregPrefix, u"+CREG: 1,", DV_S_OK, 1},
      {kCregPrefix, u"+CREG:", kMissing, -1},
      {kCregPrefix, u"+CREG: ", kMissing, -1},
      {kCregPrefix, u"+CREG: ,5", kMissing, -1},
      {kCregPrefix, u"+CREG: x", kMissing, -1},
      {kCregPrefix, u"+CREG: 99999999999", kMissing, -1},
      {kCregPrefix, u"+CREG: 1,99999999999", kMissing, -1},
  };
  for (const Row& row : rows) {
    int stat = -1;
    EXPECT_EQ(ParseRegistrationAnswer(After(row.prefix, row.line), stat), row.result) << U8(row.line);
    EXPECT_EQ(stat, row.stat) << U8(row.line);
  }
  int cell_type = -1;
  EXPECT_EQ(ParseOctiAnswer(After(kOctiPrefix, u"_OCTI: 1,3"), cell_type), DV_S_OK);
  EXPECT_EQ(cell_type, 3);
  EXPECT_EQ(ParseOctiAnswer(After(kOctiPrefix, u"_OCTI: 2"), cell_type), DV_S_OK);
  EXPECT_EQ(cell_type, 2);
}

TEST(UnsolicitedAnswersTest, IntReports) {
  struct Row {
    std::u16string_view fields;
    DvResult two_ints;  // signal, PDP context and radio info: int, comma, int
    int first, second;
    int edge;
  };
  const Row rows[] = {
      {u" 17,99", DV_S_OK, 17, 99, 0},
      {u" 2,0", DV_S_OK, 2, 0, 1},    // *MRINFO: 2,0 → EDGE
      {u" 1,0", DV_S_OK, 1, 0, 0},    // *MRINFO: 1,0 → no EDGE
      {u" 3,1", DV_S_OK, 3, 1, 1},
      {u" 4,1", DV_S_OK, 4, 1, 0},
      {u"6, 7", DV_S_OK, 6, 7, 1},
      {u" 17", kMissing, -1, -1, -1},
      {u" 17,", kMissing, -1, -1, -1},
      {u" ,1", kMissing, -1, -1, -1},
      {u"", kMissing, -1, -1, -1},
      {u" 1,99999999999", kMissing, -1, -1, -1},
  };
  for (const Row& row : rows) {
    SignalQuality signal{-1, -1};
    EXPECT_EQ(ParseSignalQualityAnswer(row.fields, signal), row.two_ints) << U8(row.fields);
    EXPECT_EQ(signal.value, row.first) << U8(row.fields);
    EXPECT_EQ(signal.extended, row.second) << U8(row.fields);
    PdpContextReport context{-1, -1};
    EXPECT_EQ(ParseOgactAnswer(row.fields, context), row.two_ints) << U8(row.fields);
    EXPECT_EQ(context.context, row.first) << U8(row.fields);
    EXPECT_EQ(context.state, row.second) << U8(row.fields);
    int edge = -1;
    EXPECT_EQ(ParseMrinfoAnswer(row.fields, edge), row.two_ints) << U8(row.fields);
    EXPECT_EQ(edge, row.edge) << U8(row.fields);
  }
  int wcdma = -1;
  EXPECT_EQ(ParseOeantAnswer(u" 4", wcdma), DV_S_OK);
  EXPECT_EQ(wcdma, 4);
  EXPECT_EQ(ParseOeantAnswer(u"", wcdma), kMissing);
  EXPECT_EQ(wcdma, 4);

  struct TechnologyRow {
    std::u16string_view fields;
    DvResult result;
    AccessTechnology technology;
  };
  const TechnologyRow technologies[] = {
      {u" 0", DV_S_OK, PacketSwitchedTechnologyGprs},   {u" 2", DV_S_OK, PacketSwitchedTechnologyUmts},
      {u" 1", DV_S_OK, PacketSwitchedTechnologyNone},   {u" 3", DV_S_OK, PacketSwitchedTechnologyNone},
      {u" 0,5", DV_S_OK, PacketSwitchedTechnologyGprs}, {u" ", kMissing, PacketSwitchedTechnologyUmts},
  };
  for (const TechnologyRow& row : technologies) {
    AccessTechnology technology = PacketSwitchedTechnologyUmts;
    EXPECT_EQ(ParseOssysiAnswer(row.fields, technology), row.result) << U8(row.fields);
    EXPECT_EQ(technology, row.technology) << U8(row.fields);
  }
}

TEST(UnsolicitedAnswersTest, IdleText) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    std::u16string_view text;
  };
  const Row rows[] = {
      {u" 0,\"Vodafone DE\"", DV_S_OK, u"Vodafone DE"},
      {u" 1,\"\"", DV_S_OK, u""},
      {u" 1,\"open", DV_S_OK, u"open"},
      {u" 1,text", kMissing, u"old"},
      {u" 1", kMissing, u"old"},
      {u" \"text\"", kMissing, u"old"},
  };
  for (const Row& row : rows) {
    std::u16string text = u"old";
    EXPECT_EQ(ParseOidletextAnswer(row.fields, text), row.result) << U8(row.fields);
    EXPECT_EQ(text, row.text) << U8(row.fields);
  }
}

TEST(UnsolicitedAnswersTest, NewMessageIndication) {
  struct Row {
    std::u16string_view line;
    DvResult result;
    std::u16string_view storage;
    int index;
  };
  const Row rows[] = {
      {u"+CMTI: \"SM\",3", DV_S_OK, u"SM", 3},
      // testdata/at_answers.json: ModemManager parse_ok_tests.
      {u"+CMTI: \"ME\",1", DV_S_OK, u"ME", 1},
      {u"+CMTI: \"SM\", 0", DV_S_OK, u"SM", 0},
      // chan_dongle test_parse_cmti reads an unquoted storage number; the
      // storage name is quoted on our cards and the line is dropped.
      {u"+CMTI: 0,111", kMissing, u"old", -1},
      {u"+CMTI: \"SM\"", kMissing, u"old", -1},
      {u"+CMTI: \"SM\",", kMissing, u"old", -1},
      {u"+CMTI: \"SM,3", kMissing, u"old", -1},  // the unbalanced quote swallows the rest
      {u"+CMTI:", kMissing, u"old", -1},
  };
  for (const Row& row : rows) {
    NewMessageReport report{u"old", -1};
    EXPECT_EQ(ParseCmtiAnswer(After(kCmtiPrefix, row.line), report), row.result) << U8(row.line);
    EXPECT_EQ(report.storage, row.storage) << U8(row.line);
    EXPECT_EQ(report.index, row.index) << U8(row.line);
  }
}

TEST(UnsolicitedAnswersTest, Ussd) {
  struct Row {
    std::u16string_view line;
    DvResult result;
    int status;
    bool has_text;
    std::u16string_view text;
    int dcs;
    std::u16string_view shown;  // UssdDisplayText
  };
  const Row rows[] = {
      {u"+CUSD: 2", DV_S_OK, 2, false, u"", 0, u""},
      // testdata/at_answers.json:
      {u"+CUSD: 1", DV_S_OK, 1, false, u"", 0, u""},  // at-commander USSD test
      // chan_dongle test_parse_cusd: the text is passed on as received
      // (packed septets in hexadecimal are nothing the card's character set
      // says; they stay as they are).
      {u"+CUSD: 0,\"CF2135487D2E4130572D0682BB1A\",0", DV_S_OK, 0, true, u"CF2135487D2E4130572D0682BB1A", 0,
       u"CF2135487D2E4130572D0682BB1A"},
      // at-commander with_0x0d_char: a CR inside the quotes stays.
      {u"+CUSD: 0,\"Groet, KPN.\r\",15", DV_S_OK, 0, true, u"Groet, KPN.\r", 15, u"Groet, KPN.\r"},
      {u"+CUSD: 0,\"\",15", DV_S_OK, 0, true, u"", 15, u""},
      {u"+CUSD: 1,\"1 Bundles\n2 Top up\",15", DV_S_OK, 1, true, u"1 Bundles\n2 Top up", 15,
       u"1 Bundles\n2 Top up"},
      {u"+CUSD: 4", DV_S_OK, 4, false, u"", 0, u""},
      {u"+CUSD: 5", DV_S_OK, 5, false, u"", 0, u""},
      // UCS2 answers of a card in the GSM character set: hexadecimal text.
      {u"+CUSD: 0,\"04110430043B0430043D0441003A00200035002C0030003020AC\",72", DV_S_OK, 0, true,
       u"04110430043B0430043D0441003A00200035002C0030003020AC", 72, u"Баланс: 5,00€"},
      {u"+CUSD: 1,\"0031002000420075006E0064006C00650073\",72", DV_S_OK, 1, true,
       u"0031002000420075006E0064006C00650073", 72, u"1 Bundles"},
      {u"+CUSD: 0,\"00480069\",88", DV_S_OK, 0, true, u"00480069", 88, u"Hi"},  // 0x58: UCS2, class 0
      {u"+CUSD: 0,\"653700480069\",17", DV_S_OK, 0, true, u"653700480069", 17, u"Hi"},  // "en" first
      // A card that decoded the UCS2 answer itself, and broken hexadecimal.
      {u"+CUSD: 0,\"Hi there\",72", DV_S_OK, 0, true, u"Hi there", 72, u"Hi there"},
      {u"+CUSD: 0,\"0048006\",72", DV_S_OK, 0, true, u"0048006", 72, u"0048006"},
      // 8-bit data is not text to decode.
      {u"+CUSD: 0,\"00480069\",68", DV_S_OK, 0, true, u"00480069", 68, u"00480069"},
      {u"+CUSD: 0,\"text\"", kMissing, -1, false, u"old", -1, u"old"},
      {u"+CUSD: 0,\"text\",", kMissing, -1, false, u"old", -1, u"old"},
      {u"+CUSD: 0,text,15", kMissing, -1, false, u"old", -1, u"old"},
      {u"+CUSD: 0,", kMissing, -1, false, u"old", -1, u"old"},
      {u"+CUSD:", kMissing, -1, false, u"old", -1, u"old"},
  };
  for (const Row& row : rows) {
    UssdReport report{-1, false, u"old", -1};
    EXPECT_EQ(ParseCusdAnswer(After(kCusdPrefix, row.line), report), row.result) << U8(row.line);
    EXPECT_EQ(report.status, row.status) << U8(row.line);
    EXPECT_EQ(report.has_text, row.has_text) << U8(row.line);
    EXPECT_EQ(report.text, row.text) << U8(row.line);
    EXPECT_EQ(report.dcs, row.dcs) << U8(row.line);
    EXPECT_EQ(UssdDisplayText(report), row.shown) << U8(row.line);
  }
  // A text longer than the event record keeps its length here; the record
  // cuts it.
  std::u16string line = u"+CUSD: 0,\"" + std::u16string(300, u'a') + u"\",15";
  UssdReport report;
  EXPECT_EQ(ParseCusdAnswer(After(kCusdPrefix, line), report), DV_S_OK);
  EXPECT_EQ(report.text.size(), 300u);
}

TEST(UnsolicitedAnswersTest, CallerNumber) {
  struct Row {
    std::u16string_view line;
    DvResult result;
    std::u16string_view number;
    bool unknown;
  };
  const Row rows[] = {
      {u"+CLIP: \"+491701234567\",145", DV_S_OK, u"+491701234567", false},
      {u"+CLIP: \"01701234567\",129", DV_S_OK, u"01701234567", false},
      {u"+CLIP: \"ABC\",129", DV_S_OK, u"", true},
      {u"+CLIP: \"*100\",129", DV_S_OK, u"", true},
      {u"+CLIP: \"\",128", DV_S_OK, u"", false},
      {u"+CLIP: \"0170", DV_S_OK, u"0170", false},
      {u"+CLIP: 01701234567,129", kMissing, u"old", true},
      {u"+CLIP:", kMissing, u"old", true},
  };
  for (const Row& row : rows) {
    CallerNumber caller{u"old", true};
    EXPECT_EQ(ParseClipAnswer(After(kClipPrefix, row.line), caller), row.result) << U8(row.line);
    EXPECT_EQ(caller.number, row.number) << U8(row.line);
    EXPECT_EQ(caller.unknown, row.unknown) << U8(row.line);
  }
}

TEST(UnsolicitedAnswersTest, TemporaryMessageHeader) {
  constexpr std::u16string_view kPdu = u"07918497483252F0040B918496445078F700007121320144744004D4F29C0E";
  struct Row {
    std::u16string_view line;
    bool broadcom;
    DvResult result;
    int length;
    std::u16string_view pdu;
  };
  const Row rows[] = {
      // gammu tests/atgen/smsd-incoming-cmti.c, the two lines joined by the
      // engine with ';'.
      {u"+CMT: ,23;07918497483252F0040B918496445078F700007121320144744004D4F29C0E", false, DV_S_OK, 23, kPdu},
      {u"+CMT: ,24;0791", false, DV_S_OK, 24, u"0791"},
      {u"+CMT: 0,24;0791", false, DV_S_OK, 24, u"0791"},
      // Cards that write the alpha field as a quoted text; read as an int it
      // would fail and lose the message.
      {u"+CMT: \"\",24;0791", false, DV_S_OK, 24, u"0791"},
      {u"+CMT: \"Alpha, Inc\",24;0791", false, DV_S_OK, 24, u"0791"},
      {u"+CMT: ,24 ;0791", true, DV_S_OK, 24, u"0791"},
      {u"+CMT: \"\",24 ;0791", true, DV_S_OK, 24, u"0791"},
      {u"+CMT: ,24;0791", true, kMissing, -1, u"old"},  // Broadcom cards put a blank there
      {u"+CMT: ,24 ;0791", false, kMissing, -1, u"old"},
      {u"+CMT: ,24;", false, DV_S_OK, 24, u""},  // empty PDU: the dispatcher logs it
      {u"+CMT: 24;0791", false, kMissing, -1, u"old"},
      {u"+CMT: ,;0791", false, kMissing, -1, u"old"},
      {u"+CMT: ,24", false, kMissing, -1, u"old"},
      {u"+CMT: \"open,24;0791", false, kMissing, -1, u"old"},
      {u"+CMT: ,99999999999;0791", false, kMissing, -1, u"old"},
      {u"+CMT:", false, kMissing, -1, u"old"},
  };
  for (const Row& row : rows) {
    TemporaryMessage message{-1, u"old"};
    EXPECT_EQ(ParseTemporaryMessageAnswer(After(kCmtPrefix, row.line), false, row.broadcom, message), row.result)
        << U8(row.line);
    EXPECT_EQ(message.length, row.length) << U8(row.line);
    EXPECT_EQ(message.pdu, row.pdu) << U8(row.line);
  }

  const Row reports[] = {
      {u"+CDS: 25;0791", false, DV_S_OK, 25, u"0791"},
      {u"+CDS: 25;0791", true, DV_S_OK, 25, u"0791"},  // no blank rule for status reports
      {u"+CDS:25;", false, DV_S_OK, 25, u""},
      {u"+CDS: ,25;0791", false, kMissing, -1, u"old"},  // no alpha field in a status report
      {u"+CDS: 25 ;0791", true, kMissing, -1, u"old"},
      {u"+CDS: 25", false, kMissing, -1, u"old"},
  };
  for (const Row& row : reports) {
    TemporaryMessage message{-1, u"old"};
    EXPECT_EQ(ParseTemporaryMessageAnswer(After(kCdsPrefix, row.line), true, row.broadcom, message), row.result)
        << U8(row.line);
    EXPECT_EQ(message.length, row.length) << U8(row.line);
    EXPECT_EQ(message.pdu, row.pdu) << U8(row.line);
  }
}

}  // namespace
