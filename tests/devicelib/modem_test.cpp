#include "devicelib/modem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devicelib/command_log.h"
#include "devicelib/line_classifier.h"
#include "platform/clock.h"
#include "platform/pty.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "tests/support/clock_driver.h"
#include "tests/support/code_of.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testing_support::BlocksOnTheClock;
using testing_support::CodeOf;
using testing_support::kSafetyNet;
using testing_support::LogCapture;
using testing_support::RunClockUntilDone;

// Records what the engine hands to the dispatcher; can be told to fail.
class RecordingHandler : public GSM::Unsolicited {
 public:
  struct Call {
    uint32_t type;
    std::u16string text;
    size_t cursor;
  };

  void HandleUnsolicited(uint32_t type, GSM::Line& line) override {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({type, line.Text(), line.Cursor()});
      cv_.notify_all();
    }
    if (on_call) on_call(type, line);
  }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  bool WaitForCalls(size_t count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] { return calls_.size() >= count; });
  }

  std::function<void(uint32_t, GSM::Line&)> on_call;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
};

class TestModem : public GSM::Modem {
 public:
  using Modem::Modem;
  ~TestModem() override {
    if (IsOpen()) Close();
  }

  // The bytes as the receiver thread would hand them over.
  void Feed(std::string_view bytes) {
    for (char c : bytes) OnRxChar(static_cast<uint8_t>(c));
  }

  int PortErrors() const { return port_errors_.load(); }

 protected:
  void OnPortError(uint32_t) override { ++port_errors_; }

 private:
  std::atomic<int> port_errors_{0};
};

// ---------------------------------------------------------------------------
// The receive path, fed directly.

class ModemReceiveTest : public ::testing::Test {
 protected:
  // Hands `bytes` to a fresh modem once for every position they can be split
  // at (as two reads), and lets `check` look at what the modem and its
  // handler made of them. Stops at the first split that fails fatally.
  static void ForEverySplit(const std::string& bytes,
                            const std::function<void(TestModem&, RecordingHandler&)>& check) {
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
      SCOPED_TRACE("cut at " + std::to_string(cut));
      RecordingHandler handler;
      TestModem modem(&handler);
      modem.Feed(std::string_view(bytes).substr(0, cut));
      modem.Feed(std::string_view(bytes).substr(cut));
      check(modem, handler);
      if (HasFatalFailure()) return;
    }
  }

  platform::VirtualClock clock_;
  platform::ScopedClock use_clock_{clock_};
  RecordingHandler handler_;
};

TEST_F(ModemReceiveTest, UnsolicitedLinesGoToTheHandlerAndAnswersToTheQueue) {
  const std::string bytes = "\r\n+CREG: 1,5\r\n\r\n+CSQ: 20,99\r\n\r\nRING\r\n\r\nOK\r\n";
  ForEverySplit(bytes, [](TestModem& modem, RecordingHandler& handler) {
    const auto calls = handler.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].type, GSM::UnsolicitedTypeCreg);
    EXPECT_EQ(calls[0].text, u"+CREG: 1,5");
    EXPECT_EQ(calls[0].cursor, 0u) << "the handler reads from the start of the line";
    EXPECT_EQ(calls[1].type, GSM::UnsolicitedTypeRing);
    modem.ExpectLine(u"+CSQ:");
    EXPECT_EQ(modem.ReadInt(), 20);
    modem.DropLine();
    EXPECT_TRUE(modem.NextIsFinal());
    modem.WaitFinal();
  });
}

TEST_F(ModemReceiveTest, AMessageReachesTheHandlerOnceWithItsPdu) {
  // from testdata/at_answers.json (+CMT: with the PDU on the next line)
  const std::string bytes =
      "\r\n+CMT: ,23\r\n07918497483252F0040B918496445078F700007121320144744004D4F29C0E\r\n"
      "\r\n+CDS: 6\r\n0006\r\n";
  ForEverySplit(bytes, [](TestModem&, RecordingHandler& handler) {
    const auto calls = handler.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].type, GSM::UnsolicitedTypeCmt);
    EXPECT_EQ(calls[0].text, u"+CMT: ,23;07918497483252F0040B918496445078F700007121320144744004D4F29C0E");
    EXPECT_EQ(calls[1].type, GSM::UnsolicitedTypeCds);
    EXPECT_EQ(calls[1].text, u"+CDS: 6;0006");
  });
}

