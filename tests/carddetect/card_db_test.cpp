#include "carddetect/card_db.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "foundation/xlog.h"
#include "platform/resource_module.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "tests/support/log_capture.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::LogCapture;

// The mandatory keys of one card with the given extra lines, CR LF ended.
std::string Section(const std::string& name, const std::string& extra = "",
                    const std::string& driver_cap = "0x0", const std::string& wwan_cap = "0x3") {
  return "[" + name + "]\r\nSupported=1\r\nModel=0x100\r\nFamily=4\r\nStackType=1\r\nBusType=USB\r\n" +
         "HardwareId=USB\\VID_0001&PID_0001\r\nXpPortType=0\r\nXpDriverCap=" + driver_cap + "\r\nXpWwanCap=" +
         wwan_cap + "\r\nXpWlanCap=0\r\n" + extra;
}

std::vector<CardDbEntry> Parse(const std::string& text, NwOsType os = kNwOsXp) {
  std::vector<CardDbEntry> entries;
  EXPECT_EQ(ReadCardDb(text, os, entries), 0u);
  return entries;
}

std::vector<std::string> Names(const std::vector<CardDbEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(platform::Utf16ToUtf8(entry.Name));
  return names;
}

TEST(GetNextLineTest, SplitsLinesAndSkipsBlanksAndComments) {
  struct Row {
    std::string text;
    std::vector<std::u16string> lines;
  };
  const std::vector<Row> rows = {
      {"", {}},
      {"\r\n\r\n\n\r", {}},
      {"a\r\nb", {u"a", u"b"}},
      {"a\nb\rc\r\n", {u"a", u"b", u"c"}},
      {"#comment\r\nkey=1", {u"key=1"}},
      {"#only a comment", {}},
      {"#a\r\n#b\r\n", {}},
      {" #not a comment", {u" #not a comment"}},
      {"a#b", {u"a#b"}},
      {"trailing  \r\n", {u"trailing  "}},
      {std::string("x\0y", 3), {std::u16string(u"x\0y", 3)}},
      {"\xE9t\xE9", {u"\u00E9t\u00E9"}},
      {"\x80\x81", {u"\u20AC\u0081"}},  // code page 1252, one unit per byte
  };
  for (const Row& row : rows) {
    std::vector<std::u16string> lines;
    size_t cursor = 0;
    while (auto line = GetNextLine(row.text, cursor)) {
      lines.push_back(*line);
      ASSERT_LE(cursor, row.text.size());
    }
    EXPECT_EQ(lines, row.lines) << "input: " << row.text;
    EXPECT_EQ(cursor, row.text.size());
  }
}

TEST(GetNextLineTest, CursorRestsOnTheLineEnd) {
  const std::string text = "ab\r\ncd";
  size_t cursor = 0;
  EXPECT_EQ(GetNextLine(text, cursor), u"ab");
  EXPECT_EQ(cursor, 2u);
  EXPECT_EQ(GetNextLine(text, cursor), u"cd");
  EXPECT_EQ(GetNextLine(text, cursor), std::nullopt);
  size_t past_end = 100;
  EXPECT_EQ(GetNextLine(text, past_end), std::nullopt);
}

