// The simulated card, driven through the program's own AT engine over its
// pseudo-terminals, as the program will drive it.
#include "sim/sim_card.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "devicelib/modem.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "sim/sim_card_builder.h"
#include "tests/support/clock_driver.h"
#include "tests/support/code_of.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

namespace {

using sim::CardKind;
using sim::Fault;
using sim::FaultKind;
using testing_support::CodeOf;
using testing_support::Eventually;
using testing_support::kSafetyNet;

// The unsolicited lines the engine hands over, as text.
class Reports : public GSM::Unsolicited {
 public:
  void HandleUnsolicited(uint32_t, GSM::Line& line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(platform::Utf16ToUtf8(line.Text()));
    cv_.notify_all();
  }
  // The first line that starts with `prefix`; empty when none came.
  std::string WaitForStart(const std::string& prefix) {
    std::unique_lock lock(mutex_);
    std::string found;
    cv_.wait_for(lock, kSafetyNet, [&] {
      for (const auto& l : lines_) {
        if (l.starts_with(prefix)) return found = l, true;
      }
      return false;
    });
    return found;
  }
  bool WaitFor(const std::string& text) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kSafetyNet, [&] {
      for (const auto& l : lines_) {
        if (l == text) return true;
      }
      return false;
    });
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
};

// A pulled card's port: the device object aborts the waiting transaction.
class CardModem : public GSM::Modem {
 public:
  using Modem::Modem;
  ~CardModem() override {
    if (IsOpen()) Close();
  }
  int PortErrors() const { return port_errors_.load(); }

 protected:
  void OnPortError(uint32_t) override {
    ++port_errors_;
    AbortAnswerQueue();
  }

 private:
  std::atomic<int> port_errors_{0};
};

struct Answer {
  DvResult code = DV_S_OK;
  std::vector<std::string> lines;
};

class SimCardTest : public ::testing::Test {
 protected:
  void SetUp() override { clock_.SetSleepAdvances(true); }

  void Plug(const sim::SimCardBuilder& builder) {
    card_ = builder.Build();
    ASSERT_TRUE(card_);
    ASSERT_EQ(CodeOf([&] { modem_.Open(card_->AtPortPath(), true); }), DV_S_OK);
  }

  // One transaction: every answer line up to the final result.
  Answer Ask(const std::string& command, uint32_t budget = 5000) {
    Answer answer;
    answer.code = CodeOf([&] {
      modem_.SetTimeout(budget);
      modem_.SetCommand(platform::Utf8ToUtf16(command));
      modem_.SendCommand(GSM::SendModeNormal);
      while (!modem_.NextIsFinal()) {
        modem_.ExpectLine(u"");
        answer.lines.push_back(platform::Utf16ToUtf8(modem_.ReadRest()));
        modem_.DropLine();
      }
      modem_.WaitFinal();
    });
    return answer;
  }
  // A command with a prompt, then the body and its end (Ctrl-Z or ESC).
  Answer Typed(const std::string& command, const std::string& body, char16_t end = u'\x1A') {
    Answer answer;
    answer.code = CodeOf([&] {
      modem_.SetTimeout(5000);
      modem_.SetCommand(platform::Utf8ToUtf16(command));
      modem_.SendCommand(GSM::SendModeNormal);
      modem_.ExpectLine(u"> ");
      modem_.DropLine();
      modem_.SetCommand(platform::Utf8ToUtf16(body) + end);
      modem_.SendCommand(GSM::SendModeRaw);
      while (!modem_.NextIsFinal()) {
        modem_.ExpectLine(u"");
        answer.lines.push_back(platform::Utf16ToUtf8(modem_.ReadRest()));
        modem_.DropLine();
      }
      modem_.WaitFinal();
    });
    return answer;
  }
  std::string One(const std::string& command) {
    const Answer a = Ask(command);
    EXPECT_EQ(a.code, DV_S_OK) << command;
    return a.lines.size() == 1 ? a.lines[0] : "<" + std::to_string(a.lines.size()) + " lines>";
  }
  // A transaction that waits on the clock: runs it on its own thread and
  // moves the clock to each deadline until it ends.
  Answer AskWhileTimePasses(const std::string& command, uint32_t budget = 5000) {
    auto task = std::async(std::launch::async, [&] { return Ask(command, budget); });
    testing_support::RunClockUntilDone(clock_, task);
    return task.get();
  }

  platform::VirtualClock clock_;
  platform::ScopedClock use_clock_{clock_};
  testing_support::LogCapture log_;
  std::unique_ptr<sim::SimCard> card_;  // goes after the modem
  Reports reports_;
  CardModem modem_{&reports_};
};

// ---------------------------------------------------------------------------
// Framing.

