// What vombel-device prints: the report of --once, the change lines of
// watch mode, the event and error lines, its command line and its PIN input.
#include "devicelib/cli/device_report.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "devicelib/cli/command_line.h"
#include "devicelib/cli/connection_report.h"
#include "devicelib/cli/pin_input.h"
#include "devicelib/device_states.h"

namespace {

using namespace vombel_device;

// A device as the 3G simulated card shows itself once initialised.
DeviceStatus InitializedCard() {
  DeviceStatus s;
  s.device_state = Got(int{GSM::DeviceState::Initialized});
  s.model = Got(std::string("Card 3G"));
  s.firmware = Got(std::string("1.2.3"));
  s.hardware = Got(std::string(""));
  s.imei = Got(std::string("356000000000001"));
  s.serial = Failed<std::string>(DV_E_ERROR);
  s.iccid = Got(std::string("8949000000000000001"));
  s.imsi = Got(std::string("262011234567890"));
  s.sim_state = Got(1);
  s.pin_state = Got(uint32_t{1});
  s.retry_counters_supported = Got(1);
  s.retries = Got(RetryCounters{3, 10});
  s.pin_enabled = Got(0);
  s.network = Got(NetworkInfo{"Vombel Net", 2});
  s.cs_state = Got(1);
  s.ps_state = Got(5);
  s.technology_selection_supported = Got(0);
  s.access_technology = Got(2);
  s.edge_state = Got(0);
  s.hsdpa_state = Got(1);
  s.apn = Got(std::string("internet"));
  s.signal = Got(Signal{18, 99});
  s.wcdma_supported = Got(1);
  s.wcdma_signal = Got(4);
  return s;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The value part of the report row for `key` ("" when there is none).
std::string ValueOf(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines) {
    const size_t at = line.find("| ");
    if (at == std::string::npos) continue;
    const size_t colon = line.find(": ", at);
    if (colon == std::string::npos) continue;
    std::string k = line.substr(at + 2, colon - at - 2);
    k.erase(0, k.find_first_not_of(' '));
    if (k == key) return line.substr(colon + 2);
  }
  return "";
}

TEST(DeviceReportTest, StateWordsCoverEveryValueAndSayWhatIsOutsideTheRange) {
  struct Row {
    std::string got;
    std::string want;
  };
  const std::vector<Row> rows = {
      {PinPukStateText(0), "unknown"},         {PinPukStateText(1), "READY"},
      {PinPukStateText(2), "SIM PIN"},         {PinPukStateText(3), "SIM PUK"},
      {PinPukStateText(5), "SIM PUK2"},        {PinPukStateText(8), "PH-NETSUB PIN"},
      {PinPukStateText(13), "PH-CORP PUK"},    {PinPukStateText(14), "unknown"},
      {PinPukStateText(0xFFFFFFFF), "unknown"}, {DeviceStateText(0), "not found"},
      {DeviceStateText(2), "initialized"},     {DeviceStateText(3), "unknown (3)"},
      {RegistrationText(1), "home"},           {RegistrationText(5), "roaming"},
      {RegistrationText(2), "searching"},      {RegistrationText(3), "denied"},
      {RegistrationText(-1), "unknown (-1)"},  {NetworkTypeText(2), "UMTS"},
      {TechnologyModeText(3), "UMTS preferred"}, {AccessTechnologyText(1), "GPRS"},
      {SignalText({0, 0}), "0 (-113 dBm), extended 0"}, {SignalText({31, 5}), "31 (-51 dBm), extended 5"},
      {SignalText({99, 99}), "99 (not known), extended 99"}, {SignalText({-1, 5}), "-1, extended 5"},
      {ResultText(DV_E_NOT_READY), "0x84000009 device not yet initialised"},
      {ResultText(DvCmeError(11)), "0x8401000B +CME ERROR: 11"},
      {ResultText(DvCmsError(500)), "0x840201F4 +CMS ERROR: 500"},
      {ResultText(0x80070005), "0x80070005"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.got, row.want);
}

TEST(DeviceReportTest, ReportHasAlignedKeysInSectionsAndShowsFailuresWithTheirCode) {
  const std::vector<std::string> lines = FormatReport(InitializedCard());
  const std::string text = Joined(lines);
  EXPECT_EQ(ValueOf(lines, "state"), "initialized");
  EXPECT_EQ(ValueOf(lines, "imei"), "356000000000001");
  EXPECT_EQ(ValueOf(lines, "hardware"), "--");
  EXPECT_EQ(ValueOf(lines, "serial number"), "-- (0x84000003 ERROR)");
  EXPECT_EQ(ValueOf(lines, "pin state"), "READY");
  EXPECT_EQ(ValueOf(lines, "pin retries"), "3");
  EXPECT_EQ(ValueOf(lines, "puk retries"), "10");
  EXPECT_EQ(ValueOf(lines, "pin check"), "disabled");
  EXPECT_EQ(ValueOf(lines, "operator"), "Vombel Net");
  EXPECT_EQ(ValueOf(lines, "network type"), "UMTS");
  EXPECT_EQ(ValueOf(lines, "ps registration"), "roaming");
  EXPECT_EQ(ValueOf(lines, "hsdpa"), "yes");
  EXPECT_EQ(ValueOf(lines, "wcdma signal"), "4");
  // Every key row puts its colon in the same column, and each section is
  // named once, on its first row.
  size_t colon = std::string::npos;
  for (const std::string& line : lines) {
    if (line.find("| ") == std::string::npos) continue;
    const size_t at = line.find(": ");
    if (colon == std::string::npos) colon = at;
    EXPECT_EQ(at, colon) << line;
  }
  for (const char* section : {"Device", "SIM", "Network", "Signal"}) {
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.rfind(std::string("  ") + section, 0) == 0; }),
              1)
        << section << "\n"
        << text;
  }
}

