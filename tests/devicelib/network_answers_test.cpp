#include "devicelib/network_answers.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

using namespace GSM;

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(std::u16string(text)); }

constexpr DvResult kMissing = DV_E_UNEXPECTED_ANSWER;

TEST(NetworkAnswersTest, CopsName) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int mode;
    bool has_name;
    std::u16string_view name;
    NetworkType type;
  };
  const Row rows[] = {
      // testdata/at_answers.json: ModemManager test_cops_query.
      {u" 1,0,\"CHINA MOBILE\"", DV_S_OK, 1, true, u"CHINA MOBILE", NetworkTypeGsm},
      {u" 1,2,\"46000\",7", DV_S_OK, 1, true, u"46000", NetworkTypeUmts},
      {u" 0,0,\"Vodafone\",2", DV_S_OK, 0, true, u"Vodafone", NetworkTypeUmts},
      {u" 0,0,\"Vodafone\",0", DV_S_OK, 0, true, u"Vodafone", NetworkTypeGsm},
      {u" 0", DV_S_OK, 0, false, u"", NetworkTypeGsm},
      {u" 0,0,\"A,B\r\nC\",2", DV_S_OK, 0, true, u"A,B\r\nC", NetworkTypeUmts},
      {u" 0,0,\"\"", DV_S_OK, 0, true, u"", NetworkTypeGsm},
      // chan_dongle test_parse_cops reads an unquoted name; the name must be
      // quoted here (AT+COPS=3,0 asks for the quoted long form).
      {u" 0,0,TELE2,0", kMissing, -1, false, u"old", NetworkTypeNone},
      {u" 0,0", kMissing, -1, false, u"old", NetworkTypeNone},
      {u" 0,", kMissing, -1, false, u"old", NetworkTypeNone},
      {u" 0,0,\"X\",", kMissing, -1, false, u"old", NetworkTypeNone},
      {u" 0,0,\"X\",UMTS", kMissing, -1, false, u"old", NetworkTypeNone},
      {u"", kMissing, -1, false, u"old", NetworkTypeNone},
      {u" 0,0,\"X\",4294967296", kMissing, -1, false, u"old", NetworkTypeNone},
  };
  for (const Row& row : rows) {
    CopsNameAnswer answer{-1, false, u"old", NetworkTypeNone};
    EXPECT_EQ(ParseCopsNameAnswer(row.fields, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.mode, row.mode) << U8(row.fields);
    EXPECT_EQ(answer.has_name, row.has_name) << U8(row.fields);
    EXPECT_EQ(answer.name, row.name) << U8(row.fields);
    EXPECT_EQ(answer.network_type, row.type) << U8(row.fields);
  }
}

TEST(NetworkAnswersTest, CopsNameWithoutTypeReadsNothingAfterTheName) {
  CopsNameAnswer answer;
  EXPECT_EQ(ParseCopsNameAnswer(u" 0,0,\"X\",UMTS", answer, false), DV_S_OK);
  EXPECT_EQ(answer.name, u"X");
}

TEST(NetworkAnswersTest, CopsModeAndNumericOperator) {
  struct Row {
    std::u16string_view fields;
    bool broadcom;
    DvResult result;
    int mode, format, code;
  };
  const Row rows[] = {
      // testdata/at_answers.json: ModemManager test_cops_query.
      {u" 1,2,\"46000\",7", false, DV_S_OK, 1, 2, 46000},
      {u" 0,2,\"302720\"", false, DV_S_OK, 0, 2, 302720},
      {u" 0,2,302720", true, DV_S_OK, 0, 2, 302720},
      {u" 0,2, 302720", true, DV_S_OK, 0, 2, 302720},
      {u" 0,2,302720", false, kMissing, -1, -1, -1},
      {u" 0,2,\"302720\"", true, kMissing, -1, -1, -1},
      {u" 0,2,\"\"", false, kMissing, -1, -1, -1},
      {u" 0,2,\"3027X0\"", false, kMissing, -1, -1, -1},
      {u" 0,2,\" 302720\"", false, kMissing, -1, -1, -1},
      {u" 0,2,\"99999999999\"", false, kMissing, -1, -1, -1},
      {u" 0,2,\"302720", false, DV_S_OK, 0, 2, 302720},  // unbalanced quote: to the end
      {u" 0", false, kMissing, -1, -1, -1},
      {u" 0,2", false, kMissing, -1, -1, -1},
      {u"", true, kMissing, -1, -1, -1},
  };
  for (const Row& row : rows) {
    CopsNumericAnswer answer{-1, -1, -1};
    EXPECT_EQ(ParseCopsNumericAnswer(row.fields, row.broadcom, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.mode, row.mode) << U8(row.fields);
    EXPECT_EQ(answer.format, row.format) << U8(row.fields);
    EXPECT_EQ(answer.operator_code, row.code) << U8(row.fields);
  }
  int mode = -1;
  EXPECT_EQ(ParseCopsModeAnswer(u" 1,0,\"CHINA MOBILE\"", mode), DV_S_OK);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(ParseCopsModeAnswer(u" ,0", mode), kMissing);
  EXPECT_EQ(mode, 1);
}

TEST(NetworkAnswersTest, OponDecodesHexPairs) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    std::u16string_view encoded, name;
  };
  const Row rows[] = {
      {u" 0,566F6461666F6E65", DV_S_OK, u"566F6461666F6E65", u"Vodafone"},
      {u" 0,566f6461666f6e65,4142", DV_S_OK, u"566f6461666f6e65", u"Vodafone"},
      {u" 1,E4FF", DV_S_OK, u"E4FF", u"\u00E4\u00FF"},
      {u" 0,", DV_S_OK, u"", u""},
      {u" 0,,4142", DV_S_OK, u"", u""},
      {u" 0,566", DV_S_OK, u"566", u""},          // odd count
      {u" 0,56G6", DV_S_OK, u"56G6", u""},        // no hex digit
      {u" 0,\"5666\"", DV_S_OK, u"\"5666\"", u""},  // quotes are no hex digits
      {u" 0 ,5666", kMissing, u"old", u"old"},
      {u" 0", kMissing, u"old", u"old"},
      {u"", kMissing, u"old", u"old"},
  };
  for (const Row& row : rows) {
    OponAnswer answer{u"old", u"old"};
    EXPECT_EQ(ParseOponAnswer(row.fields, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.encoded, row.encoded) << U8(row.fields);
    EXPECT_EQ(answer.name, row.name) << U8(row.fields);
  }
}

