// The simulated standard card at the level of its command interpreter: the
// 3GPP answer forms real modems give, its reports, and that the vendor
// commands are unknown to it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "devicelib/network_answers.h"
#include "devicelib/standard_answers.h"
#include "devicelib/unsolicited_answers.h"
#include "platform/text.h"
#include "sim/at_command_parser.h"
#include "sim/at_interpreter.h"
#include "sim/card_class.h"
#include "sim/card_state.h"
#include "sim/sim_card_builder.h"

namespace {

using sim::CardKind;
using sim::PortRole;

// A card model with one session per port role, fed one line at a time.
class Interpreter {
 public:
  explicit Interpreter(const sim::CardClass& card) : card_(card) { sim::PowerUp(state, 0); }

  // The answer lines, then the final result, one per line ("> " for the
  // prompt); after a prompt the line is the message body.
  std::string Run(std::string_view line, PortRole role = PortRole::kApplication) {
    sim::PortSession& session = role == PortRole::kModem ? modem_ : application_;
    sim::Response response;
    std::vector<std::string> after;
    sim::CommandContext context{card_, state, session, role, kNow, response, after};
    if (session.mode == sim::PortSession::Mode::kSmsBody) {
      sim::FinishSmsBody(context, line, false);
    } else if (auto commands = sim::ParseCommandLine(line)) {
      sim::RunCommands(context, *commands);
    } else {
      return "(no command line)";
    }
    std::string text;
    for (const auto& l : response.lines) text += l + "\n";
    for (const auto& l : after) text += l + "\n";
    std::string final = sim::FrameFinal(session, response);
    std::erase(final, '\r');
    std::erase(final, '\n');
    return text + final;
  }

  std::vector<std::string> Reports() {
    std::vector<std::string> out;
    sim::CollectReports(card_, state, out);
    return out;
  }

  sim::CardState state;