TEST(DeviceReportTest, RowsOfWhatTheCardLacksOrWasNotAskedAreLeftOut) {
  DeviceStatus s = InitializedCard();
  s.retry_counters_supported = Got(0);
  s.wcdma_supported = Got(0);
  s.technology_selection_supported = Got(1);
  s.technology_mode = Got(2);
  s.apn = {};  // not read
  const std::vector<std::string> lines = FormatReport(s);
  EXPECT_EQ(ValueOf(lines, "pin retries"), "");
  EXPECT_EQ(ValueOf(lines, "wcdma signal"), "");
  EXPECT_EQ(ValueOf(lines, "apn"), "");
  EXPECT_EQ(ValueOf(lines, "technology selection"), "GPRS preferred");
  EXPECT_TRUE(FormatReport(DeviceStatus{}).empty());
}

TEST(DeviceReportTest, ChangedLinesNameOnlyWhatChangedInReportOrder) {
  const DeviceStatus before = InitializedCard();
  DeviceStatus after = before;
  EXPECT_TRUE(ChangedLines(before, after).empty());
  after.signal = Got(Signal{20, 99});
  after.cs_state = Got(2);
  after.pin_state = Failed<uint32_t>(DV_E_NO_DEVICE);
  EXPECT_EQ(ChangedLines(before, after),
            (std::vector<std::string>{"pin state: -- (0x84000008 no device)", "cs registration: searching",
                                      "signal: 20 (-73 dBm), extended 99"}));
  // From nothing, every value read counts as a change; a value no longer
  // read is not reported.
  DeviceStatus found;
  found.device_state = Got(int{GSM::DeviceState::Found});
  EXPECT_EQ(ChangedLines(DeviceStatus{}, found), (std::vector<std::string>{"state: found (initialising)"}));
  EXPECT_TRUE(ChangedLines(before, DeviceStatus{}).empty());
}

TEST(DeviceReportTest, EventAndErrorLinesCarryNamesAndParameters) {
  EXPECT_EQ(EventLine(EventSignalStrengthChanged, 0, "EventSignalStrengthChanged"),
            "event EventSignalStrengthChanged (6)");
  EXPECT_EQ(EventLine(EventSmsMessageArrived, 4, "EventSmsMessageArrived"),
            "event EventSmsMessageArrived (10), SIM index 4");
  EXPECT_EQ(EventLine(99, 0, nullptr), "event <unknown event> (99)");
  EXPECT_EQ(ErrorLine(1, DV_E_CONNECTION_DROPPED, 0), "error type 1: 0x84000011 the data call failed or was refused by the card");
  EXPECT_EQ(ErrorLine(2, DV_E_NO_ANSWER, DV_E_ERROR), "error type 2: 0x84000002 no answer, then 0x84000003 ERROR");
}