TEST_F(ModemReceiveTest, AFailingHandlerIsLoggedAndReceptionGoesOn) {
  LogCapture log(1);
  handler_.on_call = [](uint32_t type, GSM::Line& line) {
    switch (type) {
      case GSM::UnsolicitedTypeCreg: {
        line.SetCursor(6);
        line.ReadInt();
        line.ExpectChar(u',');
        line.ReadInt();  // "+CREG: 1,"CE00"..." has no second number here
        break;
      }
      case GSM::UnsolicitedTypeCusd: throw std::bad_alloc();
      case GSM::UnsolicitedTypeRing: throw std::runtime_error("not a result code");
      default: break;
    }
  };
  TestModem modem(&handler_);
  // from testdata/at_answers.json (+CREG: with location, Sony Ericsson K850i)
  modem.Feed("\r\n+CREG: 1,\"CE00\",\"00005449\"\r\n\r\n+CUSD: 1\r\n\r\nRING\r\n\r\n+CSQ: 7,99\r\n\r\nOK\r\n");
  EXPECT_EQ(log.Count("Dv: An exception 0x84000004 occured during processing the previous unsolicited "
                      "response (type 5)"),
            1u);
  EXPECT_EQ(log.Count("Dv: An exception 0x8007000e occured during processing the previous unsolicited "
                      "response (type 15)"),
            1u);
  EXPECT_EQ(log.Count("Dv: An exception 0x80004005 occured during processing the previous unsolicited "
                      "response (type 0)"),
            1u);
  modem.ExpectLine(u"+CSQ: ");
  EXPECT_EQ(modem.ReadInt(), 7);
  modem.DropLine();
  modem.WaitFinal();
}

TEST_F(ModemReceiveTest, TextInsideQuotesArrivesInTheGsmAlphabet) {
  LogCapture log(1);
  TestModem modem(&handler_);
  // "Ça coûte 5€" as a card sends it after AT+CSCS="GSM" (û has no GSM code;
  // the card would not send it, so the text here is "Ça co" + ESC-euro).
  modem.Feed("\r\n+COPS: 0,0,\"\x09" "a co\x1B\x65\",2\r\n\r\nOK\r\n"s);
  modem.ExpectLine(u"+COPS:");
  EXPECT_EQ(modem.ReadInt(), 0);
  modem.ExpectChar(u',');
  EXPECT_EQ(modem.ReadInt(), 0);
  modem.ExpectChar(u',');
  EXPECT_EQ(modem.ReadQuoted(), u"\u00C7a co\u20AC");
  EXPECT_TRUE(log.Contains("Dv: Modem read: [+COPS: 0,0,\"\xC3\x87" "a co\xE2\x82\xAC\",2]"));
}

TEST_F(ModemReceiveTest, QuoteTrackingKeepsAnOperatorNameWithLineEndsWhole) {
  TestModem modem(&handler_);
  modem.SetQuoteTracking(true);
  modem.Feed("\r\n+COPS: 0,0,\"Tele\r\nNet\",2\r\n\r\nOK\r\n");
  modem.ExpectLine(u"+COPS:");
  modem.ReadInt();
  modem.ExpectChar(u',');
  modem.ReadInt();
  modem.ExpectChar(u',');
  EXPECT_EQ(modem.ReadQuoted(), u"Tele\r\nNet");
  modem.DropLine();
  modem.WaitFinal();

  modem.SetQuoteTracking(false);
  modem.Feed("\r\n+COPS: 0,0,\"Tele\r\nNet\",2\r\n\r\nOK\r\n");
  modem.ExpectLine(u"+COPS:");
  EXPECT_EQ(modem.ReadRest(), u" 0,0,\"Tele");
}

TEST_F(ModemReceiveTest, ResetStateForgetsAHalfLineAndAnOpenQuote) {
  TestModem modem(&handler_);
  modem.SetQuoteTracking(true);
  modem.Feed("\r\n+COPS: 0,0,\"unfinished\r\n");
  modem.ResetState();
  EXPECT_FALSE(modem.QuoteTracking());
  modem.Feed("\r\nOK\r\n");
  EXPECT_TRUE(modem.NextIsFinal());
}

// ---------------------------------------------------------------------------
// Transactions over a real pseudo-terminal, against a scripted card.