 private:
  static constexpr uint64_t kNow = 1000;
  const sim::CardClass& card_;
  sim::PortSession application_, modem_;
};

// The forms follow the captured answers of real modems (testdata
// at_answers.json: +CREG/+CGREG with quoted lac/ci and AcT, +COPS? with AcT,
// +CPIN:) and 3GPP TS 27.007 / 27.005 for the rest.
TEST(StandardCardTest, AnswersInTheStandardForms) {
  Interpreter card(sim::ClassOf(CardKind::kStandard));
  card.state.network_rat = 7;
  struct Row {
    const char* line;
    const char* answer;
    PortRole role = PortRole::kApplication;
  };
  const Row rows[] = {
      {"AT+CMEE=1", "OK"},
      {"AT+CGMI", "Vombel\nOK"},
      {"AT+CGMM", "VSIM LTE Modem\nOK"},
      {"AT+CGMR", "1.0.4\nOK"},
      {"AT+CGSN", "358709050123456\nOK"},
      {"AT+CIMI", "262019876543210\nOK"},
      {"AT+CPIN?", "+CPIN: READY\nOK"},
      {"AT+CPINR=?", "OK"},
      {"AT+CPINR",
       "+CPINR: SIM PIN,3,3\n+CPINR: SIM PUK,10,10\n+CPINR: SIM PIN2,3,3\n+CPINR: SIM PUK2,10,10\nOK"},
      {"AT+CLCK=\"SC\",2", "+CLCK: 0\nOK"},
      {"AT+CLCK=\"SC\",1,\"0000\"", "+CME ERROR: 16"},
      {"AT+CPINR=\"SIM PIN\"", "+CPINR: SIM PIN,2,3\nOK"},
      {"AT+CLCK=\"SC\",1,\"1234\"", "OK"},
      {"AT+CPWD=\"SC\",\"1234\",\"4321\"", "OK"},
      {"AT+CPINR=\"SIM PU*\"", "+CPINR: SIM PUK,10,10\n+CPINR: SIM PUK2,10,10\nOK"},
      {"AT+CFUN?", "+CFUN: 1\nOK"},
      {"AT+COPS?", "+COPS: 0,0,\"Vombel Net\",7\nOK"},
      {"AT+COPS=3,2;+COPS?", "+COPS: 0,2,\"26299\",7\nOK"},
      {"AT+COPS=?", "+COPS: (2,\"Vombel Net\",\"Vombel\",\"26299\",7),,(0-4),(0-2)\nOK"},
      {"AT+CREG=2;+CREG?", "+CREG: 2,1,\"1A2B\",\"00C0FFEE\",7\nOK"},
      {"AT+CGREG=2;+CGREG?", "+CGREG: 2,1,\"1A2B\",\"00C0FFEE\",7\nOK"},
      {"AT+CEREG=2;+CEREG?", "+CEREG: 2,1,\"1A2B\",\"00C0FFEE\",7\nOK"},
      {"AT+CEREG=?", "+CEREG: (0-2)\nOK"},
      {"AT+CSQ", "+CSQ: 20,99\nOK"},
      {"AT+CGDCONT=1,\"IP\",\"web.vombel\";+CGDCONT?", "+CGDCONT: 1,\"IP\",\"web.vombel\",\"0.0.0.0\",0,0\nOK"},
      {"AT+CMGF=0;+CNMI=2,1,0,1", "OK"},
      {"AT+CSCA?", "+CSCA: \"+491710760000\",145\nOK"},
      // The SIM's message store counts from 1.
      {"AT+CMGW=19", "> "},
      {"0011000b911316240486f90000aa0548656c6c6f", "+CMGW: 1\nOK"},
      {"AT+CPMS?", "+CPMS: \"SM\",1,20,\"SM\",1,20,\"SM\",1,20\nOK"},
      {"AT+CMGL=4", "+CMGL: 1,2,,19\n0011000B911316240486F90000AA0548656C6C6F\nOK"},
      {"AT+CMGR=1", "+CMGR: 2,,19\n0011000B911316240486F90000AA0548656C6C6F\nOK"},
      {"AT+CMGS=19", "> "},
      {"0011000b911316240486f90000aa0548656c6c6f", "+CMGS: 1\nOK"},
      {"AT+CMGD=1", "OK"},
      {"AT+CMGR=1", "+CMS ERROR: 321"},
      // Dial-up on the modem port only.
      {"ATD*99#", "ERROR"},
      {"ATD*99#", "CONNECT", PortRole::kModem},
  };
  for (const Row& row : rows) EXPECT_EQ(card.Run(row.line, row.role), row.answer) << row.line;
}

TEST(StandardCardTest, ReportsRegistrationWithCellAndTechnology) {
  Interpreter card(sim::ClassOf(CardKind::kStandard));
  card.state.network_rat = 7;
  ASSERT_EQ(card.Run("AT+CREG=2;+CGREG=2;+CEREG=2"), "OK");
  using Lines = std::vector<std::string>;
  EXPECT_EQ(card.Reports(), (Lines{"+CREG: 1,\"1A2B\",\"00C0FFEE\",7", "+CGREG: 1,\"1A2B\",\"00C0FFEE\",7",
                                   "+CEREG: 1,\"1A2B\",\"00C0FFEE\",7"}));
  EXPECT_EQ(card.Reports(), Lines{});

  // Falling back from LTE to an HSPA cell: the registration stays, its
  // technology does not; EPS registration is lost.
  card.state.network_rat = 2;
  card.state.cell_3g = 4;
  const Lines fallback = card.Reports();
  EXPECT_EQ(fallback,
            (Lines{"+CREG: 1,\"1A2B\",\"00C0FFEE\",6", "+CGREG: 1,\"1A2B\",\"00C0FFEE\",6", "+CEREG: 0"}));
  const std::string cops = card.Run("AT+COPS?");
  EXPECT_EQ(cops, "+COPS: 0,0,\"Vombel Net\",6\nOK");

  // What the library's readers make of them.
  auto fields = [](const std::string& line, size_t prefix) {
    return platform::Utf8ToUtf16(line.substr(prefix, line.find('\n') - prefix));
  };
  GSM::RegistrationRecord record;
  ASSERT_FALSE(fallback.empty());
  ASSERT_EQ(GSM::ParseRegistrationRecord(fields(fallback[0], GSM::kCregPrefix.size()), record), DV_S_OK);
  EXPECT_EQ(record.stat, 1);
  EXPECT_EQ(record.ci, 0xC0FFEEu);
  EXPECT_EQ(GSM::RadioTechnologyOfAct(record.act.value_or(-1)), GSM::RadioTechnologyHspa);
  GSM::CopsAnswer answer;
  ASSERT_EQ(GSM::ParseCopsAnswer(fields(cops, GSM::kCopsPrefix.size()), answer), DV_S_OK);
  EXPECT_EQ(answer.technology, GSM::RadioTechnologyHspa);

  card.state.cell_id = 0x0BEEF;
  card.state.network_stat = 5;
  EXPECT_EQ(card.Reports(), (Lines{"+CREG: 5,\"1A2B\",\"0000BEEF\",6", "+CGREG: 5,\"1A2B\",\"0000BEEF\",6"}));
  card.state.network_stat = 2;
  EXPECT_EQ(card.Reports(), (Lines{"+CREG: 2", "+CGREG: 2"}));
}

// Every command here is one some card of the database knows; the standard
// card answers each of them "ERROR".
TEST(StandardCardTest, KnowsNoVendorCommand) {
  const char* const vendor_commands[] = {
      "AT_OBLS",      "AT_OERCN?",      "AT_OPON?",     "AT_OHWV",     "AT_OGSN",      "AT_OCTI?",
      "AT_OWCTI?",    "AT_OHCIP?",      "AT_OSSYS?",    "AT_OPSYS?",   "AT_OSQI?",     "AT_OEANT?",
      "AT_OIDLETEXT?", "AT_OWIND=1",    "AT_OPCMENABLE?", "AT_OWANCALL?", "AT_OGACT?",  "AT*MCSQ?",
      "AT*MRINFO?",   "AT$QCPDPP?",
  };
  for (const char* command : vendor_commands) {
    Interpreter standard(sim::ClassOf(CardKind::kStandard));
    EXPECT_EQ(standard.Run(command), "ERROR") << command;
    bool known = false;
    for (const auto& card_class : sim::AllCardClasses()) {
      Interpreter vendor(card_class);
      known = known || vendor.Run(command) != "ERROR";
    }
    EXPECT_TRUE(known) << command << " is no vendor card's command";
  }
}

TEST(StandardCardTest, IsFoundByNameOnlyAndHasAnAtPortBesideTheModem) {
  EXPECT_EQ(sim::FindCardClass("standard"), &sim::ClassOf(CardKind::kStandard));
  EXPECT_EQ(sim::FindCardClass(""), nullptr);
  for (const auto& card_class : sim::AllCardClasses()) EXPECT_NE(card_class.kind, CardKind::kStandard);

  auto card = sim::NewSimCard(CardKind::kStandard).Build();
  ASSERT_NE(card, nullptr);
  std::vector<PortRole> roles;
  for (const auto& port : card->Ports()) roles.push_back(port.role);
  EXPECT_EQ(roles, (std::vector{PortRole::kApplication, PortRole::kModem}));
}

}  // namespace