TEST(DeviceCommandLineTest, OptionsAndCommandsAreReadAndMistakesRefused) {
  struct Row {
    std::vector<std::string> args;
    bool ok;
    Command command;
    bool once, pin, simulate;
    std::string simulated_class;
    uint32_t timeout_s;
  };
  const std::vector<Row> rows = {
      {{}, true, Command::kStatus, false, false, false, "3g", kDefaultTimeoutS},
      {{"watch"}, true, Command::kWatch, false, false, false, "3g", 0},
      {{"--once", "watch", "--timeout", "5"}, true, Command::kWatch, true, false, false, "3g", 5},
      {{"--simulate=gprs", "--pin", "status"}, true, Command::kStatus, false, true, true, "gprs", kDefaultTimeoutS},
      {{"--simulate", "--timeout=12"}, true, Command::kStatus, false, false, true, "3g", 12},
      {{"--timeout"}, false, Command::kStatus, false, false, false, "", 0},
      {{"--timeout", "-3"}, false, Command::kStatus, false, false, false, "", 0},
      {{"--timeout", "1x"}, false, Command::kStatus, false, false, false, "", 0},
      {{"--timeout", "99999999999"}, false, Command::kStatus, false, false, false, "", 0},
      {{"--timeout", "0"}, false, Command::kStatus, false, false, false, "", 0},  // status needs time
      {{"--simulate="}, false, Command::kStatus, false, false, false, "", 0},
      {{"status", "watch"}, false, Command::kStatus, false, false, false, "", 0},
      {{"--pin=1234"}, false, Command::kStatus, false, false, false, "", 0},  // never on the command line
      {{"connect", "--bad"}, false, Command::kConnect, false, false, false, "", 0},
  };
  for (const Row& row : rows) {
    const ParsedCommandLine parsed = ParseCommandLine(row.args);
    std::string line;
    for (const std::string& a : row.args) line += a + " ";
    ASSERT_EQ(parsed.error.empty(), row.ok) << line << parsed.error;
    if (!row.ok) continue;
    EXPECT_EQ(parsed.options.command, row.command) << line;
    EXPECT_EQ(parsed.options.once, row.once) << line;
    EXPECT_EQ(parsed.options.pin, row.pin) << line;
    EXPECT_EQ(parsed.options.simulate, row.simulate) << line;
    EXPECT_EQ(parsed.options.simulated_class, row.simulated_class) << line;
    EXPECT_EQ(parsed.options.timeout_s, row.timeout_s) << line;
  }
  EXPECT_TRUE(ParseCommandLine({"--help"}).options.help);
  EXPECT_NE(UsageText().find("--simulate"), std::string::npos);

  // connect takes an optional APN, and runs until it ends whatever the
  // time limit for the card says.
  const ParsedCommandLine with_apn = ParseCommandLine({"connect", "web.vombel", "--timeout", "0"});
  ASSERT_TRUE(with_apn.error.empty()) << with_apn.error;
  EXPECT_EQ(with_apn.options.command, Command::kConnect);
  EXPECT_TRUE(with_apn.options.apn_given);
  EXPECT_EQ(with_apn.options.apn, "web.vombel");
  const ParsedCommandLine without = ParseCommandLine({"--simulate=gprs", "connect"});
  ASSERT_TRUE(without.error.empty());
  EXPECT_FALSE(without.options.apn_given);
  EXPECT_FALSE(ParseCommandLine({"connect", std::string(100, 'a')}).error.empty());
  EXPECT_EQ(ParseCommandLine({"disconnect"}).options.command, Command::kDisconnect);
  EXPECT_FALSE(ParseCommandLine({"disconnect", "web.vombel"}).error.empty());
}

TEST(ConnectionReportTest, TrafficIsShownInUnitsAPersonReads) {
  EXPECT_EQ(ByteCountText(0), "0 B");
  EXPECT_EQ(ByteCountText(999), "999 B");
  EXPECT_EQ(ByteCountText(1000), "1.0 kB");
  EXPECT_EQ(ByteCountText(34567), "34.6 kB");
  EXPECT_EQ(ByteCountText(999949), "999.9 kB");
  EXPECT_EQ(ByteCountText(999950), "1.0 MB");
  EXPECT_EQ(ByteCountText(4294967295u), "4.3 GB");
  EXPECT_EQ(DurationText(0), "0:00:00");
  EXPECT_EQ(DurationText(3723999), "1:02:03");
  EXPECT_EQ(DurationText(100ull * 3600 * 1000), "100:00:00");
  EXPECT_EQ(TrafficLine(1200, 34000, 5000), "sent 1.2 kB, received 34.0 kB, up 0:00:05");
}