// Plays the card on the master side: collects each command the engine sends
// (up to CR LF, or a Ctrl-Z for a message body) and answers it with what
// `answer` returns for it.
class ScriptedCard {
 public:
  using Answer = std::function<std::string(const std::string& command)>;

  explicit ScriptedCard(platform::PseudoTerminal& pty) : pty_(pty) {}
  ~ScriptedCard() { Stop(); }

  void Start(Answer answer) {
    answer_ = std::move(answer);
    thread_ = std::thread([this] { Loop(); });
  }
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }

  // Bytes the card sends on its own. Whole: never in the middle of a reply.
  void Send(const std::string& bytes) {
    std::lock_guard lock(write_mutex_);
    ASSERT_TRUE(pty_.Write(bytes));
  }

  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  bool WaitForCommands(size_t count) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] { return commands_.size() >= count; });
  }

 private:
  void Loop() {
    std::string pending;
    char buffer[256];
    while (!stop_.load()) {
      size_t got = 0;
      if (!pty_.Read(buffer, sizeof buffer, &got, 20)) return;
      pending.append(buffer, got);
      for (;;) {
        const size_t crlf = pending.find("\r\n");
        const size_t ctrl_z = pending.find('\x1A');
        const size_t end = std::min(crlf, ctrl_z);
        if (end == std::string::npos) break;
        const std::string command = pending.substr(0, end);
        pending.erase(0, end + (end == crlf ? 2 : 1));
        {
          std::lock_guard lock(mutex_);
          commands_.push_back(command);
          cv_.notify_all();
        }
        const std::string reply = answer_(command);
        std::lock_guard lock(write_mutex_);
        if (!reply.empty() && !pty_.Write(reply)) return;
      }
    }
  }

  platform::PseudoTerminal& pty_;
  Answer answer_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex write_mutex_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> commands_;
};

class ModemPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Open's settling sleeps and the 10 ms pause before each command pass by
    // themselves; the serial receiver never sleeps, it waits on the line.
    clock_.SetSleepAdvances(true);
    ASSERT_TRUE(pty_.Open()) << "error " << platform::GetLastError();
  }
  void TearDown() override { card_.Stop(); }

  void Open(ScriptedCard::Answer answer) {
    ASSERT_EQ(CodeOf([&] { modem_.Open(pty_.SlavePath(), true); }), DV_S_OK);
    card_.Start(std::move(answer));
  }

  // The hex of every read the port dumped, in order, without the captions.
  std::string DumpedReads() const {
    std::string hex;
    for (const auto& line : log_.LinesStartingWith(kReadCaption)) {
      hex += line.substr(std::string_view(kReadCaption).size());
    }
    return hex;
  }

  static std::string HexOf(std::string_view bytes) {
    return testing_support::HexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  static constexpr char kReadCaption[] = "Port read: ";
  static constexpr char kReadWithheld[] =
      "Dv: Port read: <Binary logging of sensitive information is disabled>";

  platform::VirtualClock clock_;
  platform::ScopedClock use_clock_{clock_};
  LogCapture log_;
  platform::PseudoTerminal pty_;
  RecordingHandler handler_;
  TestModem modem_{&handler_};
  ScriptedCard card_{pty_};
};

TEST_F(ModemPtyTest, TheEchoOfTheCommandIsDroppedAndOkEndsIt) {
  Open([](const std::string& command) { return command == "AT" ? "AT\r\r\nOK\r\n" : "\r\nERROR\r\n"; });
  modem_.SetTimeout(2000);
  modem_.SetCommand(u"AT");
  modem_.SendCommand(GSM::SendModeNormal);
  EXPECT_TRUE(modem_.NextIsFinal()) << "the echo must not be queued";
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  EXPECT_TRUE(log_.Contains("Dv: Echo line was detected, discarding it"));
  EXPECT_TRUE(log_.Contains("Dv: Modem write: [AT\r\n]"));
  EXPECT_EQ(modem_.CommandText(), u"") << "sending clears the command text";
}