TEST(ReadCardDbTest, ReadsEveryField) {
  const auto entries = Parse(
      "[Full Card]\r\nSupported=1\r\nModel=0x1A00\r\nFamily=7\r\nStackType=-2\r\nBusType=pcmcia\r\n"
      "HardwareId=PCMCIA\\A,PCMCIA\\B\r\nAtiKey=ATI\r\nWwanNicName=Nic \r\nSmartCardReader=Reader\r\n"
      "XpPortType=3\r\nXpDriverCap=0x80F\r\nXpWwanCap=0x3\r\nXpWlanCap=ff\r\nXpModemName=Mdm\r\n"
      "XpModemDetect=0x1\r\nXpAppPortName=App\r\nXpAppPortDetect=0x2,0x41\r\nXpApp2PortName=App2\r\n"
      "XpApp2PortDetect=0x1\r\nXpDbgPortName=Dbg\r\nXpDbgPortDetect=0x1\r\nXpWwanNdisPortName=\\\\.\\N%d\r\n"
      "XpWwanNdisPortDetect=0x1\r\n");
  ASSERT_EQ(entries.size(), 1u);
  const CardDbEntry& e = entries[0];
  EXPECT_EQ(e.Name, u"Full Card");
  EXPECT_TRUE(e.Supported);
  EXPECT_EQ(e.Model, 0x1A00u);
  EXPECT_EQ(e.Family, 7);
  EXPECT_EQ(e.Stack, -2);
  EXPECT_EQ(e.Bus, kCardBusPcmcia);
  EXPECT_EQ(e.HardwareIds, u"PCMCIA\\A,PCMCIA\\B");
  EXPECT_EQ(e.AtiKey, u"ATI");
  EXPECT_EQ(e.WwanNicNames, u"Nic ");  // verbatim, trailing blank included
  EXPECT_EQ(e.SmartCardReaderNames, u"Reader");
  EXPECT_EQ(e.AppPortType, 3);
  EXPECT_EQ(e.DriverCapabilities, 0x80Fu);
  EXPECT_EQ(e.WwanCapabilities, 0x3u);
  EXPECT_EQ(e.WlanCapabilities, 0xFFu);
  EXPECT_EQ(e.ModemNames, u"Mdm");
  EXPECT_EQ(e.ModemDetect, u"0x1");
  EXPECT_EQ(e.AppPortNames, u"App");
  EXPECT_EQ(e.AppPortDetect, u"0x2,0x41");
  EXPECT_EQ(e.App2PortNames, u"App2");
  EXPECT_EQ(e.App2PortDetect, u"0x1");
  EXPECT_EQ(e.DbgPortNames, u"Dbg");
  EXPECT_EQ(e.DbgPortDetect, u"0x1");
  EXPECT_EQ(e.WwanNdisPortPattern, u"\\\\.\\N%d");
  EXPECT_EQ(e.WwanNdisPortDetect, u"0x1");
}

TEST(ReadCardDbTest, SectionWithoutMandatoryKeyVanishesSilently) {
  std::string no_stack = Section("No Stack");
  no_stack.erase(no_stack.find("StackType=1\r\n"), 13);
  LogCapture log(kXLogWarning);
  const auto entries = Parse(Section("First") + no_stack + Section("Last"));
  EXPECT_THAT(Names(entries), ElementsAre("First", "Last"));
  EXPECT_THAT(log.Lines(), IsEmpty());
}