TEST(DeviceCommandLineTest, SmsActionsTakeTheirIndexOrNumber) {
  struct Row {
    std::vector<std::string> args;
    bool ok;
    SmsAction action;
    uint32_t index;
    std::string number;
  };
  const std::vector<Row> rows = {
      {{"sms", "list"}, true, SmsAction::kList, 0, ""},
      {{"--simulate", "sms", "read", "3"}, true, SmsAction::kRead, 3, ""},
      {{"sms", "delete", "0", "--timeout", "5"}, true, SmsAction::kDelete, 0, ""},
      {{"sms", "send", "+491709876543"}, true, SmsAction::kSend, 0, "+491709876543"},
      {{"sms", "send", "112"}, true, SmsAction::kSend, 0, "112"},
      {{"sms"}, false, SmsAction::kList, 0, ""},
      {{"sms", "read"}, false, SmsAction::kList, 0, ""},
      {{"sms", "read", "-1"}, false, SmsAction::kList, 0, ""},
      {{"sms", "delete", "1x"}, false, SmsAction::kList, 0, ""},
      {{"sms", "read", "99999999999"}, false, SmsAction::kList, 0, ""},
      {{"sms", "send"}, false, SmsAction::kList, 0, ""},
      {{"sms", "send", "+49 170"}, false, SmsAction::kList, 0, ""},
      {{"sms", "send", "+"}, false, SmsAction::kList, 0, ""},
      {{"sms", "send", "123456789012345678901"}, false, SmsAction::kList, 0, ""},
      {{"sms", "forward"}, false, SmsAction::kList, 0, ""},
      {{"sms", "list", "watch"}, false, SmsAction::kList, 0, ""},
      {{"sms", "list", "--timeout", "0"}, false, SmsAction::kList, 0, ""},
  };
  for (const Row& row : rows) {
    const ParsedCommandLine parsed = ParseCommandLine(row.args);
    std::string line;
    for (const std::string& a : row.args) line += a + " ";
    ASSERT_EQ(parsed.error.empty(), row.ok) << line << parsed.error;
    if (!row.ok) continue;
    EXPECT_EQ(parsed.options.command, Command::kSms) << line;
    EXPECT_EQ(parsed.options.sms_action, row.action) << line;
    EXPECT_EQ(parsed.options.sms_index, row.index) << line;
    EXPECT_EQ(parsed.options.sms_number, row.number) << line;
  }
}

