#include "devicelib/sim_answers.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

using namespace GSM;

std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(std::u16string(text)); }

constexpr DvResult kMissing = DV_E_UNEXPECTED_ANSWER;

TEST(SimAnswersTest, CpinComparesTheWholeTextExactly) {
  struct Row {
    std::u16string_view fields;
    PinPukState state;
  };
  const Row rows[] = {
      {u"READY", PinPukStateReady},
      {u"SIM PIN", PinPukStateSimPin},
      {u"SIM PUK", PinPukStateSimPuk},
      {u"SIM PIN2", PinPukStateSimPin2},
      // testdata/at_answers.json: ModemManager test_cpin_response.
      {u"SIM PUK2", PinPukStateSimPuk2},
      {u"PH-NET PIN", PinPukStatePhNetPin},
      {u"PH-NET PUK", PinPukStatePhNetPuk},
      {u"PH-NETSUB PIN", PinPukStatePhNetSubPin},
      {u"PH-NETSUB PUK", PinPukStatePhNetSubPuk},
      {u"PH-SP PIN", PinPukStatePhSpPin},
      {u"PH-SP PUK", PinPukStatePhSpPuk},
      {u"PH-CORP PIN", PinPukStatePhCorpPin},
      {u"PH-CORP PUK", PinPukStatePhCorpPuk},
      // ModemManager test_cpin_response accepts the quoted form; our cards
      // write the state bare and the text is compared whole, so it is unknown.
      {u"\"SIM PIN\"", PinPukStateUnknown},
      // MuditaOS unittest_URC: an unrecognised value is unknown.
      {u"\"Unknown\"", PinPukStateUnknown},
      {u"ready", PinPukStateUnknown},
      {u"READY ", PinPukStateUnknown},
      {u" READY", PinPukStateUnknown},
      {u"SIM PIN22", PinPukStateUnknown},
      {u"SIM", PinPukStateUnknown},
      {u"", PinPukStateUnknown},
  };
  for (const Row& row : rows) {
    CpinAnswer answer;
    EXPECT_EQ(ParseCpinAnswer(row.fields, answer), DV_S_OK) << U8(row.fields);
    EXPECT_EQ(answer.state, row.state) << U8(row.fields);
    EXPECT_EQ(answer.text, row.fields);
  }
}

TEST(SimAnswersTest, SingleIntAnswers) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    bool clck_enabled;
    RadioState radio;
  };
  const Row rows[] = {
      // testdata/at_answers.json: at-commander facility status "+CLCK: 1,1".
      {u" 1,1", DV_S_OK, true, RadioStateOn},
      {u" 0,2", DV_S_OK, false, RadioStateOff},
      {u" 0", DV_S_OK, false, RadioStateOff},
      {u" 2", DV_S_OK, true, RadioStateOff},
      {u" 4", DV_S_OK, true, RadioStateFlightMode},
      {u"1", DV_S_OK, true, RadioStateOn},
      {u" 01", DV_S_OK, true, RadioStateOn},
      {u"", kMissing, false, RadioStateOff},
      {u" ", kMissing, false, RadioStateOff},
      {u" x", kMissing, false, RadioStateOff},
      {u" -1", kMissing, false, RadioStateOff},
      {u" 99999999999", kMissing, false, RadioStateOff},
  };
  for (const Row& row : rows) {
    bool enabled = false;
    RadioState radio = RadioStateOff;
    EXPECT_EQ(ParseClckAnswer(row.fields, enabled), row.result) << U8(row.fields);
    EXPECT_EQ(enabled, row.clck_enabled) << U8(row.fields);
    EXPECT_EQ(ParseCfunAnswer(row.fields, radio), row.result) << U8(row.fields);
    EXPECT_EQ(radio, row.radio) << U8(row.fields);
  }
}

TEST(SimAnswersTest, RetryCounters) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int pin, puk;
  };
  const Row rows[] = {
      {u" 3,10", DV_S_OK, 3, 10},
      {u"0,0", DV_S_OK, 0, 0},
      {u" 3, 10", DV_S_OK, 3, 10},
      {u" 3 ,10", kMissing, -1, -1},  // the comma must follow the digits
      {u" 3", kMissing, -1, -1},
      {u" 3,", kMissing, -1, -1},
      {u" ,10", kMissing, -1, -1},
      {u"", kMissing, -1, -1},
      {u" 3,2147483648", kMissing, -1, -1},
  };
  for (const Row& row : rows) {
    PinPukRetries retries{-1, -1};
    EXPECT_EQ(ParseOercnAnswer(row.fields, retries), row.result) << U8(row.fields);
    EXPECT_EQ(retries.pin, row.pin) << U8(row.fields);
    EXPECT_EQ(retries.puk, row.puk) << U8(row.fields);
  }
}

