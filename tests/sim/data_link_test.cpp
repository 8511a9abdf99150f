// The card's side of a dial-up call, fed as a program would feed it.
#include "sim/data_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Exchange {
  std::vector<std::string> replies;
  bool escaped = false;
};

Exchange Feed(sim::DataLink& link, const sim::CardState& state, const std::string& bytes) {
  Exchange out;
  for (char b : bytes) {
    std::string reply;
    switch (link.Take(b, state, reply)) {
      case sim::DataLink::Step::kNothing:
        break;
      case sim::DataLink::Step::kReply:
        out.replies.push_back(reply);
        break;
      case sim::DataLink::Step::kEscape:
        out.escaped = true;
        break;
    }
  }
  return out;
}

TEST(DataLinkTest, AnswersAsTheNetworkWould) {
  sim::CardState any;
  sim::CardState strict;
  strict.dial_up_accepts_any = false;
  strict.dial_up_user = "web";
  strict.dial_up_password = "pass word";
  strict.dial_up_address = "10.1.2.3";

  struct Row {
    const char* name;
    const sim::CardState& state;
    std::string sent;
    std::vector<std::string> replies;
  } rows[] = {
      {"any login", any, "AUTH x y\r\nADDR-REQ\r\nECHO 1-abc\r\n",
       {"AUTH-ACK\r\n", "ADDR 10.64.12.34\r\n", "ECHO-REPLY 1-abc\r\n"}},
      {"the one login", strict, "AUTH web pass%20word\rADDR-REQ\n", {"AUTH-ACK\r\n", "ADDR 10.1.2.3\r\n"}},
      {"a wrong password", strict, "AUTH web password\r\nADDR-REQ\r\nECHO 1\r\n",
       {"AUTH-NAK\r\n", "AUTH-NAK\r\n", "REJECT\r\n"}},
      {"no login yet", any, "ADDR-REQ\r\nECHO 1\r\n", {"AUTH-NAK\r\n", "REJECT\r\n"}},
      {"noise and the network's own frames", any, "hello\r\n\r\nAUTH-ACK\r\nAUTH x\r\n",
       {"REJECT\r\n", "REJECT\r\n", "REJECT\r\n"}},
      {"an overlong line", any, std::string(2000, 'E') + "\r\nAUTH a b\r\n", {"REJECT\r\n", "AUTH-ACK\r\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::DataLink link;
    const Exchange got = Feed(link, row.state, row.sent);
    EXPECT_EQ(got.replies, row.replies);
    EXPECT_FALSE(got.escaped);
  }
}

TEST(DataLinkTest, PlusPlusPlusEscapesAndForgetsTheCall) {
  sim::CardState state;
  sim::DataLink link;
  ASSERT_EQ(Feed(link, state, "AUTH a b\r\n").replies.size(), 1u);
  EXPECT_TRUE(link.Authenticated());
  // In the middle of a frame, too: "+++" is never part of one.
  const Exchange got = Feed(link, state, "ECHO 12+++");
  EXPECT_TRUE(got.escaped);
  EXPECT_TRUE(got.replies.empty());
  EXPECT_FALSE(link.Authenticated());
  EXPECT_EQ(Feed(link, state, "ECHO 1\r\n").replies, std::vector<std::string>{"REJECT\r\n"})
      << "the half frame before the escape is gone, the login too";
  EXPECT_FALSE(Feed(link, state, "++a+\r\n").escaped) << "only three in a row";
}

}  // namespace