TEST(DeviceCommandLineTest, PinTechnologyAndTheOtherCommandsTakeTheirWordsAndNoCodes) {
  struct Row {
    std::vector<std::string> args;
    bool ok;
    Command command;
    PinAction pin_action;
    int technology_mode;  // -1: none given
    bool json;
  };
  const std::vector<Row> rows = {
      {{"identity"}, true, Command::kIdentity, PinAction::kStatus, -1, false},
      {{"--json", "diagnostics"}, true, Command::kDiagnostics, PinAction::kStatus, -1, true},
      {{"pin", "status", "--json"}, true, Command::kPin, PinAction::kStatus, -1, true},
      {{"pin", "enter"}, true, Command::kPin, PinAction::kEnter, -1, false},
      {{"pin", "change"}, true, Command::kPin, PinAction::kChange, -1, false},
      {{"--simulate", "pin", "on"}, true, Command::kPin, PinAction::kOn, -1, false},
      {{"pin", "off", "--timeout", "5"}, true, Command::kPin, PinAction::kOff, -1, false},
      {{"pin", "unblock"}, true, Command::kPin, PinAction::kUnblock, -1, false},
      {{"technology"}, true, Command::kTechnology, PinAction::kStatus, -1, false},
      {{"technology", "--json"}, true, Command::kTechnology, PinAction::kStatus, -1, true},
      {{"technology", "gprs-only"}, true, Command::kTechnology, PinAction::kStatus, kGprsOnly, false},
      {{"technology", "umts-only"}, true, Command::kTechnology, PinAction::kStatus, kUmtsOnly, false},
      {{"technology", "gprs-preferred"}, true, Command::kTechnology, PinAction::kStatus, kGprsPreferred, false},
      {{"technology", "umts-preferred"}, true, Command::kTechnology, PinAction::kStatus, kUmtsPreferred, false},
      {{"--json", "connect", "--timeout", "0"}, true, Command::kConnect, PinAction::kStatus, -1, true},
      // Codes never on the command line, and no reading of a PIN twice.
      {{"pin"}, false, Command::kPin, PinAction::kStatus, -1, false},
      {{"pin", "enter", "1234"}, false, Command::kPin, PinAction::kEnter, -1, false},
      {{"pin", "change", "1234", "4321"}, false, Command::kPin, PinAction::kChange, -1, false},
      {{"pin", "1234"}, false, Command::kPin, PinAction::kStatus, -1, false},
      {{"--pin", "pin", "enter"}, false, Command::kPin, PinAction::kEnter, -1, false},
      {{"technology", "auto"}, false, Command::kTechnology, PinAction::kStatus, -1, false},
      {{"technology", "UMTS-only"}, false, Command::kTechnology, PinAction::kStatus, -1, false},
      {{"technology", "gprs-only", "umts-only"}, false, Command::kTechnology, PinAction::kStatus, -1, false},
      {{"identity", "diagnostics"}, false, Command::kIdentity, PinAction::kStatus, -1, false},
      {{"pin", "status", "--timeout", "0"}, false, Command::kPin, PinAction::kStatus, -1, false},
      {{"--json=yes"}, false, Command::kStatus, PinAction::kStatus, -1, false},
  };
  for (const Row& row : rows) {
    const ParsedCommandLine parsed = ParseCommandLine(row.args);
    std::string line;
    for (const std::string& a : row.args) line += a + " ";
    ASSERT_EQ(parsed.error.empty(), row.ok) << line << parsed.error;
    if (!row.ok) continue;
    EXPECT_EQ(parsed.options.command, row.command) << line;
    EXPECT_EQ(parsed.options.pin_action, row.pin_action) << line;
    EXPECT_EQ(parsed.options.technology_mode_given, row.technology_mode >= 0) << line;
    if (row.technology_mode >= 0) {
      EXPECT_EQ(parsed.options.technology_mode, row.technology_mode) << line;
    }
    EXPECT_EQ(parsed.options.json, row.json) << line;
  }
  // The words the usage, the completion and the JSON share go both ways.
  for (int mode = kGprsOnly; mode <= kUmtsPreferred; ++mode) {
    EXPECT_EQ(TechnologyModeOf(TechnologyModeName(mode)), mode);
    EXPECT_NE(UsageText().find(TechnologyModeName(mode)), std::string::npos) << mode;
  }
  EXPECT_STREQ(TechnologyModeName(4), "");
}

SmsMessage Stored(uint32_t index, uint32_t status, const char16_t* address, const char16_t* text) {
  SmsMessage m;
  std::memset(&m, 0, sizeof m);
  m.Stored = 1;
  m.Index = index;
  m.MessageType = kSmsMessageTypeReceived;
  m.StorageStatus = status;
  std::u16string_view a(address), t(text);
  std::copy(a.begin(), a.end(), m.Address);
  std::copy(t.begin(), t.end(), m.Text);
  m.TimeStamp = 134179709660000000ull;  // 2026-03-14 14:09:26 UTC
  return m;
}