TEST_F(SimCardTest, EchoesUntilAte0AndAnswersPlainErrorUntilCmee) {
  Plug(sim::NewSimCard().WithPin("1234"));
  EXPECT_EQ(One("AT+CGMM"), "VSIM 3G");  // the echo was recognised and dropped
  EXPECT_TRUE(log_.Contains("Dv: Echo line was detected, discarding it"));
  EXPECT_EQ(Ask("ATE0").code, DV_S_OK);
  log_.Clear();
  EXPECT_EQ(Ask("AT+CIMI").code, DV_E_ERROR);
  EXPECT_EQ(Ask("AT+CMEE=1").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CIMI").code, DvCmeError(11));
  EXPECT_FALSE(log_.Contains("Echo line"));
  EXPECT_EQ(Ask("AT+NOSUCH").code, DV_E_ERROR);
  EXPECT_EQ(Ask("ATI").lines.size(), 5u);
}

// ---------------------------------------------------------------------------
// Card classes.

TEST_F(SimCardTest, EachClassAnswersInItsOwnForms) {
  struct Case {
    CardKind kind;
    const char* imei;            // AT+CGSN
    DvResult own_serial;         // AT_OGSN
    const char* operator_code;   // AT+COPS=3,2;+COPS?
    DvResult technology;         // AT_OPSYS?
    DvResult bcm_signal;         // AT*MCSQ=1
    DvResult cs_registration;    // AT+CREG?
    DvResult wan_call;           // AT_OWANCALL?
    DvResult cell_type;          // AT_OCTI?
    const char* sms_report;      // +CMTI for the first stored message
  };
  const Case cases[] = {
      {CardKind::kMultiplexing3g, "358709050123456,VS1234567890", DV_E_ERROR, "+COPS: 0,2,\"26299\",2", DV_E_ERROR,
       DV_E_ERROR, DV_S_OK, DV_S_OK, DV_S_OK, "+CMTI: \"SM\",1"},
      {CardKind::kGprs, "358709050123456,VS1234567890", DV_E_ERROR, "+COPS: 0,2,\"26299\"", DV_E_ERROR, DV_E_ERROR,
       DV_S_OK, DV_E_ERROR, DV_E_ERROR, "+CMTI: \"SM\",1"},
      {CardKind::kTechnologySelection, "358709050123456,VS1234567890", DV_E_ERROR, "+COPS: 0,2,\"26299\",2", DV_S_OK,
       DV_E_ERROR, DV_S_OK, DV_S_OK, DV_S_OK, "+CMTI: \"SM\",0"},
      {CardKind::kStack3, "358709050123456", DV_S_OK, "+COPS: 0,2,26299,2", DV_E_ERROR, DV_S_OK, DV_S_OK,
       DV_E_ERROR, DV_S_OK, "+CMTI: \"SM\",0"},
      {CardKind::kModel0E00, "358709050123456,VS1234567890", DV_E_ERROR, "+COPS: 0,2,\"26299\",2", DV_S_OK,
       DV_E_ERROR, DV_E_ERROR, DV_S_OK, DV_S_OK, "+CMTI: \"SM\",0"},
      {CardKind::kComposite, "358709050123456,VS1234567890", DV_E_ERROR, "+COPS: 0,2,\"26299\",2", DV_E_ERROR,
       DV_E_ERROR, DV_S_OK, DV_S_OK, DV_S_OK, "+CMTI: \"SM\",1"},
  };
  for (const auto& c : cases) {
    const auto& card_class = sim::ClassOf(c.kind);
    SCOPED_TRACE(std::string(card_class.db_name));
    Plug(sim::NewSimCard(c.kind));
    EXPECT_EQ(card_->Ports().size(), card_class.Multiplexing() ? 2u : 1u);
    EXPECT_EQ(One("AT+CGSN"), c.imei);
    EXPECT_EQ(Ask("AT_OGSN").code, c.own_serial);
    EXPECT_EQ(One("AT+COPS=3,2;+COPS?"), c.operator_code);
    EXPECT_EQ(Ask("AT_OPSYS?").code, c.technology);
    if (c.kind == CardKind::kModel0E00) {
      EXPECT_EQ(One("AT_OPSYS=?"), "_OPSYS: (1),(0-2)");  // one technology only
    }
    EXPECT_EQ(Ask("AT*MCSQ=1").code, c.bcm_signal);
    EXPECT_EQ(Ask("AT+CREG?").code, c.cs_registration);
    EXPECT_EQ(Ask("AT_OWANCALL?").code, c.wan_call);
    EXPECT_EQ(Ask("AT_OCTI?").code, c.cell_type);
    EXPECT_EQ(Ask("AT+CNMI=2,1,0,1;+CMGF=0").code, DV_S_OK);
    card_->DeliverSms({"+491710760000", "+4912345", "hi", {}, false});
    EXPECT_TRUE(reports_.WaitFor(c.sms_report));
    modem_.Close();
    card_.reset();
  }
}

// Every command the library sends to a card of a class, as the library
// decides it from the card's database entry, is known to that class's model:
// a class that refused one the library relies on would fail initialisation
// or leave a query forever unanswered. Tolerated failures are left out.
TEST_F(SimCardTest, EachClassKnowsEveryCommandTheLibrarySendsIt) {
  for (const auto& card_class : sim::AllCardClasses()) {
    SCOPED_TRACE(std::string(card_class.db_name));
    const uint16_t model = card_class.model;
    const bool three_g = model >= 0x800;
    const bool broadcom = card_class.stack == 3;  // a started card of stack 3
    const bool technology_selection = card_class.stack == 2;
    const bool gprs_only = card_class.wwan_capabilities == 0x3 || card_class.wwan_capabilities == 0x7;
    const bool antenna = !gprs_only && model >= 0xB00 && model != 0xD00;
    const bool e00 = model == 0xE00;

    std::vector<std::string> commands = {
        "AT", "ATE0", "AT+CMEE=1", "AT+CGMR", "AT+CSCS=\"GSM\"", "AT+CGREG=1;+CGREG?", "AT+CIMI", "AT+CPIN?",
        "AT_OBLS", "AT+CGMM", "AT+CGSN", "AT+CNUM", "AT+CRSM=176,12258,0,0,10", "AT+CLCK=\"SC\",2", "AT+COPS?",
        "AT+COPS=3,0;+COPS?", "AT+COPS=3,2;+COPS?", "AT+CSQ", "AT+CGATT?", "AT+CGDCONT?",
        "AT+CNMI=2,1,0,1;+CMGF=0", "AT+CPMS?", "AT+CSCA?", "AT+CMGL=4"};
    auto add = [&](bool when, std::initializer_list<const char*> more) {
      if (when) commands.insert(commands.end(), more.begin(), more.end());
    };
    add(technology_selection, {"AT_OPSYS=?", "AT_OPSYS?"});
    add(technology_selection && !e00, {"AT_OSSYS=1", "AT_OSSYS?"});
    add(broadcom, {"AT*MCSQ=1", "AT*MRINFO=1", "AT*MRINFO?", "AT_OGSN"});
    add(!broadcom && !e00, {"AT_OSQI=1"});
    add(antenna, {"AT_OEANT"});
    add(e00, {"AT_OGACT=1"});
    add(!e00, {"AT+CREG=1;+CREG?"});
    add(three_g, {"AT_OCTI=1", "AT_OCTI?"});
    add(three_g && !gprs_only, {"AT_OHCIP?", "AT_OWCTI?"});
    add(technology_selection && card_class.Has(sim::kFeatureWanCall), {"AT$QCPDPP=1,0", "AT_OWANCALL?"});

    Plug(sim::NewSimCard(card_class.kind));
    for (const std::string& command : commands) EXPECT_EQ(Ask(command).code, DV_S_OK) << command;
    modem_.Close();
    card_.reset();
  }
}

// ---------------------------------------------------------------------------
// SIM.

TEST_F(SimCardTest, WrongPinsLeadToThePukWhichSetsANewPin) {
  Plug(sim::NewSimCard().WithPin("1234").WithPuk("87654321"));
  ASSERT_EQ(Ask("ATE0;+CMEE=1").code, DV_S_OK);
  EXPECT_EQ(One("AT+CPIN?"), "+CPIN: SIM PIN");
  EXPECT_EQ(Ask("AT+CPIN=\"1111\"").code, DvCmeError(16));
  EXPECT_EQ(One("AT_OERCN?"), "_OERCN: 2, 10");
  EXPECT_EQ(Ask("AT+CPIN=\"1111\"").code, DvCmeError(16));
  EXPECT_EQ(Ask("AT+CPIN=\"1111\"").code, DvCmeError(16));
  EXPECT_EQ(One("AT+CPIN?"), "+CPIN: SIM PUK");
  EXPECT_EQ(Ask("AT+CIMI").code, DvCmeError(12));
  EXPECT_EQ(Ask("AT+CPIN=\"11111111\",\"4321\"").code, DvCmeError(16));
  EXPECT_EQ(One("AT_OERCN?"), "_OERCN: 0, 9");
  EXPECT_EQ(Ask("AT+CPIN=\"87654321\",\"4321\"").code, DV_S_OK);
  EXPECT_EQ(One("AT+CPIN?"), "+CPIN: READY");
  EXPECT_EQ(Ask("AT+CPIN=\"4321\"").code, DvCmeError(3));
  EXPECT_EQ(One("AT+CLCK=\"SC\",2"), "+CLCK: 1");
  EXPECT_EQ(Ask("AT+CPWD=\"SC\",\"1234\",\"5555\"").code, DvCmeError(16));
  EXPECT_EQ(Ask("AT+CPWD=\"SC\",\"4321\",\"5555\"").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CLCK=\"SC\",0,\"5555\"").code, DV_S_OK);
  EXPECT_EQ(One("AT+CLCK=\"SC\",2"), "+CLCK: 0");
  EXPECT_EQ(Ask("AT+CPWD=\"SC\",\"5555\",\"6666\"").code, DvCmeError(3)) << "no PIN to change while it is off";
  EXPECT_EQ(One("AT+CIMI"), "262019876543210");
}