TEST(NetworkAnswersTest, TechnologySelection) {
  struct Row {
    std::u16string_view fields;
    std::u16string_view modes;
    bool supported;
  };
  const Row rows[] = {
      {u" (0-3),(2)", u"(0-3),(2)", true},
      {u"   (1),(2)", u"(1),(2)", false},
      {u"(1),", u"(1),", false},
      {u" (1)", u"(1)", true},
      {u" (1-3),(2)", u"(1-3),(2)", true},
      {u"", u"", true},
  };
  for (const Row& row : rows) {
    OpsysTestAnswer answer;
    EXPECT_EQ(ParseOpsysTestAnswer(row.fields, answer), DV_S_OK);
    EXPECT_EQ(answer.modes, row.modes) << U8(row.fields);
    EXPECT_EQ(answer.supported, row.supported) << U8(row.fields);
  }
  int mode = -1;
  EXPECT_EQ(ParseOpsysAnswer(u" 3,2", mode), DV_S_OK);
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(ParseOpsysAnswer(u" (0-3)", mode), kMissing);
}

TEST(NetworkAnswersTest, IntMappings) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    AccessTechnology ossys;  // read as "_OSSYS:" fields
    uint32_t one_is_one;     // "+CGATT:" and "_OHCIP:"
    bool capable;            // "_OPCMENABLE:"
  };
  const Row rows[] = {
      {u" 1,0", DV_S_OK, PacketSwitchedTechnologyGprs, 1, true},
      {u" 1,2", DV_S_OK, PacketSwitchedTechnologyUmts, 1, true},
      {u" 0,1", DV_S_OK, PacketSwitchedTechnologyNone, 0, false},
      {u" 2,3", DV_S_OK, PacketSwitchedTechnologyNone, 0, false},
      {u"1,02", DV_S_OK, PacketSwitchedTechnologyUmts, 1, true},
      {u" 11,0", DV_S_OK, PacketSwitchedTechnologyGprs, 0, false},
  };
  for (const Row& row : rows) {
    AccessTechnology technology = PacketSwitchedTechnologyNone;
    uint32_t attached = 7, hsdpa = 7;
    bool capable = !row.capable;
    EXPECT_EQ(ParseOssysAnswer(row.fields, technology), row.result) << U8(row.fields);
    EXPECT_EQ(technology, row.ossys) << U8(row.fields);
    EXPECT_EQ(ParseCgattAnswer(row.fields, attached), DV_S_OK);
    EXPECT_EQ(attached, row.one_is_one) << U8(row.fields);
    EXPECT_EQ(ParseOhcipAnswer(row.fields, hsdpa), DV_S_OK);
    EXPECT_EQ(hsdpa, row.one_is_one) << U8(row.fields);
    EXPECT_EQ(ParseOpcmenableAnswer(row.fields, capable), DV_S_OK);
    EXPECT_EQ(capable, row.capable) << U8(row.fields);
  }
  const std::u16string_view malformed[] = {u"", u" ", u" ,1", u" x", u" 1", u" 1,", u" 1,x"};
  for (std::u16string_view fields : malformed) {
    AccessTechnology technology = PacketSwitchedTechnologyUmts;
    EXPECT_EQ(ParseOssysAnswer(fields, technology), kMissing) << U8(fields);
    EXPECT_EQ(technology, PacketSwitchedTechnologyUmts);
  }
  int cell_type = -1;
  EXPECT_EQ(ParseOwctiAnswer(u" 4", cell_type), DV_S_OK);
  EXPECT_EQ(cell_type, 4);
  EXPECT_EQ(ParseOwctiAnswer(u" ", cell_type), kMissing);
}