TEST_F(ModemPtyTest, EchoIsComparedIgnoringCaseAndOnlyOnce) {
  Open([](const std::string& command) {
    // The card echoes in its own case, then answers with a line that
    // happens to repeat the command.
    if (command == "at+cgmi") return "AT+CGMI\r\r\nat+cgmi\r\r\n\r\nOK\r\n"s;
    return "\r\nERROR\r\n"s;
  });
  modem_.SetCommand(u"at+cgmi");
  modem_.SendCommand(GSM::SendModeNormal);
  modem_.ExpectLine(u"at+cgmi");
  modem_.DropLine();
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  EXPECT_EQ(log_.Count("Dv: Echo line was detected, discarding it"), 1u);
}

TEST_F(ModemPtyTest, AQueryReadsItsFieldsAndAnErrorBecomesItsCode) {
  Open([](const std::string& command) -> std::string {
    // from testdata/at_answers.json (AT+CSCA?)
    if (command == "AT+CSCA?") return "\r\n+CSCA: \"+79168999100\",145\r\n\r\nOK\r\n";
    if (command == "AT+CPIN?") return "\r\n+CME ERROR: 10\r\n";
    if (command == "AT+CMGR=1") return "\r\n+CMS ERROR: 321\r\n";
    return "\r\nERROR\r\n";
  });
  modem_.SetTimeout(5000);
  modem_.SetCommand(u"AT+CSCA?");
  modem_.SendCommand(GSM::SendModeNormal);
  modem_.ExpectLine(u"+CSCA:");
  EXPECT_EQ(modem_.ReadQuoted(), u"+79168999100");
  modem_.ExpectChar(u',');
  EXPECT_EQ(modem_.ReadInt(), 145);
  modem_.DropLine();
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);

  modem_.SetCommand(u"AT+CPIN?");
  modem_.SendCommand(GSM::SendModeNormal);
  EXPECT_EQ(CodeOf([&] { modem_.ExpectLine(u"+CPIN: "); }), 0x8401000Au);

  modem_.AppendCommandFormat("AT+CMGR=%d", 1);
  modem_.SendCommand(GSM::SendModeNormal);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), 0x84020141u);

  modem_.SetCommand(u"AT+XYZ");
  modem_.SendCommand(GSM::SendModeNormal);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_E_ERROR);
}

TEST_F(ModemPtyTest, ACommandWithoutATimeOutFailsAfterTenSeconds) {
  Open([](const std::string&) { return std::string(); });
  auto transaction = std::async(std::launch::async, [&] {
    modem_.SetCommand(u"AT+CGSN");
    modem_.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] { modem_.WaitFinal(); });
  });
  ASSERT_TRUE(BlocksOnTheClock(clock_, transaction));
  EXPECT_EQ(RunClockUntilDone(clock_, transaction), 10000u);
  EXPECT_EQ(transaction.get(), DV_E_NO_ANSWER);
  EXPECT_TRUE(log_.Contains("Dv: Wait timeout for answer"));
}

TEST_F(ModemPtyTest, TwoWaitsOfOneTransactionShareItsBudget) {
  Open([](const std::string&) { return std::string(); });
  std::promise<void> line_read;
  auto transaction = std::async(std::launch::async, [&] {
    modem_.SetTimeout(5000);
    modem_.SetCommand(u"AT+CGMI");
    modem_.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] {
      modem_.ExpectLine(u"+CGMI: ");
      line_read.set_value();
      modem_.DropLine();
      modem_.WaitFinal();
    });
  });
  ASSERT_TRUE(BlocksOnTheClock(clock_, transaction));
  const uint64_t start = clock_.NowMs();
  // The answer line arrives 3 s into the budget...
  clock_.Advance(3000);
  card_.Send("\r\n+CGMI: Vombel\r\n");
  line_read.get_future().wait();
  // ...and the final result is then waited for the 2 s that are left.
  RunClockUntilDone(clock_, transaction);
  EXPECT_EQ(clock_.NowMs() - start, 5000u);
  EXPECT_EQ(transaction.get(), DV_E_NO_ANSWER);
}