TEST(ReadCardDbTest, TextBeforeTheFirstHeaderIsDropped) {
  // Everything a card needs but its header, and a modem name that must not
  // leak into the first real section.
  std::string preamble = Section("x", "XpModemName=Leaked\r\n");
  preamble.erase(0, preamble.find("\r\n") + 2);
  const auto entries = Parse(preamble + Section("Real"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Name, u"Real");
  EXPECT_EQ(entries[0].ModemNames, std::nullopt);
}

TEST(ReadCardDbTest, UnreadableNumberDropsTheSectionWithItsHeader) {
  struct Row {
    std::string from, to;
  };
  const std::vector<Row> rows = {
      {"Model=0x100", "Model=zz"},
      {"Model=0x100", "Model="},
      {"Model=0x100", "Model=0x100000000"},  // does not fit: not clipped into a valid code
      {"Family=4", "Family=four"},
      {"StackType=1", "StackType=99999999999"},
      {"XpPortType=0", "XpPortType=x"},
      {"XpDriverCap=0x0", "XpDriverCap=g"},
      {"XpWwanCap=0x3", "XpWwanCap= "},
      {"XpWlanCap=0", "XpWlanCap=-"},
  };
  for (const Row& row : rows) {
    std::string bad = Section("Bad Card");
    bad.replace(bad.find(row.from), row.from.size(), row.to);
    LogCapture log(kXLogWarning);
    const auto entries = Parse(bad + Section("Good"));
    EXPECT_THAT(Names(entries), ElementsAre("Good")) << row.to;
    EXPECT_THAT(log.Lines(), ElementsAre("Nw: ExtractCardInfo(): invalid card information record, skipping card "
                                         "[Bad Card]"))
        << row.to;
  }
}

TEST(ReadCardDbTest, NumbersReadAsTheFormatConversionsDo) {
  struct Row {
    std::string model, family;
    uint32_t want_model;
    int32_t want_family;
  };
  const std::vector<Row> rows = {
      {"0x100", "4", 0x100, 4},     {"100", "-3", 0x100, -3},      {" 0XfF", "+7", 0xFF, 7},
      {"e00 rev2", "12abc", 0xE00, 12}, {"-1", "-2147483648", 0xFFFFFFFF, INT32_MIN},
  };
  for (const Row& row : rows) {
    std::string text = Section("C");
    text.replace(text.find("Model=0x100"), 11, "Model=" + row.model);
    text.replace(text.find("Family=4"), 8, "Family=" + row.family);
    const auto entries = Parse(text);
    ASSERT_EQ(entries.size(), 1u) << row.model;
    EXPECT_EQ(entries[0].Model, row.want_model) << row.model;
    EXPECT_EQ(entries[0].Family, row.want_family) << row.family;
  }
}

TEST(ReadCardDbTest, OsFormsOfAKeyFirstLineWins) {
  struct Row {
    NwOsType os;
    std::string lines;
    std::optional<std::u16string> modem;
  };
  const std::vector<Row> rows = {
      {kNwOsXp, "AdModemName=Ad\r\nXpModemName=Xp\r\n", u"Ad"},
      {kNwOsXp, "XpModemName=Xp\r\nAdModemName=Ad\r\n", u"Xp"},
      {kNwOsXp, "xpmodemname=lower\r\n", u"lower"},
      {kNwOsXp, "2kModemName=2k\r\nNtModemName=Nt\r\nGaModemName=Ga\r\n", std::nullopt},
      {kNwOs2k, "XpModemName=Xp\r\n2kModemName=2k\r\n", u"2k"},
      {kNwOs2k, "XpModemName=Xp\r\nAdModemName=Ad\r\n", u"Ad"},
      {kNwOs98, "AdModemName=Ad\r\nGaModemName=Ga\r\n98ModemName=98\r\n", u"Ga"},
      {kNwOsMe, "MeModemName=Me\r\n", u"Me"},
      {kNwOsNt, "AdModemName=Ad\r\nNtModemName=Nt\r\n", u"Nt"},
  };
  for (const Row& row : rows) {
    std::string text = Section("C", row.lines);
    // The mandatory OS keys in both forms the system reads.
    for (const char* key : {"PortType", "DriverCap", "WwanCap", "WlanCap"}) {
      const std::string xp = std::string("Xp") + key + "=";
      text.replace(text.find(xp), xp.size(), std::string(OsIdentifier(row.os)) + key + "=");
    }
    const auto entries = Parse(text, row.os);
    ASSERT_EQ(entries.size(), 1u) << row.lines;
    EXPECT_EQ(entries[0].ModemNames, row.modem) << row.lines;
  }
}

TEST(ReadCardDbTest, KeyRecognition) {
  struct Row {
    std::string line;
    bool supported_seen;
  };
  const std::vector<Row> rows = {
      {"Supported=1", true},
      {"supported=1", true},
      {"SUPPORTED=1", true},
      {" Supported=1", false},
      {"Supported =1", false},
      {"\tSupported=1", false},
  };
  for (const Row& row : rows) {
    std::string text = Section("C");
    text.replace(text.find("Supported=1"), 11, row.line);
    EXPECT_EQ(Parse(text).size(), row.supported_seen ? 1u : 0u) << row.line;
  }
}

TEST(ReadCardDbTest, RepeatedKeyIsIgnored) {
  const auto entries = Parse(Section("C", "HardwareId=USB\\VID_9999&PID_9999\r\nXpDriverCap=0x80\r\n"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].HardwareIds, u"USB\\VID_0001&PID_0001");
  EXPECT_EQ(entries[0].DriverCapabilities, 0u);
}

TEST(ReadCardDbTest, SupportedFlagAndBus) {
  struct Row {
    std::string supported, bus;
    bool want_supported;
    uint32_t want_bus;
  };
  const std::vector<Row> rows = {
      {"1", "USB", true, kCardBusUsb},         {"0", "usb", false, kCardBusUsb},
      {"10", "PCI", true, kCardBusPci},        {"", "Pcmcia", false, kCardBusPcmcia},
      {"yes", "ISA", false, kCardBusOther},    {"1", "USB ", true, kCardBusOther},
      {"1", "", true, kCardBusOther},
  };
  for (const Row& row : rows) {
    std::string text = Section("C");
    text.replace(text.find("Supported=1"), 11, "Supported=" + row.supported);
    text.replace(text.find("BusType=USB"), 11, "BusType=" + row.bus);
    const auto entries = Parse(text);
    ASSERT_EQ(entries.size(), 1u) << row.supported << "/" << row.bus;
    EXPECT_EQ(entries[0].Supported, row.want_supported) << row.supported;
    EXPECT_EQ(entries[0].Bus, row.want_bus) << row.bus;
  }
}

TEST(ReadCardDbTest, CardName) {
  const auto entries = Parse(Section("A") + Section("") + Section("Name ] x"));
  EXPECT_THAT(Names(entries), ElementsAre("A", "]", "Name ] x"));
}

TEST(ReadCardDbTest, TechnologySelectionFollowsWwanCapabilities) {
  struct Row {
    std::string driver_cap, wwan_cap;
    uint32_t want;
  };
  const std::vector<Row> rows = {
      {"0x0", "0x7", 0x0},   {"0x0", "0xB", 0x40},  {"0x0", "0x10", 0x0},  {"0x0", "0xC", 0x40},
      {"0x0", "0x8", 0x0},   {"0x40", "0x3", 0x0},  {"0x40", "0x1F", 0x40}, {"0x60", "0x1", 0x20},
  };
  for (const Row& row : rows) {
    const auto entries = Parse(Section("C", "", row.driver_cap, row.wwan_cap));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].DriverCapabilities, row.want) << row.driver_cap << "/" << row.wwan_cap;
  }
}

