// What a person types into vombel-sim: the card changes only for values it
// could report, and anything else gets the usage line.
#include "sim/cli/console.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "devicelib/sms_pdu_decoder.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "sim/sim_card_builder.h"

namespace {

TEST(SimConsoleTest, ChangesOnlyWhatTheCardCouldReport) {
  platform::VirtualClock clock;
  platform::ScopedClock use_clock(clock);
  auto card = sim::NewSimCard().Build();
  ASSERT_TRUE(card);

  struct Case {
    const char* line;
    const char* said;  // the start of what the console answers
    int rssi, ber, stat, antenna;
  };
  const Case cases[] = {
      {"signal 25", "signal 25", 25, 99, 1, 4},
      {"signal 99 3", "signal 99", 99, 3, 1, 4},
      {"signal 32", "usage: signal", 99, 3, 1, 4},
      {"signal -1", "usage: signal", 99, 3, 1, 4},
      {"signal 12 8", "usage: signal", 99, 3, 1, 4},
      {"signal many", "usage: signal", 99, 3, 1, 4},
      {"register 5", "network grants registration 5", 99, 3, 5, 4},
      {"register 6", "usage: register", 99, 3, 5, 4},
      {"register", "network grants registration 1", 99, 3, 1, 4},
      {"antenna 0", "", 99, 3, 1, 0},
      {"antenna 9", "usage: antenna", 99, 3, 1, 0},
      {"fault +CSQ late -5", "usage: fault", 99, 3, 1, 0},
      {"fault +CSQ late 10", "fault set", 99, 3, 1, 0},
      {"frobnicate", "unknown command \"frobnicate\"", 99, 3, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::ostringstream out;
    EXPECT_TRUE(sim::cli::RunConsoleLine(*card, c.line, out));
    EXPECT_EQ(out.str().substr(0, std::string(c.said).size()), c.said);
    const sim::CardState s = card->Snapshot();
    EXPECT_EQ(s.rssi, c.rssi);
    EXPECT_EQ(s.ber, c.ber);
    EXPECT_EQ(s.network_stat, c.stat);
    EXPECT_EQ(s.antenna, c.antenna);
  }
  std::ostringstream out;
  EXPECT_FALSE(sim::cli::RunConsoleLine(*card, "quit", out));
}

TEST(SimConsoleTest, DialUpLoginAndAddress) {
  platform::VirtualClock clock;
  platform::ScopedClock use_clock(clock);
  auto card = sim::NewSimCard().Build();
  ASSERT_TRUE(card);
  struct Case {
    const char* line;
    const char* said;
    bool any;
    const char* user;
    const char* address;
  };
  const Case cases[] = {
      {"auth web secret", "dial-up accepts only web", false, "web", "10.64.12.34"},
      {"auth web", "usage: auth", false, "web", "10.64.12.34"},
      {"auth any", "dial-up accepts any login", true, "web", "10.64.12.34"},
      {"address 10.1.2.3", "dial-up links get 10.1.2.3", true, "web", "10.1.2.3"},
      {"address 10.1.2", "usage: address", true, "web", "10.1.2.3"},
      {"address", "usage: address", true, "web", "10.1.2.3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::ostringstream out;
    EXPECT_TRUE(sim::cli::RunConsoleLine(*card, c.line, out));
    EXPECT_EQ(out.str().substr(0, std::string(c.said).size()), c.said);
    const sim::CardState s = card->Snapshot();
    EXPECT_EQ(s.dial_up_accepts_any, c.any);
    EXPECT_EQ(s.dial_up_user, c.user);
    EXPECT_EQ(s.dial_up_address, c.address);
  }
  EXPECT_EQ(card->Snapshot().dial_up_password, "secret");
}

TEST(SimConsoleTest, ALongMessageArrivesInThePartsAndOrderAsked) {
  platform::VirtualClock clock;
  platform::ScopedClock use_clock(clock);
  auto card = sim::NewSimCard().Build();
  ASSERT_TRUE(card);
  card->Update([](sim::CardState& s) { s.sim_ready_at = 0; });
  std::ostringstream out;
  // The sample text, parts 3 and 1 only.
  ASSERT_TRUE(sim::cli::RunConsoleLine(*card, "longsms +4912 3,1", out));
  EXPECT_EQ(out.str(), "3 parts, reference 1\n  part 3: stored at 1\n  part 1: stored at 2\n");
  const sim::CardState s = card->Snapshot();
  std::vector<uint32_t> sequences;
  for (size_t slot : {0, 1}) {
    ASSERT_TRUE(s.sms[slot]);
    SmsMessageDetails m;
    SMS::DecodeSmsMessageDetails(platform::Utf8ToUtf16(s.sms[slot]->pdu_hex),
                                 static_cast<uint32_t>(s.sms[slot]->tpdu_length), false, 1, 0, 0, m);
    EXPECT_EQ(m.Concatenation.Reference, 1u);
    EXPECT_EQ(m.Concatenation.Total, 3u);
    sequences.push_back(m.Concatenation.Sequence);
  }
  EXPECT_EQ(sequences, (std::vector<uint32_t>{3, 1}));
  out.str("");
  ASSERT_TRUE(sim::cli::RunConsoleLine(*card, "longsms +4912 short and sweet", out));
  EXPECT_EQ(out.str(), "1 part, reference 2\n  part 1: stored at 3\n");
}

TEST(SimConsoleTest, PrintsTheCodesOfTheSim) {
  struct Case {
    sim::SimCardBuilder card;
    const char* printed;
  };
  const Case cases[] = {
      {sim::NewSimCard(), "SIM PIN: 1234 (not asked for), PUK: 12345678\n"},
      {sim::NewSimCard().WithPin("4711").WithPuk("87654321"), "SIM PIN: 4711 (asked for), PUK: 87654321\n"},
      {sim::NewSimCard().NetworkLocked("13579"), "SIM PIN: 1234 (not asked for), PUK: 12345678, network code: 13579\n"},
      {sim::NewSimCard().WithoutSim(), "no SIM\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    sim::cli::PrintSimCodes(c.card.State(), out);
    EXPECT_EQ(out.str(), c.printed);
  }
}

}  // namespace