TEST_F(ModemPtyTest, TheNextCommandGetsTheDefaultBudgetAfterATransactionThatFailedEarly) {
  Open([](const std::string& command) {
    if (command == "AT+CPIN?") return "\r\n+CPIN: READY\r\n"s;  // the final result never comes
    return std::string();
  });
  modem_.SetTimeout(2000);
  modem_.SetCommand(u"AT+CPIN?");
  modem_.SendCommand(GSM::SendModeNormal);
  // A caller that gives up at the wrong prefix never reaches WaitFinal.
  EXPECT_EQ(CodeOf([&] { modem_.ExpectLine(u"+CSQ:"); }), DV_E_UNEXPECTED_ANSWER);

  // The next command, sent without a budget of its own, still gets 10 s.
  auto next = std::async(std::launch::async, [&] {
    modem_.SetCommand(u"AT+CGSN");
    modem_.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] { modem_.WaitFinal(); });
  });
  ASSERT_TRUE(BlocksOnTheClock(clock_, next));
  EXPECT_EQ(RunClockUntilDone(clock_, next), 10000u);
  EXPECT_EQ(next.get(), DV_E_NO_ANSWER);
}

TEST_F(ModemPtyTest, ASensitiveCommandIsNeverLoggedInTheClear) {
  Open([](const std::string& command) {
    // A card that still echoes.
    return command == "AT+CPIN=\"1234\"" ? "AT+CPIN=\"1234\"\r\r\nOK\r\n" : "\r\nERROR\r\n";
  });
  modem_.SetCommand(u"AT+CPIN=\"1234\"");
  GSM::LogMaskedCommand(modem_.CommandText());
  modem_.SendCommand(GSM::SendModeSensitive);
  EXPECT_TRUE(modem_.NextIsFinal());
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  for (const auto& line : log_.Lines()) {
    EXPECT_EQ(line.find("1234"), std::string::npos) << line;
    if (line.starts_with("Port write")) {
      EXPECT_EQ(line.find("31 32 33 34"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(log_.Contains("Dv: Modem write: [AT+CPIN=\"XXXX\"]"));
  EXPECT_TRUE(log_.Contains("Dv: Modem read: [AT+CPIN=\"XXXX\"\r]"));
  EXPECT_TRUE(log_.Contains("Dv: Port write: <Binary logging of sensitive information is disabled>"));
}

TEST_F(ModemPtyTest, TheEchoOfASecretIsWithheldFromTheReadDumpAndTheAnswerIsDumpedAgain) {
  Open([this](const std::string& command) -> std::string {
    if (command != "AT+CPIN=\"1234\"") return "\r\nERROR\r\n";
    // The echo in two reads, the PIN cut in half: the second read must be
    // withheld too. The CR LF that completes the echo line comes with it,
    // and the answer only once the echo has been dropped, so that it is a
    // read of its own.
    card_.Send("AT+CPIN=\"12");
    EXPECT_TRUE(log_.WaitFor(kReadWithheld, 1));
    card_.Send("34\"\r\r\n");
    EXPECT_TRUE(log_.WaitFor("Dv: Echo line was detected, discarding it"));
    return "OK\r\n";
  });
  modem_.SetCommand(u"AT+CPIN=\"1234\"");
  GSM::LogMaskedCommand(modem_.CommandText());
  modem_.SendCommand(GSM::SendModeSensitive);
  EXPECT_TRUE(modem_.NextIsFinal()) << "the echo must not be queued";
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);

  EXPECT_GE(log_.Count(kReadWithheld), 2u) << "each read of the echo is withheld";
  for (const auto& line : log_.Lines()) {
    EXPECT_EQ(line.find("1234"), std::string::npos) << line;
    EXPECT_EQ(line.find("31 32"), std::string::npos) << line;
    EXPECT_EQ(line.find("33 34"), std::string::npos) << line;
  }
  EXPECT_EQ(DumpedReads(), HexOf("OK\r\n")) << "only the answer after the echo may be dumped";
}

TEST_F(ModemPtyTest, AnEchoOfASecretThatCameUnrecognisedIsStillLoggedMasked) {
  // A late answer to an earlier command arrives first and uses up the echo
  // registration; the echo that follows is taken for an answer line.
  Open([](const std::string& command) -> std::string {
    if (command != "AT+CPIN=\"1234\"") return "\r\nERROR\r\n";
    return "+CSQ: 20,99\r\nAT+CPIN=\"1234\"\r\r\nOK\r\n";
  });
  modem_.SetCommand(u"AT+CPIN=\"1234\"");
  modem_.SendCommand(GSM::SendModeSensitive);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);

  EXPECT_TRUE(log_.Contains("Dv: Modem read: [AT+CPIN=\"XXXX\"\r]"));
  for (const auto& line : log_.Lines()) EXPECT_EQ(line.find("1234"), std::string::npos) << line;
}

TEST_F(ModemPtyTest, WithoutAnEchoTheNextCommandEndsTheWithheldReads) {
  // A card with its echo off: the answer to the PIN is all that comes, and
  // the port cannot tell it from a late echo.
  Open([](const std::string& command) {
    return command == "AT" ? "\r\nOK\r\n"s : "\r\n+CME ERROR: 16\r\n"s;  // 16: incorrect password
  });
  modem_.SetCommand(u"AT+CPIN=\"1234\"");
  modem_.SendCommand(GSM::SendModeSensitive);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), 0x84010010u);
  EXPECT_TRUE(log_.Contains(kReadWithheld));
  EXPECT_EQ(DumpedReads(), "");

  modem_.SetCommand(u"AT");
  modem_.SendCommand(GSM::SendModeNormal);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  EXPECT_EQ(DumpedReads(), HexOf("\r\nOK\r\n"));
}