TEST(ReadCardDbTest, InconsistentFlagsAreRemovedWithTheirHalfGivenNames) {
  const std::string kMultiplexing =
      "Nw: ExtractCardInfo(): Inconsistent card database entry for card [C], application port name a/o detection "
      "method is empty or not found but driver flag indicates multiplexing on this OS, removing flag...";
  const std::string kNic =
      "Nw: ExtractCardInfo(): Inconsistent card database entry for card [C], WWAN NIC device name is empty or not "
      "found but driver flag indicates it on this OS, removing flag...";
  const std::string kNdis =
      "Nw: ExtractCardInfo(): Inconsistent card database entry for card [C], WWAN NDIS port name a/o detection "
      "mode is empty or not found but driver flag indicates it on this OS, removing flag...";
  const std::string kReader =
      "Nw: ExtractCardInfo(): Inconsistent card database entry for card [C], Smart card name is empty or not "
      "found but driver flag indicates it on this OS, removing flag...";
  struct Row {
    std::string driver_cap, lines;
    uint32_t want_flags;
    std::vector<std::string> want_log;
  };
  const std::vector<Row> rows = {
      {"0x1", "XpAppPortName=P\r\n", 0x0, {kMultiplexing}},
      {"0x1", "XpAppPortDetect=0x1\r\n", 0x0, {kMultiplexing}},
      {"0x1", "XpAppPortName=\r\nXpAppPortDetect=0x1\r\n", 0x0, {kMultiplexing}},
      {"0x1", "XpAppPortName=P\r\nXpAppPortDetect=0x1\r\n", 0x1, {}},
      {"0x2", "", 0x0, {kNic}},
      {"0x2", "WwanNicName=\r\n", 0x0, {kNic}},
      {"0x2", "WwanNicName=N\r\n", 0x2, {}},
      {"0x4", "XpWwanNdisPortName=\\\\.\\N%d\r\n", 0x0, {kNdis}},
      {"0x4", "XpWwanNdisPortName=\\\\.\\N%d\r\nXpWwanNdisPortDetect=\r\n", 0x0, {kNdis}},
      {"0x4", "XpWwanNdisPortName=\\\\.\\N%d\r\nXpWwanNdisPortDetect=0x1\r\n", 0x4, {}},
      {"0x8", "SmartCardReader=\r\n", 0x0, {kReader}},
      {"0x8", "SmartCardReader=R\r\n", 0x8, {}},
      {"0x80F", "", 0x800, {kMultiplexing, kNic, kNdis, kReader}},
      {"0x0", "", 0x0, {}},
  };
  for (const Row& row : rows) {
    LogCapture log(kXLogWarning);
    const auto entries = Parse(Section("C", row.lines, row.driver_cap));
    ASSERT_EQ(entries.size(), 1u);
    const CardDbEntry& e = entries[0];
    EXPECT_EQ(e.DriverCapabilities, row.want_flags) << row.driver_cap << " " << row.lines;
    EXPECT_EQ(log.Lines(), row.want_log) << row.driver_cap << " " << row.lines;
    if ((row.want_flags & CardDriverCapabilitiesMultiplexing) == 0 && (std::stoul(row.driver_cap, nullptr, 16) & 1)) {
      EXPECT_EQ(e.AppPortNames, std::nullopt);
      EXPECT_EQ(e.AppPortDetect, std::nullopt);
    }
    if ((row.want_flags & CardDriverCapabilitiesWwanNdisPort) == 0 && (std::stoul(row.driver_cap, nullptr, 16) & 4)) {
      EXPECT_EQ(e.WwanNdisPortPattern, std::nullopt);
      EXPECT_EQ(e.WwanNdisPortDetect, std::nullopt);
    }
  }
}

