#include "devicelib/cli/ussd_exchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicelib/cli/command_line.h"

namespace vombel_device {
namespace {

TEST(UssdCommandLineTest, CodeAndRepliesAreDigitsStarAndHash) {
  struct Row {
    std::vector<std::string> args;
    bool ok;
    std::vector<std::string> replies;
  };
  const std::vector<Row> rows = {
      {{"ussd", "*100#"}, true, {}},
      {{"ussd", "*101#", "1", "2"}, true, {"1", "2"}},
      {{"ussd", "*101#", "1", "--json"}, true, {"1"}},
      {{"ussd", "#31#"}, true, {}},
      {{"ussd", std::string(160, '1')}, true, {}},
      {{"ussd"}, false, {}},
      {{"ussd", "--json"}, false, {}},
      {{"ussd", "*100#a"}, false, {}},
      {{"ussd", "*101#", "yes"}, false, {}},
      {{"ussd", std::string(161, '1')}, false, {}},
  };
  for (const Row& row : rows) {
    const ParsedCommandLine parsed = ParseCommandLine(row.args);
    ASSERT_EQ(parsed.error.empty(), row.ok) << row.args.size() << " " << parsed.error;
    if (!row.ok) continue;
    EXPECT_EQ(parsed.options.command, Command::kUssd);
    EXPECT_EQ(parsed.options.ussd_code, row.args[1]);
    EXPECT_EQ(parsed.options.ussd_replies, row.replies);
  }
}

TEST(UssdExchangeTest, EachRequestOfTheNetworkTakesTheNextReplyUntilTheSessionEnds) {
  struct Answer {
    int status;
    const char* text;
  };
  struct Row {
    std::vector<std::string> replies;
    std::vector<Answer> answers;
    std::vector<std::string> sent;  // the code, then every reply sent
    UssdEnding ending;
    size_t unused;
  };
  const std::vector<Row> rows = {
      {{}, {{0, "Balance 5 EUR"}}, {"*100#"}, UssdEnding::kDone, 0},
      {{"1"}, {{1, "1 Bundles"}, {0, "1 GB"}}, {"*100#", "1"}, UssdEnding::kDone, 0},
      {{"1", "2"}, {{1, "menu"}, {1, "submenu"}, {2, "bye"}}, {"*100#", "1", "2"}, UssdEnding::kEndedByNetwork, 0},
      {{}, {{1, "menu"}}, {"*100#"}, UssdEnding::kNoReplyLeft, 0},
      {{"1", "9"}, {{0, "done"}}, {"*100#"}, UssdEnding::kDone, 2},
      {{}, {{3, ""}}, {"*100#"}, UssdEnding::kOtherClient, 0},
      {{}, {{4, ""}}, {"*100#"}, UssdEnding::kUnsupported, 0},
      {{"1"}, {{1, "menu"}, {5, ""}}, {"*100#", "1"}, UssdEnding::kTimedOut, 0},
      // An answer after the end changes nothing.
      {{}, {{0, "done"}, {1, "late"}}, {"*100#"}, UssdEnding::kDone, 0},
  };
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    UssdExchange exchange("*100#", row.replies);
    for (const Answer& answer : row.answers) exchange.OnAnswer(answer.status, answer.text);
    std::vector<std::string> sent;
    for (const UssdTurn& turn : exchange.Turns()) sent.push_back(turn.sent);
    EXPECT_EQ(sent, row.sent) << "row " << r;
    EXPECT_EQ(exchange.Ending(), row.ending) << "row " << r;
    EXPECT_EQ(exchange.UnusedReplies(), row.unused) << "row " << r;
    EXPECT_NE(exchange.Turns().front().status, -1) << "row " << r;
  }
}

TEST(UssdExchangeTest, AMenuShowsAsIndentedLinesAfterTheCode) {
  UssdExchange exchange("*101#", {});
  exchange.OnAnswer(1, "Menu\r\n1 Bundles\n2 Top up");
  EXPECT_EQ(FormatUssd(exchange),
            (std::vector<std::string>{"> *101#", "< Menu", "  1 Bundles", "  2 Top up",
                                      "(the network asks for a reply; none was given, so the session was ended)"}));
}

}  // namespace
}  // namespace vombel_device