TEST(SimAnswersTest, SimStatusNeedsAllThreeOnes) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    bool initialised;
  };
  const Row rows[] = {
      {u" 1,1,1", DV_S_OK, true},
      {u"1,1,1", DV_S_OK, true},
      {u" 1,1,0", DV_S_OK, false},
      {u" 1,0,1", DV_S_OK, false},
      {u" 1,2,1", DV_S_OK, false},
      // A first value other than 1 settles it; the rest is not read.
      {u" 0", DV_S_OK, false},
      {u" 0,garbage", DV_S_OK, false},
      {u" 2,1,1", DV_S_OK, false},
      {u" 1", kMissing, true},
      {u" 1,1", kMissing, true},
      {u" 1,1,", kMissing, true},
      {u" 1;1;1", kMissing, true},
      {u"", kMissing, true},
  };
  for (const Row& row : rows) {
    bool initialised = true;  // untouched on failure
    EXPECT_EQ(ParseOblsAnswer(row.fields, initialised), row.result) << U8(row.fields);
    EXPECT_EQ(initialised, row.initialised) << U8(row.fields);
  }
}

TEST(SimAnswersTest, CrsmKeepsTheResponseRaw) {
  struct Row {
    std::u16string_view fields;
    DvResult result;
    int sw1, sw2;
    std::u16string_view response;
  };
  const Row rows[] = {
      // testdata/at_answers.json: ModemManager test_crsm_response (EF_SPN).
      {u" 144, 0, \"0054485552415941FFFFFFFFFFFFFFFFFF\"", DV_S_OK, 144, 0, u"0054485552415941FFFFFFFFFFFFFFFFFF"},
      {u" 144,0,\"98940010325476981032\"", DV_S_OK, 144, 0, u"98940010325476981032"},
      {u" 144,0,\"\"", DV_S_OK, 144, 0, u""},
      // An unbalanced quote runs to the end of the line.
      {u" 144,0,\"9894", DV_S_OK, 144, 0, u"9894"},
      // at-commander RestrictedSimAccessResponseTest reads unquoted data; here
      // the data field must be quoted, as our cards write it.
      {u" 144,0,FFFF", kMissing, -1, -1, u"unchanged"},
      {u" 144,0", kMissing, -1, -1, u"unchanged"},
      {u" 144", kMissing, -1, -1, u"unchanged"},
      {u" ,0,\"FF\"", kMissing, -1, -1, u"unchanged"},
      {u"", kMissing, -1, -1, u"unchanged"},
  };
  for (const Row& row : rows) {
    CrsmAnswer answer{-1, -1, u"unchanged"};
    EXPECT_EQ(ParseCrsmAnswer(row.fields, answer), row.result) << U8(row.fields);
    EXPECT_EQ(answer.sw1, row.sw1) << U8(row.fields);
    EXPECT_EQ(answer.sw2, row.sw2) << U8(row.fields);
    EXPECT_EQ(answer.response, row.response) << U8(row.fields);
  }
}

TEST(SimAnswersTest, RestOfLineAnswersKeepTheirText) {
  // testdata/at_answers.json: ModemManager and chan_dongle CNUM answers. The
  // entry goes to the application whole, leading blank included.
  const std::u16string_view rows[] = {
      u" ,\"1234567890\",161",
      u" something,\"+34600000001\",145",
      u" \"Subscriber Number\",,145",
      u" \"\",+79139131234,145",
      u"",
  };
  for (std::u16string_view fields : rows) {
    std::u16string entry = u"old";
    EXPECT_EQ(ParseCnumAnswer(fields, entry), DV_S_OK);
    EXPECT_EQ(entry, fields);
    std::u16string text = u"old";
    EXPECT_EQ(ParseOhwvAnswer(fields, text), DV_S_OK);
    EXPECT_EQ(text, fields);
    EXPECT_EQ(ParseOgsnAnswer(fields, text), DV_S_OK);
    EXPECT_EQ(text, fields);
  }
}

TEST(SimAnswersTest, CgsnSplitsAtTheFirstComma) {
  struct Row {
    std::u16string_view line;
    std::u16string_view imei, serial;
    bool has_comma;
    int removability;
  };
  const Row rows[] = {
      {u"356789012345678,ZA1234567", u"356789012345678", u"ZA1234567", true, 3},
      {u"356789012345678,AB1234567", u"356789012345678", u"AB1234567", true, 1},
      {u"356789012345678,AB12,Z99", u"356789012345678", u"AB12,Z99", true, 3},
      {u"356789012345678", u"356789012345678", u"", false, kRemovabilityUndeterminable},
      {u"356789012345678,", u"356789012345678", u"", true, 1},
      {u",Z", u"", u"Z", true, 3},
      {u",z123", u"", u"z123", true, 1},  // the test is case-sensitive
      {u"", u"", u"", false, kRemovabilityUndeterminable},
  };
  for (const Row& row : rows) {
    CgsnAnswer answer;
    EXPECT_EQ(ParseCgsnAnswer(row.line, answer), DV_S_OK);
    EXPECT_EQ(answer.imei, row.imei) << U8(row.line);
    EXPECT_EQ(answer.serial, row.serial) << U8(row.line);
    EXPECT_EQ(answer.has_comma, row.has_comma) << U8(row.line);
    int type = 2;
    EXPECT_EQ(ParseRemovabilityAnswer(row.line, type), DV_S_OK);
    EXPECT_EQ(type, row.removability) << U8(row.line);
  }
}

}  // namespace