TEST(ReadCardDbTest, SlowWakeUp) {
  struct Row {
    NwOsType os;
    std::string family, model, driver_cap;
    bool want;
  };
  const std::vector<Row> rows = {
      {kNwOsXp, "1", "0x100", "0x1", true},    {kNwOsXp, "2", "0x100", "0x1", true},
      {kNwOsXp, "3", "0x300", "0x1", true},    {kNwOsXp, "3", "0x400", "0x1", true},
      {kNwOs2k, "1", "0x100", "0x1", true},    {kNwOsXp, "3", "0x500", "0x1", false},
      {kNwOsXp, "1", "0x300", "0x0", false},   {kNwOsMe, "1", "0x300", "0x1", false},
      {kNwOsNt, "1", "0x100", "0x1", false},
  };
  for (const Row& row : rows) {
    const std::string os(OsIdentifier(row.os));
    std::string text = "[C]\r\nSupported=1\r\nModel=" + row.model + "\r\nFamily=" + row.family +
                       "\r\nStackType=1\r\nBusType=USB\r\nHardwareId=H\r\n" + os + "PortType=0\r\n" + os +
                       "DriverCap=" + row.driver_cap + "\r\n" + os + "WwanCap=0\r\n" + os + "WlanCap=0\r\n" + os +
                       "AppPortName=P\r\n" + os + "AppPortDetect=0x1\r\n";
    const auto entries = Parse(text, row.os);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].SlowWakeUp, row.want) << os << " " << row.family << " " << row.model;
  }
}

TEST(ReadCardDbTest, EmptyTextGivesNoCardsAndNoError) {
  LogCapture log(kXLogInformation);
  std::vector<CardDbEntry> entries;
  EXPECT_EQ(ReadCardDb("", kNwOsXp, entries), 0u);
  EXPECT_THAT(entries, IsEmpty());
  EXPECT_THAT(log.Lines(), ElementsAre("Nw: Successfully loaded information for 0 cards"));
}

TEST(ReadCardDbTest, UnknownOsReadsNothing) {
  LogCapture log(kXLogWarning);
  std::vector<CardDbEntry> entries;
  EXPECT_EQ(ReadCardDb(Section("C"), kNwOsUnknown, entries), platform::kResultFail);
  EXPECT_THAT(entries, IsEmpty());
  EXPECT_THAT(log.Lines(), ElementsAre("Nw: ReadCardDb(): Could not determine OS type (?)"));
}

TEST(ReadCardDbTest, TableHoldsAtMost128CardsInFileOrder) {
  std::string text;
  for (int i = 0; i < 130; ++i) text += Section("Card " + std::to_string(i));
  LogCapture log(kXLogInformation);
  const auto entries = Parse(text);
  ASSERT_EQ(entries.size(), kMaxCardDbEntries);
  EXPECT_EQ(entries.front().Name, u"Card 0");
  EXPECT_EQ(entries.back().Name, u"Card 127");
  EXPECT_EQ(log.Count("card table is full"), 2u);
  EXPECT_TRUE(log.Contains("skipping card [Card 129]"));
  EXPECT_TRUE(log.Contains("Nw: Successfully loaded information for 128 cards"));
}