TEST_F(ModemPtyTest, ClosingEndsTheWaitForTheEchoOfASecret) {
  Open([](const std::string&) { return std::string(); });
  modem_.SetCommand(u"AT+CPWD=\"SC\",\"1234\",\"4321\"");
  modem_.SendCommand(GSM::SendModeSensitive);
  ASSERT_TRUE(card_.WaitForCommands(1));
  card_.Stop();
  modem_.Close();

  ASSERT_EQ(CodeOf([&] { modem_.Open(pty_.SlavePath(), true); }), DV_S_OK);
  ScriptedCard card(pty_);
  card.Start([](const std::string&) { return std::string(); });
  card.Send("\r\n+CREG: 1\r\n");
  ASSERT_TRUE(handler_.WaitForCalls(1));
  card.Stop();
  EXPECT_FALSE(log_.Contains(kReadWithheld));
  EXPECT_EQ(DumpedReads(), HexOf("\r\n+CREG: 1\r\n"));
}

TEST_F(ModemPtyTest, AMessageIsSentAfterThePromptInRawMode) {
  const std::string pdu = "0011000B916407281553F80000AA0AE8329BFD4697D9EC37";
  Open([pdu](const std::string& command) -> std::string {
    if (command == "AT+CMGW=24") return "\r\n> ";
    if (command == pdu) return "\r\n+CMGW: 3\r\n\r\nOK\r\n";
    return "\r\nERROR\r\n";
  });
  modem_.AppendCommand(u"AT+CMGW=");
  modem_.AppendCommandFormat("%d", 24);
  modem_.SendCommand(GSM::SendModeNormal);
  modem_.ExpectLine(u"> ");
  modem_.DropLine();
  modem_.SetTimeout(30000);
  modem_.AppendCommand(platform::Utf8ToUtf16(pdu));
  modem_.AppendCommand(u'\x1A');
  modem_.SendCommand(GSM::SendModeRaw);
  modem_.ExpectLine(u"+CMGW:");
  EXPECT_EQ(modem_.ReadInt(), 3);
  modem_.DropLine();
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  EXPECT_EQ(card_.Commands(), (std::vector<std::string>{"AT+CMGW=24", pdu}));
}

TEST_F(ModemPtyTest, QuotedCommandTextGoesOutInTheGsmAlphabet) {
  Open([](const std::string&) { return "\r\nOK\r\n"s; });
  modem_.SetCommand(u"AT+CPBW=1,\"+49\",145,\"Ça coûte 5€ [x]\"");
  modem_.SendCommand(GSM::SendModeNormal);
  modem_.WaitFinal();
  // Outside the quotes each character is its low byte; inside, GSM codes:
  // Ç 0x09, û folds to u, € and [ ] are escaped.
  EXPECT_EQ(card_.Commands(),
            std::vector<std::string>{"AT+CPBW=1,\"+49\",145,\"\x09" "a coute 5\x1B\x65 \x1B\x3Cx\x1B\x3E\""s});

  // Characters without a GSM code are left out; the quote state ends at LF.
  modem_.Write(u"\"a\u4E2Db\"\u00E9\r\n", false);
  card_.WaitForCommands(2);
  EXPECT_EQ(card_.Commands()[1], "\"ab\"\xE9"s);
}