TEST_F(SimCardTest, ExhaustedPukKillsTheSim) {
  Plug(sim::NewSimCard().PukLocked().Change([](sim::CardState& s) { s.puk_retries = 1; }));
  ASSERT_EQ(Ask("AT+CMEE=1").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CPIN=\"00000000\",\"1234\"").code, DvCmeError(16));
  EXPECT_EQ(Ask("AT+CPIN?").code, DvCmeError(13));
}

TEST_F(SimCardTest, SimAbsentAndNetworkLock) {
  Plug(sim::NewSimCard().WithoutSim());
  ASSERT_EQ(Ask("AT+CMEE=1").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CPIN?").code, DvCmeError(10));
  EXPECT_EQ(Ask("AT+CRSM=176,12258,0,0,10").code, DvCmeError(10));
  EXPECT_EQ(Ask("AT+CPMS?").code, DvCmsError(310));
  card_->SetSimPresent(true);
  EXPECT_EQ(One("AT+CRSM=176,12258,0,0,10"), "+CRSM: 144,0,\"98942000002143658709\"");
  modem_.Close();

  Plug(sim::NewSimCard().WithPin("1234").NetworkLocked("11223344"));
  ASSERT_EQ(Ask("AT+CMEE=1").code, DV_S_OK);
  ASSERT_EQ(Ask("AT+CPIN=\"1234\"").code, DV_S_OK);
  EXPECT_EQ(One("AT+CPIN?"), "+CPIN: PH-NET PIN");
  EXPECT_EQ(Ask("AT+CPIN=\"11223344\"").code, DV_S_OK);
  EXPECT_EQ(One("AT+CPIN?"), "+CPIN: READY");
}

TEST_F(SimCardTest, SimIsNotReadyAtOnceAndInitialisesAWhileAfterThePin) {
  Plug(sim::NewSimCard().WithPin("1234").SimNotReadyFor(3000).SimInitTakes(4000));
  ASSERT_EQ(Ask("AT+CMEE=1").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CPIN?").code, DvCmeError(522));
  EXPECT_EQ(One("AT_OBLS"), "_OBLS: 0,0,0");
  clock_.Advance(3000);
  EXPECT_EQ(One("AT+CPIN?"), "+CPIN: SIM PIN");
  ASSERT_EQ(Ask("AT+CPIN=\"1234\"").code, DV_S_OK);
  EXPECT_EQ(One("AT_OBLS"), "_OBLS: 1,0,0");
  EXPECT_EQ(Ask("AT+CIMI").code, DvCmeError(14));
  EXPECT_EQ(Ask("AT+CPMS?").code, DvCmsError(314));
  clock_.Advance(2000);
  EXPECT_EQ(One("AT_OBLS"), "_OBLS: 1,1,0");
  clock_.Advance(2000);
  EXPECT_EQ(One("AT_OBLS"), "_OBLS: 1,1,1");
  EXPECT_EQ(One("AT+CIMI"), "262019876543210");
  EXPECT_EQ(One("AT+CNUM"), "+CNUM: \"\",\"+491701234567\",145");
}

// ---------------------------------------------------------------------------
// Network.

TEST_F(SimCardTest, RegistrationIsReportedOnceSwitchedOnAndFollowsTheRadio) {
  Plug(sim::NewSimCard().WithPin("1234"));
  ASSERT_EQ(Ask("ATE0;+CMEE=1").code, DV_S_OK);
  // Query answers with a report prefix go to the dispatcher, as on the real cards.
  ASSERT_EQ(Ask("AT+CREG?").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("+CREG: 0,0")) << "no registration without the SIM";
  EXPECT_EQ(One("AT+COPS?"), "+COPS: 0");
  ASSERT_EQ(Ask("AT+CREG=1;+CGREG=2;_OSSYS=1").code, DV_E_ERROR) << "_OSSYS is not this card's";
  ASSERT_EQ(Ask("AT+CREG=1;+CGREG=2").code, DV_S_OK);
  ASSERT_EQ(Ask("AT+CPIN=\"1234\"").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("+CREG: 1"));
  EXPECT_TRUE(reports_.WaitFor("+CGREG: 1,\"1A2B\",\"00C0FFEE\""));
  card_->SetRegistration(5);
  EXPECT_TRUE(reports_.WaitFor("+CREG: 5"));
  ASSERT_EQ(Ask("AT+CGREG?").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("+CGREG: 2,5,\"1A2B\",\"00C0FFEE\""));
  EXPECT_EQ(One("AT+COPS?"), "+COPS: 0,0,\"Vombel Net\",2");
  ASSERT_EQ(Ask("AT+CFUN=4").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("+CREG: 0"));
  EXPECT_EQ(One("AT+CSQ"), "+CSQ: 99,99");
  EXPECT_EQ(One("AT+CFUN?"), "+CFUN: 4");
}

TEST_F(SimCardTest, SignalCellAndTechnologyReports) {
  Plug(sim::NewSimCard(CardKind::kTechnologySelection).Operator("Vombel Ñet", "Vombel", "26299")
           .OperatorOwnName("My Net"));
  ASSERT_EQ(Ask("ATE0;+CSCS=\"GSM\";_OSQI=1;_OEANT=1;_OCTI=1;_OSSYS=1").code, DV_S_OK);
  card_->SetSignal(12, 3);
  EXPECT_TRUE(reports_.WaitFor("_OSIGQ: 12,3"));
  ASSERT_EQ(Ask("AT_OPSYS=0,2").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("_OSSYSI: 0"));
  EXPECT_TRUE(reports_.WaitFor("_OCTI: 3"));
  card_->Update([](sim::CardState& s) { s.antenna = 1; });
  EXPECT_TRUE(reports_.WaitFor("_OEANT: 1"));
  EXPECT_EQ(Ask("AT_OEANT").code, DV_S_OK);
  EXPECT_EQ(One("AT_OPSYS?"), "_OPSYS: 0,2");
  EXPECT_EQ(Ask("AT_OPSYS=7,2").code, DV_E_ERROR);
  EXPECT_EQ(One("AT_OWCTI?"), "_OWCTI: 0") << "on GSM";
  ASSERT_EQ(Ask("AT_OPSYS=3,2").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("_OSSYSI: 2"));
  EXPECT_EQ(One("AT_OWCTI?"), "_OWCTI: 1");
  // The engine takes quoted text in the GSM alphabet, the _OPON name in hex.
  EXPECT_EQ(One("AT+COPS=3,0;+COPS?"), "+COPS: 0,0,\"Vombel Ñet\",2");
  EXPECT_EQ(One("AT_OPON?"), "_OPON: 1,4D79204E6574,0");
}

TEST_F(SimCardTest, Stack3CardReportsSignalWithItsOwnPrefix) {
  Plug(sim::NewSimCard(CardKind::kStack3));
  ASSERT_EQ(Ask("ATE0;*MCSQ=1;*MRINFO=1").code, DV_S_OK);
  EXPECT_EQ(Ask("AT_OSQI=1").code, DV_E_ERROR);
  card_->SetSignal(7);
  EXPECT_TRUE(reports_.WaitFor("*MCSQ: 7,99"));
  EXPECT_EQ(One("AT_OGSN"), "_OGSN: VS1234567890");
}

TEST_F(SimCardTest, UssdAnswerFollowsTheFinalResult) {
  Plug(sim::NewSimCard());
  ASSERT_EQ(Ask("ATE0;+CSCS=\"GSM\"").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CUSD=1,\"*100#\",15").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("+CUSD: 0,\"Your balance is 5.00 EUR\",15"));
  card_->SendUssd("Bonus: 1 GB_free");
  EXPECT_TRUE(reports_.WaitFor("+CUSD: 0,\"Bonus: 1 GB_free\",15"));
}

// ---------------------------------------------------------------------------
// Packet data.

TEST_F(SimCardTest, ContextsWanCallAndPdpReports) {
  Plug(sim::NewSimCard(CardKind::kModel0E00).Apn("web.vombel"));
  ASSERT_EQ(Ask("ATE0;+CMEE=1;_OGACT=1").code, DV_S_OK);
  EXPECT_EQ(One("AT+CGDCONT?"), "+CGDCONT: 1,\"IP\",\"web.vombel\",\"0.0.0.0\",0,0");
  ASSERT_EQ(Ask("AT+CGDCONT=1,\"IP\",\"other.apn\"").code, DV_S_OK);
  EXPECT_EQ(One("AT+CGDCONT?"), "+CGDCONT: 1,\"IP\",\"other.apn\",\"0.0.0.0\",0,0");
  EXPECT_EQ(One("AT+CGATT?"), "+CGATT: 1");
  EXPECT_EQ(Ask("AT$QCPDPP=1,1,\"secret\",\"user\"").code, DV_S_OK);
  EXPECT_EQ(One("AT_OWANCALL?"), "_OWANCALL: 1, 0");
  ASSERT_EQ(Ask("AT_OWANCALL=1,1,1").code, DV_S_OK);
  EXPECT_TRUE(reports_.WaitFor("_OGACT: 1,1"));
  EXPECT_EQ(One("AT_OWANCALL?"), "_OWANCALL: 1, 1");
  card_->DropDataCall();
  EXPECT_TRUE(reports_.WaitFor("_OGACT: 1,0"));
  card_->SetRegistration(0);
  ASSERT_EQ(Ask("AT_OWANCALL=1,1,1").code, DV_S_OK);
  EXPECT_EQ(One("AT_OWANCALL?"), "_OWANCALL: 1, 3") << "no network: the call fails";
}

// The modem port is a plain line: what the card writes, read raw.
std::string ReadUntil(int fd, const std::string& end) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
  while (got.find(end) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 10) > 0) {
      char buffer[256];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
    }
  }
  return got;
}

