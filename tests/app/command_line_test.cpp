#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

std::vector<std::string> Names(const CommandLine& line) {
  std::vector<std::string> names;
  for (const auto& argument : line.Arguments()) {
    names.push_back(Utf16ToUtf8(argument.name) + "=" + Utf16ToUtf8(argument.value));
  }
  return names;
}

TEST(CommandLineTest, TokenizesOnSpacesAndQuotes) {
  struct Row {
    const char16_t* text;
    std::vector<std::u16string> tokens;
  };
  const Row rows[] = {
      {u"", {}},
      {u"   ", {}},
      {u"/log -stop", {u"/log", u"-stop"}},
      {u"  /log   x  ", {u"/log", u"x"}},
      {u"\"/stop\"", {u"/stop"}},
      {u"\"/a b\" c", {u"/a b", u"c"}},
      {u"\"/stop\"x", {u"/stop", u"x"}},     // the closing quote ends the token
      {u"\"/unclosed rest", {u"/unclosed rest"}},
      {u"\"\"", {u""}},
      {u"a\tb", {u"a\tb"}},                 // only the space separates
      {u"x\"y z\"", {u"x\"y", u"z\""}},      // a quote inside a token is text
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CommandLine::Tokenize(row.text), row.tokens) << Utf16ToUtf8(row.text);
  }
}

TEST(CommandLineTest, FindsSwitchesByExactName) {
  struct Row {
    const char16_t* text;
    bool has_log;
    const char16_t* log_value;
  };
  const Row rows[] = {
      {u"/log", true, u""},
      {u"-log", true, u""},
      {u"-log:full", true, u"full"},
      {u"/log=1", true, u"1"},
      {u"-log:a=b", true, u"a=b"},   // the first separator splits
      {u"/LOG", false, nullptr},     // names are case-sensitive
      {u"-Log:x", false, nullptr},
      {u"log", false, nullptr},      // no switch character
      {u"--log", false, nullptr},    // the name would be "-log"
      {u"/logfile", false, nullptr},
      {u"\"/log\"", true, u""},
      {u"x /noshow \"-log:C:/a b\"", true, u"C:/a b"},
  };
  for (const Row& row : rows) {
    const CommandLine line = CommandLine::FromString(row.text);
    EXPECT_EQ(line.Has(u"log"), row.has_log) << Utf16ToUtf8(row.text);
    if (row.log_value != nullptr) {
      EXPECT_EQ(line.Value(u"log"), row.log_value) << Utf16ToUtf8(row.text);
    }
  }
}

TEST(CommandLineTest, QuotedStopIsASwitch) {
  const CommandLine line = CommandLine::FromString(u"\"/stop\" -noshow");
  EXPECT_TRUE(line.Has(u"stop"));
  EXPECT_TRUE(line.Has(u"noshow"));
  EXPECT_FALSE(line.Has(u"bulldoze"));
}

TEST(CommandLineTest, ArgumentsFromTheShellAreOneTokenEach) {
  const char* arguments[] = {"-log", "/a b", "\"/quoted\"", "plain", "-x:é", "/", "-"};
  const CommandLine line = CommandLine::FromArguments(arguments);
  // The shell already removed quotes; what is left is text of the token.
  EXPECT_EQ(Names(line), (std::vector<std::string>{"log=", "a b=", "x=é", "=", "="}));
}

}  // namespace