// Resources built for one test go through the same loading path as the
// program's own database.
class InitializeCardDbTest : public testing::Test {
 protected:
  CardDb db_;
};

TEST_F(InitializeCardDbTest, LoadsFromAnExplicitModuleAndRemembersIt) {
  platform::ResourceModule module =
      platform::ResourceModuleBuilder().Add("NW_DATA", 101, Section("Custom One") + Section("Custom Two")).Build();
  {
    LogCapture log(kXLogTrace);
    EXPECT_EQ(InitializeCardDb(db_, module.handle()), 0u);
    EXPECT_TRUE(log.Contains("(custom)"));
  }
  EXPECT_THAT(Names(db_.entries), ElementsAre("Custom One", "Custom Two"));

  // A later call without a module reads the remembered one again.
  LogCapture log(kXLogTrace);
  EXPECT_EQ(InitializeCardDb(db_, nullptr), 0u);
  EXPECT_TRUE(log.Contains("(EXE)"));
  EXPECT_THAT(Names(db_.entries), ElementsAre("Custom One", "Custom Two"));
}

TEST_F(InitializeCardDbTest, ResourceFailuresLeaveTheTableEmpty) {
  platform::ResourceModule loaded = platform::ResourceModuleBuilder().Add("NW_DATA", 101, Section("C")).Build();
  platform::ResourceModule other_id = platform::ResourceModuleBuilder().Add("NW_DATA", 102, Section("C")).Build();
  platform::ResourceModule other_type = platform::ResourceModuleBuilder().Add("XX_DATA", 101, Section("C")).Build();
  platform::HMODULE gone = nullptr;
  {
    platform::ResourceModule temporary = platform::ResourceModuleBuilder().Add("NW_DATA", 101, Section("C")).Build();
    gone = temporary.handle();
  }
  struct Row {
    platform::HMODULE module;
    uint32_t want;
  };
  const std::vector<Row> rows = {
      {other_id.handle(), platform::kErrorResourceNameNotFound},
      {other_type.handle(), platform::kErrorResourceTypeNotFound},
      {gone, platform::kErrorResourceDataNotFound},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(InitializeCardDb(db_, loaded.handle()), 0u);
    ASSERT_EQ(db_.entries.size(), 1u);
    LogCapture log(kXLogWarning);
    EXPECT_EQ(InitializeCardDb(db_, row.module), row.want);
    EXPECT_THAT(db_.entries, IsEmpty());
    char want_line[96];
    std::snprintf(want_line, sizeof want_line, "Nw: InitializeCardDb(): FindResource failed with 0x%x", row.want);
    EXPECT_THAT(log.Lines(), ElementsAre(want_line));
  }
}

TEST_F(InitializeCardDbTest, EmptyResourceIsAnEmptyDatabase) {
  platform::ResourceModule module = platform::ResourceModuleBuilder().Add("NW_DATA", 101, std::string()).Build();
  LogCapture log(kXLogWarning);
  EXPECT_EQ(InitializeCardDb(db_, module.handle()), 0u);
  EXPECT_THAT(db_.entries, IsEmpty());
  EXPECT_THAT(log.Lines(), IsEmpty());
}

TEST_F(InitializeCardDbTest, ReleaseEmptiesTheTable) {
  platform::ResourceModule module = platform::ResourceModuleBuilder().Add("NW_DATA", 101, Section("C")).Build();
  ASSERT_EQ(InitializeCardDb(db_, module.handle()), 0u);
  LogCapture log(kXLogInformation);
  EXPECT_EQ(ReleaseCardDb(db_), 0u);
  EXPECT_THAT(db_.entries, IsEmpty());
  EXPECT_THAT(log.Lines(), ElementsAre("Nw: Card information database released"));
}