TEST_F(ModemPtyTest, ACommandThatDoesNotFitTheBufferIsNotSentAtAll) {
  Open([](const std::string&) { return "\r\nOK\r\n"s; });
  // 1022 bytes of text plus CR LF: the conversion stops before the LF.
  modem_.SetCommand(u"AT" + std::u16string(1020, u'1'));
  EXPECT_EQ(CodeOf([&] { modem_.SendCommand(GSM::SendModeNormal); }), DV_E_INVALID_ARGUMENT);
  EXPECT_EQ(modem_.CommandText(), u"");
  EXPECT_TRUE(log_.Contains("does not fit the transmit buffer, not sent"));

  // One byte less fits exactly (1021 + CR LF = 1023 bytes).
  modem_.SetCommand(u"AT" + std::u16string(1019, u'1'));
  modem_.SendCommand(GSM::SendModeNormal);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  ASSERT_TRUE(card_.WaitForCommands(1));
  EXPECT_EQ(card_.Commands()[0].size(), 1021u);

  // A raw text whose last character is an escaped one may use the whole
  // buffer: 1022 bytes, then ESC + code.
  modem_.Write(u"\"" + std::u16string(1021, u'a') + u"€", false);
  modem_.Write(u"\r\n", false);
  ASSERT_TRUE(card_.WaitForCommands(2));
  EXPECT_EQ(card_.Commands()[1].size(), 1024u);
}

TEST_F(ModemPtyTest, ClosingWakesAWaitingTransactionWithNoDevice) {
  Open([](const std::string&) { return std::string(); });
  auto transaction = std::async(std::launch::async, [&] {
    modem_.SetTimeout(30000);
    modem_.SetCommand(u"AT+COPS=0");
    modem_.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] { modem_.WaitFinal(); });
  });
  ASSERT_TRUE(BlocksOnTheClock(clock_, transaction));
  card_.Stop();
  modem_.Close();
  EXPECT_EQ(transaction.get(), DV_E_NO_DEVICE);
  EXPECT_TRUE(log_.Contains("Dv: Port closed successfully"));

  // Closed: a command goes nowhere and its answer never comes.
  modem_.SetCommand(u"AT");
  EXPECT_EQ(CodeOf([&] { modem_.SendCommand(GSM::SendModeNormal); }), DV_E_NO_DEVICE);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_E_NO_DEVICE);
}

// Does on a port error what the device does: refuse writes, wake the waiter.
class DeviceLikeModem final : public GSM::Modem {
 public:
  using Modem::Modem;
  ~DeviceLikeModem() override {
    if (IsOpen()) Close();
  }

 protected:
  void OnPortError(uint32_t) override {
    SetGoingDown(true);
    AbortAnswerQueue();
  }
};

TEST_F(ModemPtyTest, APulledCardEndsAWaitingTransactionAtOnceNotAfterItsBudget) {
  DeviceLikeModem modem(&handler_);
  ASSERT_EQ(CodeOf([&] { modem.Open(pty_.SlavePath(), true); }), DV_S_OK);
  auto transaction = std::async(std::launch::async, [&] {
    modem.SetTimeout(30000);
    modem.SetCommand(u"AT+COPS=0");
    modem.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] { modem.WaitFinal(); });
  });
  ASSERT_TRUE(BlocksOnTheClock(clock_, transaction));
  const uint64_t before = clock_.NowMs();
  pty_.CloseMaster();
  ASSERT_EQ(transaction.wait_for(testing_support::kSafetyNet), std::future_status::ready);
  EXPECT_EQ(transaction.get(), DV_E_NO_DEVICE);
  EXPECT_EQ(clock_.NowMs(), before) << "no time may pass: the budget is not waited out";
}

