#include "sim/at_command_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sim::AtForm;

std::string Describe(const std::vector<sim::AtCommand>& commands) {
  std::string out;
  for (const auto& c : commands) {
    const char* form = c.form == AtForm::kSet ? "=" : c.form == AtForm::kQuery ? "?" : c.form == AtForm::kTest ? "=?" : "";
    out += "[" + c.name + form + c.args + "]";
  }
  return out;
}

TEST(AtCommandParserTest, SplitsCommandLinesAsTheCardsDo) {
  const struct {
    const char* line;
    const char* commands;  // nullptr: no command line
  } cases[] = {
      {"AT", ""},
      {"at", ""},
      {"ATE0", "[E0]"},
      {"ATE0V1", "[E0][V1]"},
      {"ATI", "[I]"},
      {"AT+CPIN?", "[+CPIN?]"},
      {"AT+cpin=\"1234\"", "[+CPIN=\"1234\"]"},
      {"AT+COPS=?", "[+COPS=?]"},
      {"AT+CNMI=2,1,0,1;+CMGF=0", "[+CNMI=2,1,0,1][+CMGF=0]"},
      {"AT+COPS=3,0;+COPS?", "[+COPS=3,0][+COPS?]"},
      {"AT+CUSD=1,\"*100;#\",15", "[+CUSD=1,\"*100;#\",15]"},
      {"ATD*99***1#", "[D*99***1#]"},
      {"ATDT*99***1#", "[DT*99***1#]"},
      {"AT_OWANCALL=1,1,1", "[_OWANCALL=1,1,1]"},
      {"AT$QCPDPP=1,1,\"pw\",\"user\"", "[$QCPDPP=1,1,\"pw\",\"user\"]"},
      {"AT*MCSQ=1", "[*MCSQ=1]"},
      {"ATS0=0", "[S0=0]"},
      {"AT&F", "[&F]"},
      {"AT+CMGL=4", "[+CMGL=4]"},
      {"AT+CGMM;E0", "[+CGMM][E0]"},
      {"  AT+CSQ", "[+CSQ]"},
      {"", nullptr},
      {"A", nullptr},
      {"XT+CSQ", nullptr},
      {"AT+", nullptr},
      {"AT+CSQ+CREG", nullptr},
      {"AT#", nullptr},
      {"AT&", nullptr},
      {"ATS", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto commands = sim::ParseCommandLine(c.line);
    if (!c.commands) {
      EXPECT_FALSE(commands.has_value());
    } else {
      ASSERT_TRUE(commands.has_value());
      EXPECT_EQ(Describe(*commands), c.commands);
    }
  }
}

TEST(AtCommandParserTest, SplitsArgumentsKeepingQuotedCommas) {
  const struct {
    const char* args;
    const char* fields;  // each as <text> or "text"; nullptr: malformed
  } cases[] = {
      {"", ""},
      {"1", "<1>"},
      {"1,\"IP\",\"a,b\"", "<1>\"IP\"\"a,b\""},
      {" 2 , 1 ", "<2><1>"},
      {"\"SC\",1,\"1234\"", "\"SC\"<1>\"1234\""},
      {"1,,3", "<1><><3>"},
      {"\"\"", "\"\""},
      {"\"open", nullptr},
      {"\"a\"b", nullptr},
      {"a\"b\"", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const auto args = sim::SplitArguments(c.args);
    if (!c.fields) {
      EXPECT_FALSE(args.has_value());
      continue;
    }
    ASSERT_TRUE(args.has_value());
    std::string out;
    for (const auto& a : *args) out += a.quoted ? "\"" + a.text + "\"" : "<" + a.text + ">";
    EXPECT_EQ(out, c.fields);
  }
}

TEST(AtCommandParserTest, NumbersAreUnsignedAndBounded) {
  EXPECT_EQ(sim::ParseNumber("0"), 0);
  EXPECT_EQ(sim::ParseNumber("123456789"), 123456789);
  EXPECT_FALSE(sim::ParseNumber("1234567890").has_value());
  EXPECT_FALSE(sim::ParseNumber("-1").has_value());
  EXPECT_FALSE(sim::ParseNumber("").has_value());
  EXPECT_FALSE(sim::ParseNumber("1a").has_value());
}

}  // namespace