// The database the program ships: one simulated card of each kind the
// program tells apart, each loading without a repair.
TEST_F(InitializeCardDbTest, ShippedDatabaseHoldsOneCardOfEachKind) {
  LogCapture log(kXLogWarning);
  ASSERT_EQ(InitializeCardDb(db_, nullptr), 0u);
  EXPECT_THAT(log.Lines(), IsEmpty());
  ASSERT_EQ(db_.entries.size(), 6u);

  std::set<std::u16string> vendors;
  for (const CardDbEntry& e : db_.entries) {
    EXPECT_TRUE(e.Supported) << platform::Utf16ToUtf8(e.Name);
    EXPECT_EQ(e.Bus, kCardBusUsb);
    ASSERT_TRUE(e.HardwareIds.starts_with(u"USB\\VID_")) << platform::Utf16ToUtf8(e.HardwareIds);
    vendors.insert(e.HardwareIds.substr(0, 12));
    if (e.ModemNames) {
      EXPECT_NE(e.ModemNames->find(e.HardwareIds.substr(4)), std::u16string::npos);
    }
  }
  EXPECT_EQ(vendors.size(), 6u);

  auto count = [&](auto predicate) {
    return std::count_if(db_.entries.begin(), db_.entries.end(), predicate);
  };
  auto has = [](const CardDbEntry& e, uint32_t flag) { return (e.DriverCapabilities & flag) != 0; };
  EXPECT_GE(count([&](const CardDbEntry& e) {
              return e.Model >= 0x800 && has(e, CardDriverCapabilitiesMultiplexing) &&
                     has(e, CardDriverCapabilitiesWwanNic) && has(e, CardDriverCapabilitiesWwanNdisPort) &&
                     !has(e, CardDriverCapabilitiesComposite);
            }),
            1);
  EXPECT_EQ(count([&](const CardDbEntry& e) {
              return !has(e, CardDriverCapabilitiesMultiplexing) && has(e, CardDriverCapabilitiesModem) &&
                     (e.WwanCapabilities == 0x3 || e.WwanCapabilities == 0x7);
            }),
            1);
  EXPECT_EQ(count([&](const CardDbEntry& e) {
              return e.Stack == 2 && has(e, CardDriverCapabilitiesTechnologySelection) && e.Model != 0xE00;
            }),
            1);
  EXPECT_EQ(count([](const CardDbEntry& e) { return e.Stack == 3; }), 1);
  EXPECT_EQ(count([](const CardDbEntry& e) { return e.Model == 0xE00 && e.Stack == 2; }), 1);
  EXPECT_EQ(count([&](const CardDbEntry& e) { return has(e, CardDriverCapabilitiesComposite); }), 1);
}

TEST(OsTypeTest, VersionRecordsMapToTheDatabaseForms) {
  struct Row {
    uint32_t platform_id, major, minor;
    NwOsType want;
    std::string_view os, group;
  };
  const std::vector<Row> rows = {
      {platform::kVerPlatformWin32Nt, 4, 0, kNwOsNt, "Nt", "Nt"},
      {platform::kVerPlatformWin32Nt, 5, 0, kNwOs2k, "2k", "Ad"},
      {platform::kVerPlatformWin32Nt, 5, 1, kNwOsXp, "Xp", "Ad"},
      {platform::kVerPlatformWin32Nt, 10, 0, kNwOsXp, "Xp", "Ad"},
      {platform::kVerPlatformWin32Windows, 4, 10, kNwOs98, "98", "Ga"},
      {platform::kVerPlatformWin32Windows, 4, 90, kNwOsMe, "Me", "Ga"},
      {platform::kVerPlatformWin32Windows, 4, 0, kNwOsUnknown, "", ""},
      {0, 10, 0, kNwOsUnknown, "", ""},
  };
  for (const Row& row : rows) {
    platform::OSVERSIONINFO info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwPlatformId = row.platform_id;
    info.dwMajorVersion = row.major;
    info.dwMinorVersion = row.minor;
    const NwOsType os = DetermineOsType(info);
    EXPECT_EQ(os, row.want) << row.major << "." << row.minor;
    EXPECT_EQ(OsIdentifier(os), row.os);
    EXPECT_EQ(OsGroupIdentifier(os), row.group);
  }
  // This platform reports the newest NT system.
  EXPECT_EQ(DetermineOsType(), kNwOsXp);
}

}  // namespace