TEST(NetworkAnswersTest, Csq) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int value, extended;
  };
  const Row rows[] = {
      {u" 17,99", DV_S_OK, 17, 99},
      {u" 99,99", DV_S_OK, 99, 99},
      {u"31,0", DV_S_OK, 31, 0},
      {u" 17, 99", DV_S_OK, 17, 99},
      {u" 17", kMissing, -2, -2},
      {u" 17,", kMissing, -2, -2},
      {u" 17 ,99", kMissing, -2, -2},
      {u" ,99", kMissing, -2, -2},
      {u" 2147483648,0", kMissing, -2, -2},
  };
  for (const Row& row : rows) {
    SignalQuality signal{-2, -2};
    EXPECT_EQ(ParseCsqAnswer(row.fields, signal), row.result) << U8(row.fields);
    EXPECT_EQ(signal.value, row.value) << U8(row.fields);
    EXPECT_EQ(signal.extended, row.extended) << U8(row.fields);
  }
}

TEST(NetworkAnswersTest, Cgdcont) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int cid;
    std::u16string_view pdp_type, apn;
  };
  const Row rows[] = {
      // testdata/at_answers.json: ModemManager test_cgdcont_read_response_simcom
      // (the text after "+CGDCONT: ").
      {u"1,\"IP\",\"nate.sktelecom.com\"", DV_S_OK, 1, u"IP", u"nate.sktelecom.com"},
      {u"2,\"IP\",\"epc.tmobile.com\"", DV_S_OK, 2, u"IP", u"epc.tmobile.com"},
      {u"1,\"IP\",\"internet\",\"0.0.0.0\",0,0", DV_S_OK, 1, u"IP", u"internet"},
      {u"1,\"IP\",\"\"", DV_S_OK, 1, u"IP", u""},
      {u"1,\"IP\",\"intern", DV_S_OK, 1, u"IP", u"intern"},
      // The "=?" form of the same prefix is no context line.
      {u"(1-10),\"IP\",,,(0,1),(0,1)", kMissing, -1, u"old", u"old"},
      {u"1,\"IP\",", kMissing, -1, u"old", u"old"},
      {u"1,\"IP\"", kMissing, -1, u"old", u"old"},
      {u"1,IP,\"internet\"", kMissing, -1, u"old", u"old"},
      {u"", kMissing, -1, u"old", u"old"},
  };
  for (const Row& row : rows) {
    CgdcontAnswer answer{-1, u"old", u"old"};
    EXPECT_EQ(ParseCgdcontAnswer(row.fields, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.cid, row.cid) << U8(row.fields);
    EXPECT_EQ(answer.pdp_type, row.pdp_type) << U8(row.fields);
    EXPECT_EQ(answer.apn, row.apn) << U8(row.fields);
  }
}

TEST(NetworkAnswersTest, WanCall) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int cid, state;
  };
  const Row rows[] = {
      {u"1,1", DV_S_OK, 1, 1},
      {u"2,0", DV_S_OK, 2, 0},
      {u"1, 3", DV_S_OK, 1, 3},
      {u"1", kMissing, -1, -1},
      {u"1,", kMissing, -1, -1},
      {u",1", kMissing, -1, -1},
      {u"", kMissing, -1, -1},
  };
  for (const Row& row : rows) {
    WanCallAnswer answer{-1, -1};
    EXPECT_EQ(ParseOwancallAnswer(row.fields, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.cid, row.cid) << U8(row.fields);
    EXPECT_EQ(answer.state, row.state) << U8(row.fields);
  }
}

TEST(NetworkAnswersTest, DecodeHexPairsCoversEveryByte) {
  std::u16string hex;
  std::u16string expected;
  for (int byte = 0; byte < 256; ++byte) {
    static const char16_t kDigits[] = u"0123456789abcdef";
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 15]);
    expected.push_back(static_cast<char16_t>(byte));
  }
  std::u16string decoded;
  ASSERT_TRUE(DecodeHexPairs(hex, decoded));
  EXPECT_EQ(decoded, expected);
  EXPECT_FALSE(DecodeHexPairs(u"4", decoded));
  EXPECT_TRUE(decoded.empty());
  EXPECT_FALSE(DecodeHexPairs(u"4\u0660", decoded));  // a digit, but not an ASCII one
}

}  // namespace