TEST_F(SimCardTest, ModemPortDialsIntoADataCall) {
  for (CardKind kind : {CardKind::kMultiplexing3g, CardKind::kGprs}) {
    SCOPED_TRACE(std::string(sim::ClassOf(kind).db_name));
    card_ = sim::NewSimCard(kind).Build();
    ASSERT_TRUE(card_);
    platform::UniqueFd fd(::open(card_->ModemPortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_TRUE(fd);
    ASSERT_EQ(::write(fd.get(), "ATE0\r", 5), 5);
    EXPECT_EQ(ReadUntil(fd.get(), "OK\r\n"), "ATE0\r\r\nOK\r\n");
    ASSERT_EQ(::write(fd.get(), "ATD*99***1#\r", 12), 12);
    EXPECT_EQ(ReadUntil(fd.get(), "CONNECT\r\n"), "\r\nCONNECT\r\n");
    EXPECT_TRUE(card_->Snapshot().data_call);
    card_->DropDataCall();
    EXPECT_EQ(ReadUntil(fd.get(), "NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    card_.reset();
  }
  // The AT port of a multiplexing card carries no data call.
  Plug(sim::NewSimCard());
  EXPECT_EQ(Ask("ATD*99***1#").code, DV_E_ERROR);
}

// ---------------------------------------------------------------------------
// Messages.

TEST_F(SimCardTest, MessagesAreStoredListedReadWrittenSentAndDeleted) {
  Plug(sim::NewSimCard().SmsStorage(3).WithStoredSms(
      {"+31640191919", "+31614240689", "Hallo Pim", sim::SmsTimestamp{2017, 6, 26, 11, 32, 19, 8}, false}, 0));
  ASSERT_EQ(Ask("ATE0;+CMEE=1;+CNMI=2,1,0,1;+CMGF=0").code, DV_S_OK);
  EXPECT_EQ(One("AT+CPMS?"), "+CPMS: \"SM\",1,3,\"SM\",1,3,\"SM\",1,3");
  EXPECT_EQ(One("AT+CSCA?"), "+CSCA: \"+491710760000\",145");
  const std::string pdu = "07911346101919F9040B911316240486F900007160621123918009C8309BFD0641D36D";
  EXPECT_EQ(Ask("AT+CMGL=4").lines, (std::vector<std::string>{"+CMGL: 1,0,,27", pdu}));
  EXPECT_EQ(Ask("AT+CMGR=1").lines, (std::vector<std::string>{"+CMGR: 1,,27", pdu})) << "listing marked it read";
  EXPECT_EQ(Ask("AT+CMGR=2").code, DvCmsError(321));
  EXPECT_EQ(Ask("AT+CMGR=0").code, DvCmsError(321)) << "this card counts from 1";

  // Writing: the prompt, then the PDU and Ctrl-Z.
  const std::string written = "0011000B911316240486F90000AA0548656C6C6F";
  DvResult code = CodeOf([&] {
    modem_.SetCommand(u"AT+CMGW=19");
    modem_.SendCommand(GSM::SendModeNormal);
    modem_.ExpectLine(u"> ");
    modem_.DropLine();
    modem_.SetTimeout(30000);
    modem_.SetCommand(platform::Utf8ToUtf16(written) + u"\x1A");
    modem_.SendCommand(GSM::SendModeRaw);
    modem_.ExpectLine(u"+CMGW: ");
    EXPECT_EQ(modem_.ReadInt(), 2);
    modem_.DropLine();
    modem_.WaitFinal();
  });
  EXPECT_EQ(code, DV_S_OK);
  EXPECT_EQ(One("AT+CMSS=2"), "+CMSS: 1");
  EXPECT_EQ(Ask("AT+CMGR=2").lines[0], "+CMGR: 3,,19");

  const auto index = card_->DeliverSms({"+491710760000", "+4912345", "full now", {}, false});
  ASSERT_EQ(index, 3);
  EXPECT_TRUE(reports_.WaitFor("+CMTI: \"SM\",3"));
  EXPECT_FALSE(card_->DeliverSms({"+491710760000", "+4912345", "dropped", {}, false}).has_value());
  // ESC after the prompt stores nothing.
  code = CodeOf([&] {
    modem_.SetCommand(u"AT+CMGW=19");
    modem_.SendCommand(GSM::SendModeNormal);
    modem_.ExpectLine(u"> ");
    modem_.DropLine();
    modem_.SetCommand(platform::Utf8ToUtf16(written) + u"\x1B");
    modem_.SendCommand(GSM::SendModeRaw);
    modem_.WaitFinal();
  });
  EXPECT_EQ(code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CMGD=2").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CMGL=4").lines.size(), 4u);
  EXPECT_EQ(Ask("AT+CMGD=9").code, DvCmsError(321));
}

TEST_F(SimCardTest, WrittenPduOfTheWrongLengthIsRefused) {
  Plug(sim::NewSimCard(CardKind::kStack3));
  ASSERT_EQ(Ask("ATE0;+CMEE=1").code, DV_S_OK);
  const DvResult code = CodeOf([&] {
    modem_.SetCommand(u"AT+CMGW=5");
    modem_.SendCommand(GSM::SendModeNormal);
    modem_.ExpectLine(u"> ");
    modem_.DropLine();
    modem_.SetCommand(u"0011223344\x1A");
    modem_.SendCommand(GSM::SendModeRaw);
    modem_.WaitFinal();
  });
  EXPECT_EQ(code, DvCmsError(304));
}

TEST_F(SimCardTest, FlashMessagesAndStatusReportsComeAsHeaderAndPdu) {
  Plug(sim::NewSimCard(CardKind::kTechnologySelection));
  ASSERT_EQ(Ask("ATE0;+CNMI=2,1,0,1").code, DV_S_OK);
  EXPECT_FALSE(card_->DeliverSms({"", "+4912", "Hi", {2026, 1, 2, 3, 4, 5, -8}, true}).has_value());
  EXPECT_TRUE(reports_.WaitFor("+CMT: ,17;00040491942100106210203040508802C834"));
  sim::StatusReport report;
  report.reference = 5;
  report.recipient = "+4912";
  report.sent = {2026, 12, 8, 1, 2, 3, 4};
  report.discharged = {2026, 12, 8, 1, 2, 9, 4};
  EXPECT_TRUE(card_->DeliverStatusReport(report));
  EXPECT_TRUE(reports_.WaitFor("+CDS: 21;00060504919421622180102030406221801020904000"));
}

// SMS-SUBMITs to +31614240689, "Hello": without and with a status report
// asked for (TP-SRR), the second with a relative validity period.
constexpr char kSubmit[] = "0011000B911316240486F90000AA0548656C6C6F";
constexpr char kSubmitWithReport[] = "0031000B911316240486F90000AA0548656C6C6F";

TEST_F(SimCardTest, SendingTakesThePduAfterThePromptAndCountsTheReferenceUp) {
  Plug(sim::NewSimCard().SmsStorage(3));
  ASSERT_EQ(Ask("ATE0;+CMEE=1;+CMGF=0").code, DV_S_OK);
  EXPECT_EQ(Typed("AT+CMGS=19", kSubmit).lines, (std::vector<std::string>{"+CMGS: 1"}));
  EXPECT_EQ(Typed("AT+CMGS=19", "0011000b911316240486f90000aa0548656c6c6f").lines,
            (std::vector<std::string>{"+CMGS: 2"}))
      << "lower-case hex is hex too";
  const Answer cancelled = Typed("AT+CMGS=19", kSubmit, u'\x1B');
  EXPECT_EQ(cancelled.code, DV_S_OK);
  EXPECT_TRUE(cancelled.lines.empty());
  EXPECT_EQ(Ask("AT+CMGL=4").lines.size(), 0u) << "sending stores nothing";

  struct Refused {
    const char* command;
    std::string pdu;
    DvResult code;
  };
  const Refused refused[] = {
      {"AT+CMGS=18", kSubmit, DvCmsError(304)},  // announced length differs
      {"AT+CMGS=19", "0004000B911316240486F90000AA0548656C6C6F", DvCmsError(304)},  // an SMS-DELIVER
      {"AT+CMGS=18", "0011000B911316240486F90000AA0548656C6C", DvCmsError(304)},  // text cut short
      {"AT+CMGS=20", std::string(kSubmit) + "6F", DvCmsError(304)},                // text too long
      {"AT+CMGS=19", "0011000B911316240486F90000AA0548656C6CXY", DvCmsError(304)},  // not hex
  };
  for (const auto& r : refused) EXPECT_EQ(Typed(r.command, r.pdu).code, r.code) << r.pdu;
  EXPECT_EQ(Ask("AT+CMGS=0").code, DvCmsError(304)) << "no prompt for an impossible length";
  EXPECT_EQ(Ask("AT+CMGS").code, DV_E_ERROR);
  EXPECT_EQ(Ask("AT+CMGS=?").code, DV_S_OK);

  card_->SetRegistration(0);
  EXPECT_EQ(Typed("AT+CMGS=19", kSubmit).code, DvCmsError(331));
  card_->SetRegistration(1);
  EXPECT_EQ(Typed("AT+CMGS=19", kSubmit).lines, (std::vector<std::string>{"+CMGS: 3"}))
      << "refused messages took no reference";
  EXPECT_EQ(Typed("AT+CMGW=19", kSubmit).lines, (std::vector<std::string>{"+CMGW: 1"}));
  EXPECT_EQ(One("AT+CMSS=1"), "+CMSS: 4") << "stored and typed messages share the count";
  card_->LockSim();
  EXPECT_EQ(Ask("AT+CMGS=19").code, DvCmsError(311)) << "no prompt while the SIM is locked";
}

TEST_F(SimCardTest, StatusReportArrivesWhenDueOnTheClock) {
  Plug(sim::NewSimCard().SmsStorage(2));
  ASSERT_EQ(Ask("ATE0;+CMEE=1;+CNMI=2,1,0,1,0").code, DV_S_OK);
  EXPECT_EQ(Typed("AT+CMGS=19", kSubmit).lines, (std::vector<std::string>{"+CMGS: 1"}));
  EXPECT_TRUE(card_->Snapshot().pending_reports.empty()) << "none asked for";
  EXPECT_EQ(Typed("AT+CMGS=19", kSubmitWithReport).lines, (std::vector<std::string>{"+CMGS: 2"}));

  // The network answers three seconds later.
  clock_.WaitForWaiterAt(3000);
  clock_.Advance(2999);
  clock_.WaitForWaiterAt(1);
  ASSERT_EQ(card_->Snapshot().pending_reports.size(), 1u) << "not yet";
  clock_.Advance(1);
  // SMSC, SMS-STATUS-REPORT, reference 2, the recipient, two time stamps, "delivered".
  const std::string cds = reports_.WaitForStart("+CDS: 25;07919471016700000602" "0B911316240486F9");
  ASSERT_FALSE(cds.empty()) << testing::PrintToString(reports_.Lines());
  EXPECT_EQ(cds.size(), std::string("+CDS: 25;").size() + 2 * (8 + 25));
  EXPECT_TRUE(cds.ends_with("00"));
  EXPECT_TRUE(card_->Snapshot().pending_reports.empty());
}

// Read raw: the program's engine does not take "+CDSI:" as a report.
TEST_F(SimCardTest, StatusReportsAreShownStoredOrDroppedAsCnmiSays) {
  card_ = sim::NewSimCard(CardKind::kGprs).SmsStorage(2).Build();
  ASSERT_TRUE(card_);
  platform::UniqueFd fd(::open(card_->AtPortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_TRUE(fd);
  auto command = [&](const std::string& line) {
    EXPECT_EQ(::write(fd.get(), line.data(), line.size()), static_cast<ssize_t>(line.size()));
    return ReadUntil(fd.get(), "OK\r\n");
  };
  ASSERT_EQ(command("ATE0\r"), "ATE0\r\r\nOK\r\n");
  sim::StatusReport report;
  report.reference = 7;
  report.recipient = "+4912";
  // ds=0: kept on the SIM without a word; ds=2: kept and announced.
  EXPECT_TRUE(card_->DeliverStatusReport(report));
  ASSERT_EQ(command("AT+CNMI=2,1,0,2,0\r"), "\r\nOK\r\n");
  EXPECT_TRUE(card_->DeliverStatusReport(report));
  EXPECT_EQ(ReadUntil(fd.get(), "\",2\r\n"), "\r\n+CDSI: \"SM\",2\r\n") << "this card counts from 1";
  const std::string list = command("AT+CMGL=4\r");
  EXPECT_TRUE(list.starts_with("\r\n+CMGL: 1,0,,21\r\n\r\n00060704")) << list << " (a status report, reference 7)";
  EXPECT_NE(list.find("\r\n+CMGL: 2,0,,21\r\n\r\n00060704"), std::string::npos) << list;
  EXPECT_FALSE(card_->DeliverStatusReport(report)) << "the SIM is full";
  ASSERT_EQ(command("AT+CNMI=2,1,0,1,0\r"), "\r\nOK\r\n");
  EXPECT_TRUE(card_->DeliverStatusReport(report)) << "shown needs no room";
  EXPECT_TRUE(ReadUntil(fd.get(), "+CDS: 21\r\n000607").starts_with("\r\n+CDS: 21\r\n000607"));
  ASSERT_EQ(command("AT+CNMI=2,1,0,0,0;+CMGD=1\r"), "\r\nOK\r\n");
  EXPECT_TRUE(card_->DeliverStatusReport(report)) << "stored in the freed slot";
  EXPECT_EQ(card_->Snapshot().sms[0]->status, 0);
}

TEST_F(SimCardTest, WrittenMessagesKeepTheirStatusAndDeleteFlagsPickByStatus) {
  Plug(sim::NewSimCard(CardKind::kStack3).SmsStorage(5));  // counts from 0
  ASSERT_EQ(Ask("ATE0;+CMEE=1").code, DV_S_OK);
  for (int stat = 0; stat <= 3; ++stat) {
    const Answer written = Typed("AT+CMGW=19," + std::to_string(stat), kSubmit);
    ASSERT_EQ(written.lines, (std::vector<std::string>{"+CMGW: " + std::to_string(stat)}));
    EXPECT_EQ(card_->Snapshot().sms[static_cast<size_t>(stat)]->status, stat);
  }
  EXPECT_EQ(Ask("AT+CMGL=3").lines, (std::vector<std::string>{"+CMGL: 3,3,,19", kSubmit}));
  EXPECT_EQ(Ask("AT+CMGL=0").lines, (std::vector<std::string>{"+CMGL: 0,0,,19", kSubmit}));
  EXPECT_EQ(Typed("AT+CMGW=19,", kSubmit).lines, (std::vector<std::string>{"+CMGW: 4"})) << "an empty stat is 2";
  EXPECT_EQ(Ask("AT+CMGR=4").lines[0], "+CMGR: 2,,19");
  EXPECT_EQ(Ask("AT+CMGW=19,4").code, DvCmsError(304));
  EXPECT_EQ(Ask("AT+CMGW=19,\"REC UNREAD\"").code, DvCmsError(304)) << "text mode's names are not PDU mode's";

  // Slots hold statuses 0 (read by the listing above: 1), 1, 2, 3, 2.
  struct Case {
    const char* command;
    std::vector<int> left;  // slots still used
  };
  const Case cases[] = {
      {"AT+CMGD=3", {0, 1, 2, 4}},
      {"AT+CMGD=0,1", {2, 4}},  // the read ones; the index is ignored
      {"AT+CMGD=0,2", {2, 4}},  // read and sent: none left of either
      {"AT+CMGD=0,3", {}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Ask(c.command).code, DV_S_OK) << c.command;
    std::vector<int> used;
    const auto store = card_->Snapshot().sms;
    for (size_t i = 0; i < store.size(); ++i) {
      if (store[i]) used.push_back(static_cast<int>(i));
    }
    EXPECT_EQ(used, c.left) << c.command;
  }
  ASSERT_EQ(Typed("AT+CMGW=19,0", kSubmit).code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CMGD=0,4").code, DV_S_OK);
  EXPECT_EQ(Ask("AT+CMGL=4").lines.size(), 0u) << "4 deletes unread ones too";
  EXPECT_EQ(Ask("AT+CMGD=0,5").code, DvCmsError(303));
  EXPECT_EQ(One("AT+CMGD=?"), "+CMGD: (0-4),(0-4)");
  EXPECT_EQ(One("AT+CSMS?"), "+CSMS: 0,1,1,1");
  EXPECT_EQ(One("AT+CSMS=0"), "+CSMS: 1,1,1");
  EXPECT_EQ(Ask("AT+CSMS=1").code, DV_E_ERROR);
}

// ---------------------------------------------------------------------------
// Faults.

TEST_F(SimCardTest, FaultsMakeTheEngineTimeOutOrFail) {
  Plug(sim::NewSimCard());
  ASSERT_EQ(Ask("ATE0").code, DV_S_OK);
  const struct {
    FaultKind kind;
    DvResult code;
    size_t lines_sent;  // answer lines that reach the engine; the rest never comes
    bool times_out;
  } cases[] = {
      {FaultKind::kSilent, DV_E_NO_ANSWER, 0, true},
      {FaultKind::kGarbage, DV_E_NO_ANSWER, 1, true},
      {FaultKind::kDropFinal, DV_E_NO_ANSWER, 1, true},
      {FaultKind::kError, DV_E_ERROR, 0, false},
      {FaultKind::kLate, DV_S_OK, 0, false},  // 3 s late within a 5 s budget
      {FaultKind::kOverlong, DV_S_OK, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    card_->InjectFault("+CSQ", Fault{c.kind, 3000, true});
    if (!c.times_out) {
      EXPECT_EQ(Ask("AT+CSQ").code, c.code);
    } else {
      // Time passes only once the card has done all it will do, and the
      // engine has read it.
      const uint64_t answered = card_->LinesAnswered();
      const size_t reads = log_.Count("Dv: Modem read: [");
      auto task = std::async(std::launch::async, [&] { return Ask("AT+CSQ"); });
      ASSERT_TRUE(Eventually([&] { return card_->LinesAnswered() > answered; }));
      ASSERT_TRUE(Eventually([&] { return log_.Count("Dv: Modem read: [") >= reads + c.lines_sent; }));
      EXPECT_GE(testing_support::RunClockUntilDone(clock_, task), 5000u);
      EXPECT_EQ(task.get().code, c.code);
    }
    EXPECT_EQ(One("AT+CGMM"), "VSIM 3G") << "the card goes on";
  }
  EXPECT_TRUE(log_.Contains("too long line"));
  card_->SetMute(true);
  EXPECT_EQ(AskWhileTimePasses("AT").code, DV_E_NO_ANSWER);
}

TEST_F(SimCardTest, AnswerLaterThanTheBudgetTimesOut) {
  Plug(sim::NewSimCard().WithFault("+CSQ", Fault{FaultKind::kLate, 20000, true}));
  clock_.SetSleepAdvances(false);
  auto task = std::async(std::launch::async, [&] { return Ask("AT+CSQ"); });
  // The engine's pause before writing, then the card's late answer, which
  // is still asleep when the engine's 5 s run out.
  clock_.AdvanceWhenWaiting(GSM::Modem::kWriteSettleMs);
  clock_.WaitForWaiterAt(20000);
  // Only the engine's budget runs out; moving on to the card's answer
  // before the engine has seen its time-out would race it.
  clock_.WaitForWaiterAt(5000);
  clock_.AdvanceToNextDeadline();
  EXPECT_EQ(task.get().code, DV_E_NO_ANSWER);
  clock_.AdvanceToNextDeadline();  // let the card's late answer go
}

TEST_F(SimCardTest, PullInTheMiddleOfACommandAndPlugAgain) {
  Plug(sim::NewSimCard().WithFault("+CGMM", Fault{FaultKind::kPull, 0, true}));
  std::vector<bool> presence;
  std::mutex mutex;
  card_->SetPresenceHandler([&](bool present, const std::vector<sim::SimCard::PortInfo>& ports) {
    std::lock_guard lock(mutex);
    presence.push_back(present);
    if (present) {
      EXPECT_EQ(ports.size(), 2u);
    }
  });
  EXPECT_EQ(Ask("AT+CGMM").code, DV_E_NO_DEVICE);
  EXPECT_TRUE(Eventually([&] { return modem_.PortErrors() == 1; }));
  EXPECT_FALSE(card_->Present());
  modem_.Close();

  ASSERT_TRUE(card_->Plug());
  EXPECT_TRUE(card_->Present());
  ASSERT_EQ(CodeOf([&] { modem_.Open(card_->AtPortPath(), true); }), DV_S_OK);
  EXPECT_EQ(One("AT+CGMM"), "VSIM 3G");
  card_->Pull();
  EXPECT_TRUE(Eventually([&] { return modem_.PortErrors() == 2; }));
  // Writing to a hung-up port fails as the system says: access denied.
  EXPECT_EQ(Ask("AT").code, 0x80070005u);
  std::lock_guard lock(mutex);
  EXPECT_EQ(presence, (std::vector<bool>{false, true, false}));
}

}  // namespace
