#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "devicelib/line.h"
#include "platform/text.h"

namespace {

using GSM::Line;
using namespace std::string_literals;

// A reader program: one letter per reader call, run left to right on the
// line from just after its prefix. Each call's result is written as text:
//   i ReadInt()          I ReadInt(absent-ok, default -1)
//   c ExpectChar(',')    C ExpectChar(',', absent-ok)      (1 or 0)
//   q ReadQuoted()       Q ReadQuoted(absent-ok)
//   r ReadRest()         s SkipSpaces()                      ("")
// A call that raises writes "E" followed by the code, and ends the program.
std::vector<std::string> Run(Line& line, std::string_view program) {
  std::vector<std::string> out;
  for (char op : program) {
    try {
      switch (op) {
        case 'i': out.push_back(std::to_string(line.ReadInt())); break;
        case 'I': out.push_back(std::to_string(line.ReadInt(true, -1))); break;
        case 'c': out.push_back(std::to_string(line.ExpectChar(u','))); break;
        case 'C': out.push_back(std::to_string(line.ExpectChar(u',', true))); break;
        case 'q': out.push_back(platform::Utf16ToUtf8(line.ReadQuoted())); break;
        case 'Q': out.push_back(platform::Utf16ToUtf8(line.ReadQuoted(true))); break;
        case 'r': out.push_back(platform::Utf16ToUtf8(line.ReadRest())); break;
        case 's': line.SkipSpaces(); out.push_back(""); break;
        default: ADD_FAILURE() << "no reader '" << op << "'"; return out;
      }
    } catch (const DvException& e) {
      char code[16];
      std::snprintf(code, sizeof code, "E%08X", e.code);
      out.push_back(code);
      return out;
    }
  }
  return out;
}

struct Row {
  std::u16string line;
  std::u16string prefix;
  std::string program;
  std::vector<std::string> results;
};

constexpr const char* kMissing = "E84000004";

void Check(const Row& row) {
  Line line(row.line);
  ASSERT_TRUE(line.StartsWith(row.prefix)) << platform::Utf16ToUtf8(row.line);
  line.SetCursor(row.prefix.size());
  EXPECT_EQ(Run(line, row.program), row.results)
      << "'" << platform::Utf16ToUtf8(row.line) << "' with " << row.program;
}

TEST(LineTest, FieldReadersOnRealAnswers) {
  const Row rows[] = {
      // from testdata/at_answers.json
      {u"+CREG: 1,3", u"+CREG:", "ici", {"1", "1", "3"}},
      {u"+CREG:002,001,\"18d8\",\"ffff\"", u"+CREG:", "icicqcq", {"2", "1", "1", "1", "18d8", "1", "ffff"}},
      {u"+CREG: 2,1,  0 5, 2715", u"+CREG:", "icicic", {"2", "1", "1", "1", "0", kMissing}},
      {u"+CREG: 1,\"CE00\",\"00005449\"", u"+CREG:", "iCi", {"1", "1", kMissing}},
      {u"+CGREG: 2, 1, \"0426\", \"F00F\"", u"+CGREG:", "icicqcq", {"2", "1", "1", "1", "0426", "1", "F00F"}},
      {u"+COPS: 1,0,\"CHINA MOBILE\"", u"+COPS:", "icicqC", {"1", "1", "0", "1", "CHINA MOBILE", "0"}},
      {u"+COPS: 0,0,TELE2,0", u"+COPS:", "icicq", {"0", "1", "0", "1", kMissing}},
      {u"+COPS: 0,0,TELE2,0", u"+COPS:", "icicQr", {"0", "1", "0", "1", "", "TELE2,0"}},
      {u"+CPIN: SIM PUK2", u"+CPIN: ", "r", {"SIM PUK2"}},
      {u"+CMGR: 0,,41", u"+CMGR:", "icQCi", {"0", "1", "", "1", "41"}},
      {u"+CMGR: ,,92", u"+CMGR:", "IcQCi", {"-1", "1", "", "1", "92"}},
      {u"+CMGL: 1,0,\"\",27", u"+CMGL:", "icicQCi", {"1", "1", "0", "1", "", "1", "27"}},
      {u"+CNUM: ,\"1234567890\",161", u"+CNUM:", "Qcqci", {"", "1", "1234567890", "1", "161"}},
      {u"+CNUM: \"\",+79139131234,145", u"+CNUM:", "qcq", {"", "1", kMissing}},
      {u"+CMTI: \"ME\",1", u"+CMTI:", "qci", {"ME", "1", "1"}},
      {u"+CMTI: 0,111", u"+CMTI:", "q", {kMissing}},
      {u"+CUSD: 1", u"+CUSD:", "iC", {"1", "0"}},
      {u"+CRSM: 144, 0, \"0054485552415941FFFFFFFFFFFFFFFFFF\"", u"+CRSM:", "icicq",
       {"144", "1", "0", "1", "0054485552415941FFFFFFFFFFFFFFFFFF"}},
      // Blanks before a comma are not skipped by ExpectChar.
      {u"+QIND: \"csq\" , 100 , 50 ", u"+QIND:", "qc", {"csq", kMissing}},
      {u"+QIND: \"csq\" , 100 , 50 ", u"+QIND:", "qscici", {"csq", "", "1", "100", kMissing}},
  };
  for (const auto& row : rows) Check(row);
}

TEST(LineTest, FieldReadersAtTheEdges) {
  const Row rows[] = {
      {u"", u"", "iIcCqQr", {kMissing}},
      {u"+X: ", u"+X:", "sIr", {"", "-1", ""}},
      {u"+X: \"abc", u"+X:", "qr", {"abc", ""}},
      {u"+X: \"a,b\",1", u"+X:", "qci", {"a,b", "1", "1"}},
      {u"+X: -5", u"+X:", "I", {"-1"}},
      {u"+X: -5", u"+X:", "i", {kMissing}},
      {u"+X: 2147483647", u"+X:", "i", {"2147483647"}},
      {u"+X: 2147483648", u"+X:", "i", {kMissing}},
      {u"+X: 99999999999999999999999,1", u"+X:", "I", {kMissing}},
      {u"+X: 12ab", u"+X:", "ir", {"12", "ab"}},
      // A digit of another script is no digit.
      {u"+X: \u0661", u"+X:", "I", {"-1"}},
  };
  for (const auto& row : rows) Check(row);
}

TEST(LineTest, QuotedStringDecodesTheFieldItReads) {
  Line line(u"+COPS: 0,2,\"0054004D\",\"80004100420043\",\"004\"");
  line.SetCursor(6);
  EXPECT_EQ(line.ReadInt(), 0);
  line.ExpectChar(u',');
  EXPECT_EQ(line.ReadInt(), 2);
  line.ExpectChar(u',');
  EXPECT_EQ(line.QuotedString(GSM::QuotedStringModeUcs2), u"TM");
  line.ExpectChar(u',');
  EXPECT_EQ(line.QuotedString(GSM::QuotedStringModeUcs2CodingScheme), u"ABC");
  line.ExpectChar(u',');
  // Undecodable: an empty field, and the reader has moved past it.
  EXPECT_EQ(line.QuotedString(GSM::QuotedStringModeUcs2), u"");
  EXPECT_TRUE(line.AtEnd());
  EXPECT_EQ(line.QuotedString(GSM::QuotedStringModeNone, true), u"");
  EXPECT_THROW(line.QuotedString(GSM::QuotedStringModeNone), DvException);
}

struct BytesRow {
  const char* what;
  std::string bytes;
  std::u16string text;
};

TEST(LineTest, AnswerBytesAreGsmInsideQuotesOnly) {
  const BytesRow rows[] = {
      {"plain text", "+CSQ: 20,99"s, u"+CSQ: 20,99"},
      {"outside quotes a byte is its own code", "\x40\x09\xA4"s, u"\u0040\u0009\u00A4"},
      {"inside quotes: GSM '@', 'Ç', '$'", "\"\x00\x09\x02\""s, u"\"@\u00C7$\""},
      {"inside quotes only the low 7 bits count", "\"\xC1\""s, u"\"A\""},
      {"ESC selects the extension table", "\"5\x1B\x65\""s, u"\"5\u20AC\""},
      {"ESC with the high bit is still ESC", "\"\x9B\x3C\""s, u"\"[\""},
      {"an extension code without a character", "\"\x1B\x41\""s, u"\"\uFFFF\""},
      {"ESC before the closing quote is dropped", "\"a\x1B\"b"s, u"\"a\"b"},
      {"after the closing quote bytes are plain again", "\"\x00\"\x00"s, std::u16string(u"\"@\"\0", 4)},
      {"an open quote runs to the end", "+COPS: 0,0,\"\x1C"s, u"+COPS: 0,0,\"\u00C6"},
  };
  for (const auto& row : rows) {
    const auto* data = reinterpret_cast<const uint8_t*>(row.bytes.data());
    EXPECT_EQ(GSM::DecodeAnswerBytes(std::span(data, row.bytes.size())), row.text) << row.what;
  }
}

}  // namespace