TEST(DeviceReportTest, SmsListAndMessageShowIndexStatusAddressTimeAndText) {
  EXPECT_EQ(FormatSmsList(nullptr, 0), std::vector<std::string>{"No messages on the SIM."});
  SmsMessage list[3] = {Stored(0, 1, u"Vombel", u"Welcome"), Stored(4, 0, u"+491701234567", u"Two\nlines"),
                        Stored(7, 2, u"+491709876543", u"x")};
  list[2].MessageType = kSmsMessageTypeInvalid;
  list[2].TimeStamp = 0;
  const std::vector<std::string> lines = FormatSmsList(list, 3);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "    0  read    Vombel                 2026-03-14 14:09:26 UTC  Welcome");
  EXPECT_EQ(lines[2], "    4  unread  +491701234567          2026-03-14 14:09:26 UTC  Two lines");
  EXPECT_EQ(lines[3], "    7  unsent  +491709876543          -                        (unreadable message)");
  // Every column starts where the header's does.
  EXPECT_EQ(lines[0].find("time"), lines[1].find("2026"));

  SmsMessage submit = Stored(2, 3, u"+491709876543", u"Hello");
  submit.MessageType = kSmsMessageTypeSubmit;
  const std::vector<std::string> shown = FormatSmsMessage(submit);
  EXPECT_EQ(shown[1], "status: sent");
  EXPECT_EQ(shown[2], "to: +491709876543");
  EXPECT_EQ(shown.back(), "text: Hello");
  EXPECT_EQ(SmsStatusText(9), "9");

  // A field without its terminator ends at its size.
  char16_t full[kSmsAddressSize];
  std::fill(std::begin(full), std::end(full), u'7');
  EXPECT_EQ(FieldText(full, kSmsAddressSize), std::string(kSmsAddressSize, '7'));
}

TEST(DeviceReportTest, ArrivingMessagesAndStatusReportsAreOneLineEach) {
  SmsMessage flash = Stored(0, 0, u"+491704444444", u"Look");
  flash.Stored = 0;
  flash.Class = 1;
  EXPECT_EQ(TemporaryMessageLine(flash), "message from +491704444444 at 2026-03-14 14:09:26 UTC (flash): Look");
  SmsStatusReport report{};
  std::u16string_view to = u"+491709876543";
  std::copy(to.begin(), to.end(), report.Recipient);
  report.Status = 0x41;
  EXPECT_EQ(StatusReportLine(report), "status report for +491709876543 at -: failed (0x41)");
  report.Status = 0;
  EXPECT_NE(StatusReportLine(report).find("delivered"), std::string::npos);
}

// Standard input replaced by a pipe holding `input`.
PinReadResult ReadFrom(const std::string& input, SecretPin& pin) {
  int fds[2];
  if (::pipe(fds) != 0) return PinReadResult::kReadError;
  const ssize_t written = ::write(fds[1], input.data(), input.size());
  ::close(fds[1]);
  const PinReadResult result = written == static_cast<ssize_t>(input.size()) ? ReadPin(fds[0], "PIN: ", pin)
                                                                               : PinReadResult::kReadError;
  ::close(fds[0]);
  return result;
}

TEST(PinInputTest, OneLineOfFourToEightDigitsIsAPin) {
  struct Row {
    std::string input;
    PinReadResult result;
    std::u16string pin;
  };
  const std::vector<Row> rows = {
      {"1234\n", PinReadResult::kOk, u"1234"},
      {"12345678\r\n", PinReadResult::kOk, u"12345678"},
      {"0000", PinReadResult::kOk, u"0000"},  // no end of line before the end of input
      {"1234\nrest\n", PinReadResult::kOk, u"1234"},
      {"", PinReadResult::kEndOfInput, u""},
      {"\n", PinReadResult::kNotAPin, u""},
      {"123\n", PinReadResult::kNotAPin, u""},
      {"123456789\n", PinReadResult::kNotAPin, u""},
      {"12a4\n", PinReadResult::kNotAPin, u""},
      {" 1234\n", PinReadResult::kNotAPin, u""},
      {std::string(200, '1') + "\n", PinReadResult::kNotAPin, u""},
  };
  for (const Row& row : rows) {
    SecretPin pin;
    EXPECT_EQ(ReadFrom(row.input, pin), row.result) << row.input.substr(0, 20);
    EXPECT_EQ(std::u16string(pin.c_str()), row.pin) << row.input.substr(0, 20);
  }
}

TEST(PinInputTest, ClearingOverwritesTheDigits) {
  SecretPin pin;
  ASSERT_TRUE(pin.Assign("98765432"));
  const char16_t* text = pin.c_str();
  pin.Clear();
  EXPECT_TRUE(pin.empty());
  for (size_t i = 0; i <= SecretPin::kMaxDigits; ++i) EXPECT_EQ(text[i], u'\0') << i;
  // A refused line leaves nothing of an earlier PIN behind.
  ASSERT_TRUE(pin.Assign("1234"));
  EXPECT_FALSE(pin.Assign("12"));
  EXPECT_TRUE(pin.empty());
  EXPECT_EQ(text[0], u'\0');
}

}  // namespace