// A card that cuts the operator name short leaves its quote open: the final
// result after it still ends the command, and the next command's answer is
// not swallowed by the quote either.
TEST_F(ModemPtyTest, AnOperatorNameCutShortEndsAtTheFinalResultAndTheNextCommandStartsClean) {
  Open([](const std::string& command) -> std::string {
    if (command == "AT+COPS?") return "\r\n+COPS: 0,0,\"Vomb\r\n\r\nOK\r\n";
    if (command == "AT+COPS=3,0") return "\r\n+COPS: 0,0,\"Vo\r\n";  // no final result at all
    if (command == "AT+CSQ") return "\r\n+CSQ: 17,99\r\n\r\nOK\r\n";
    return "\r\nERROR\r\n";
  });
  modem_.SetQuoteTracking(true);
  auto cut = std::async(std::launch::async, [&] {
    modem_.SetTimeout(5000);
    modem_.SetCommand(u"AT+COPS?");
    modem_.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] {
      modem_.ExpectLine(u"+COPS:");
      EXPECT_EQ(modem_.ReadRest(), u" 0,0,\"Vomb");
      modem_.DropLine();
      modem_.WaitFinal();
    });
  });
  ASSERT_EQ(cut.wait_for(testing_support::kSafetyNet), std::future_status::ready) << "the final result was swallowed";
  EXPECT_EQ(cut.get(), DV_S_OK);

  // An answer that stops inside its quote, then a command of its own.
  modem_.SetTimeout(5000);
  modem_.SetCommand(u"AT+COPS=3,0");
  modem_.SendCommand(GSM::SendModeNormal);
  // The receiver has read that answer before the next command goes out.
  ASSERT_TRUE(testing_support::Eventually([&] { return DumpedReads().find(HexOf("\"Vo\r\n")) != std::string::npos; }));
  modem_.SetQuoteTracking(false);
  auto next = std::async(std::launch::async, [&] {
    modem_.SetTimeout(5000);
    modem_.SetCommand(u"AT+CSQ");
    modem_.SendCommand(GSM::SendModeNormal);
    return CodeOf([&] {
      modem_.ExpectLine(u"+CSQ:");
      EXPECT_EQ(modem_.ReadInt(), 17);
      modem_.DropLine();
      modem_.WaitFinal();
    });
  });
  ASSERT_EQ(next.wait_for(testing_support::kSafetyNet), std::future_status::ready);
  EXPECT_EQ(next.get(), DV_S_OK);
}

TEST_F(ModemPtyTest, ReopeningStartsAFreshSession) {
  Open([](const std::string&) { return std::string(); });
  modem_.SetQuoteTracking(true);
  modem_.SetTimeout(5000);
  card_.Send("\r\n+STRAY: 1\r\n");
  modem_.ExpectLine(u"+STRAY:");  // queued, never read
  modem_.SetCommand(u"AT+LEFTOVER");
  card_.Stop();
  modem_.Close();

  ASSERT_EQ(CodeOf([&] { modem_.Open(pty_.SlavePath(), true); }), DV_S_OK);
  EXPECT_FALSE(modem_.QuoteTracking());
  EXPECT_EQ(modem_.CommandText(), u"");
  ScriptedCard card(pty_);
  card.Start([](const std::string&) { return std::string(); });
  card.Send("\r\n+FRESH: 1\r\n\r\nOK\r\n");
  // Neither the aborted state nor the old line is left.
  modem_.SetTimeout(5000);
  EXPECT_EQ(CodeOf([&] { modem_.ExpectLine(u"+FRESH:"); }), DV_S_OK);
  EXPECT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  card.Stop();
}

TEST_F(ModemPtyTest, AFloodOfUnsolicitedReportsDoesNotDisturbATransaction) {
  constexpr int kReports = 200;
  Open([](const std::string& command) -> std::string {
    if (command == "AT+CSQ") return "\r\n+CSQ: 17,99\r\n\r\nOK\r\n";
    return "\r\nERROR\r\n";
  });
  std::thread reporter([&] {
    for (int i = 0; i < kReports; ++i) card_.Send("\r\n_OSIGQ: " + std::to_string(i) + ",0\r\n");
  });
  for (int i = 0; i < 20; ++i) {
    modem_.SetTimeout(3000);
    modem_.SetCommand(u"AT+CSQ");
    modem_.SendCommand(GSM::SendModeNormal);
    modem_.ExpectLine(u"+CSQ:");
    ASSERT_EQ(modem_.ReadInt(), 17);
    modem_.DropLine();
    ASSERT_EQ(CodeOf([&] { modem_.WaitFinal(); }), DV_S_OK);
  }
  reporter.join();
  ASSERT_TRUE(handler_.WaitForCalls(kReports));
  const auto calls = handler_.Calls();
  for (int i = 0; i < kReports; ++i) {
    EXPECT_EQ(calls[i].text, u"_OSIGQ: " + platform::Utf8ToUtf16(std::to_string(i)) + u",0");
  }
}

}  // namespace
