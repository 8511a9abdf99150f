#include "app/status_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cached_dravik.h"
#include "app/settings.h"
#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

// A ready card with the radio on and nothing else going on.
StatusInputs Idle() {
  StatusInputs in;
  in.device_state = CachedDravikValues::kDeviceReady;
  in.radio_state = 1;
  in.pin_puk_state = CachedDravikValues::kPinPukReady;
  in.network_name = u"Kelvo";
  return in;
}

TEST(StatusTextsTest, StateTextAndWarningMark) {
  struct Row {
    const char* what;
    int connection;
    int ps;
    int cs;
    const char16_t* name;
    bool roaming_aware;
    const char* text;
    bool warning;
  };
  const Row rows[] = {
      {"connecting", 1, 1, 1, u"Kelvo", true, "Connecting...", false},
      {"connected", 2, 1, 1, u"Kelvo", true, "Connected to Kelvo", false},
      {"connected, no name", 2, 1, 1, u"", true, "", false},
      {"disconnecting", 3, 1, 1, u"Kelvo", true, "Disconnecting...", false},
      {"home", 0, 1, 0, u"Kelvo", true, "Registered to Kelvo", false},
      {"home, no name", 0, 1, 0, u"", true, "", false},
      {"roaming, aware", 0, 5, 0, u"Kelvo", true, "Roaming to Kelvo", true},
      {"roaming, not aware", 0, 5, 0, u"Kelvo", false, "Roaming to Kelvo", false},
      {"roaming, no name", 0, 5, 0, u"", true, "", true},
      {"CS roaming", 0, 0, 5, u"Kelvo", true, "Roaming to Kelvo", true},
      {"searching", 0, 2, 0, u"Kelvo", true, "Searching for network...", false},
      {"denied", 0, 3, 1, u"Kelvo", true, "Registration denied", false},
      {"PS unknown, CS home", 0, 4, 1, u"Kelvo", true, "Registered to Kelvo", false},
      {"PS searching before CS home", 0, 2, 1, u"Kelvo", true, "Searching for network...", false},
      {"CS searching", 0, 0, 2, u"Kelvo", true, "Searching for network...", false},
      {"unknown both", 0, 4, 4, u"Kelvo", true, "No network", false},
      {"name is data", 2, 1, 1, u"%s %d %n%%", true, "Connected to %s %d %n%%", false},
  };
  for (const Row& row : rows) {
    StatusInputs in = Idle();
    in.connection_state = row.connection;
    in.ps_state = row.ps;
    in.cs_state = row.cs;
    in.network_name = row.name;
    in.roaming_aware = row.roaming_aware;
    const StateText got = MakeStateText(in);
    EXPECT_EQ(Utf16ToUtf8(got.text), row.text) << row.what;
    EXPECT_EQ(got.warning, row.warning) << row.what;
  }
}

TEST(StatusTextsTest, DeviceTextWhenNotRegistered) {
  struct Row {
    int device;
    int radio;
    int pin_puk;
    const char* text;
    bool warning;
  };
  const Row rows[] = {
      {0, 0, 0, "Device not found", true},
      {1, 0, 0, "Device found, wait while initializing...", false},
      {2, 0, 1, "Radio is OFF", false},
      {2, 1, 1, "No network", false},
      {3, 1, 0, "Failed to initialize", true},
      {2, 1, 2, "No network", false},  // PIN asked: not a lock
      {2, 1, 5, "No network", false},
      {2, 1, 14, "No network", false},
      {1, 0, 5, "Device found, wait while initializing...", false},
  };
  for (const Row& row : rows) {
    StatusInputs in = Idle();
    in.device_state = row.device;
    in.radio_state = row.radio;
    in.pin_puk_state = row.pin_puk;
    const StateText got = MakeStateText(in);
    EXPECT_EQ(Utf16ToUtf8(got.text), row.text) << "device " << row.device << " radio " << row.radio << " pin "
                                                << row.pin_puk;
    EXPECT_EQ(got.warning, row.warning) << "device " << row.device << " pin " << row.pin_puk;
  }
}

TEST(StatusTextsTest, DeviceLockOverridesEveryDeviceState) {
  for (int pin_puk = 6; pin_puk <= 13; ++pin_puk) {
    for (int device = 0; device <= 3; ++device) {
      StatusInputs in = Idle();
      in.device_state = device;
      in.pin_puk_state = pin_puk;
      const StateText got = MakeStateText(in);
      EXPECT_EQ(Utf16ToUtf8(got.text), "Device locked") << "pin " << pin_puk << " device " << device;
      EXPECT_TRUE(got.warning) << "pin " << pin_puk << " device " << device;
    }
  }
  // A registration or a connection still tells its own state.
  StatusInputs in = Idle();
  in.pin_puk_state = 7;
  in.ps_state = 1;
  EXPECT_EQ(Utf16ToUtf8(MakeStateText(in).text), "Registered to Kelvo");
}

TEST(StatusTextsTest, PaneTechnologyAndTooltipLine) {
  struct Row {
    bool edge;
    bool hsdpa;
    int ps;
    int cs;
    int type;
    const char* pane;
    const char* tooltip;
  };
  const Row rows[] = {
      {true, true, 1, 1, 2, "EDGE", "EDGE"},
      {false, true, 1, 1, 2, "HSDPA", "HSDPA"},
      {true, false, 0, 0, 0, "EDGE", "EDGE"},
      {false, false, 1, 0, 1, "GPRS", "GPRS"},
      {false, false, 5, 1, 2, "UMTS", "UMTS"},
      {false, false, 1, 1, 0, "", ""},          // PS registered, no type: not GSM
      {false, false, 0, 1, 0, "GSM", "GSM"},
      {false, false, 2, 5, 0, "GSM", "GSM"},
      {false, false, 0, 1, 2, "GSM", "UMTS"},   // the tooltip looks at the type first
      {false, false, 0, 0, 1, "", "GPRS"},
      {false, false, 0, 0, 0, "", ""},
      {false, false, 3, 2, 0, "", ""},
      // A standard card's LTE and 5G networks.
      {false, false, 1, 1, 3, "LTE", "LTE"},
      {false, false, 5, 0, 4, "5G", "5G"},
      {false, false, 0, 1, 3, "GSM", "LTE"},
  };
  for (const Row& row : rows) {
    StatusInputs in = Idle();
    in.edge = row.edge;
    in.hsdpa = row.hsdpa;
    in.ps_state = row.ps;
    in.cs_state = row.cs;
    in.network_type = row.type;
    EXPECT_EQ(Utf16ToUtf8(MakePaneTechnologyText(in)), row.pane)
        << "ps " << row.ps << " cs " << row.cs << " type " << row.type;
    EXPECT_EQ(Utf16ToUtf8(MakeTooltipTechnologyLine(in)), row.tooltip)
        << "ps " << row.ps << " cs " << row.cs << " type " << row.type;
  }
}

// The panes as "kind id tooltip-or-text" lines, to compare whole lists.
std::vector<std::string> Describe(const std::vector<StatusPane>& panes) {
  std::vector<std::string> lines;
  for (const StatusPane& pane : panes) {
    std::string line;
    switch (pane.kind) {
      case StatusPaneKind::kState:
        line = "state:" + Utf16ToUtf8(pane.text) + (pane.warning ? " !" : "");
        break;
      case StatusPaneKind::kForeignConnection:
        line = "foreign " + std::to_string(pane.id) + ":" + Utf16ToUtf8(pane.tooltip);
        break;
      case StatusPaneKind::kSignal:
        line = "signal " + std::to_string(pane.id) + " icon " + std::to_string(pane.icon) + ":" +
               Utf16ToUtf8(pane.tooltip);
        break;
      case StatusPaneKind::kSms:
        line = "sms " + std::to_string(pane.id) + ":" + Utf16ToUtf8(pane.tooltip);
        break;
      case StatusPaneKind::kTechnology:
        line = "technology:" + Utf16ToUtf8(pane.text);
        break;
    }
    lines.push_back(line);
  }
  return lines;
}

TEST(StatusTextsTest, PanesInOrderAndOnlyThoseThatApply) {
  StatusInputs all = Idle();
  all.ps_state = 1;
  all.network_type = 2;
  all.signal_value = 12;
  all.foreign_connection_friendly = false;
  all.active_connections = 1;
  all.sms_icon = SmsIconState::kNewMessage;

  struct Row {
    const char* what;
    StatusInputs in;
    std::vector<std::string> panes;
  };
  const std::string foreign =
      "foreign 57350:The application cannot establish a connection if there are other connections.";
  const std::string signal = "signal 57351 icon 4:Very good signal";
  const std::string sms = "sms 200:You have new SMS message(s)";
  std::vector<Row> rows;
  rows.push_back({"every pane", all, {"state:Registered to Kelvo", foreign, signal, sms, "technology:UMTS"}});
  {
    StatusInputs in = all;
    in.foreign_connection_friendly = true;
    rows.push_back({"friendly mode", in, {"state:Registered to Kelvo", signal, sms, "technology:UMTS"}});
  }
  {
    StatusInputs in = all;
    in.active_connections = 0;
    rows.push_back({"no other connection", in, {"state:Registered to Kelvo", signal, sms, "technology:UMTS"}});
  }
  {
    StatusInputs in = all;
    in.connection_state = 2;  // the one connection is ours
    rows.push_back({"own connection", in, {"state:Connected to Kelvo", signal, sms, "technology:UMTS"}});
  }
  {
    StatusInputs in = all;
    in.ps_state = 0;
    in.cs_state = 1;
    rows.push_back({"CS only", in, {"state:Registered to Kelvo", signal, sms, "technology:GSM"}});
  }
  {
    StatusInputs in = all;
    in.sms_icon = SmsIconState::kStorageFull;
    in.ps_state = 5;
    const std::string full = "sms 200:SIM SMS storage is full";
    rows.push_back({"roaming, SIM full", in, {"state:Roaming to Kelvo !", foreign, signal, full, "technology:UMTS"}});
  }
  {
    StatusInputs in = all;
    in.ps_state = 0;
    in.network_type = 0;
    in.sms_icon = SmsIconState::kHidden;
    rows.push_back({"not registered", in, {"state:No network"}});
  }
  {
    StatusInputs in = Idle();
    in.device_state = CachedDravikValues::kDeviceNotPresent;
    rows.push_back({"no device", in, {"state:Device not found !"}});
  }
  for (const Row& row : rows) EXPECT_EQ(Describe(MakeStatusPanes(row.in)), row.panes) << row.what;
}

TEST(StatusTextsTest, SignalPaneAndTooltipUseTheEffectiveMode) {
  StatusInputs in = Idle();
  in.ps_state = 1;
  in.signal_value = 4;
  in.signal_strength_mode = CSettings::kSignalWcdma4Bars;
  in.wcdma_signal_supported = false;
  EXPECT_EQ(Describe(MakeStatusPanes(in))[1], "signal 57351 icon 1:Very low signal");
  in.wcdma_signal_supported = true;
  EXPECT_EQ(Describe(MakeStatusPanes(in))[1], "signal 57351 icon 4:Excellent signal");
  in.signal_value = 99;
  EXPECT_EQ(Describe(MakeStatusPanes(in))[1], "signal 57351 icon 0:No signal");
}

TEST(StatusTextsTest, TooltipText) {
  struct Row {
    const char* what;
    int ps;
    int cs;
    int type;
    int device;
    int value;
    const char* text;
  };
  const Row rows[] = {
      {"registered", 1, 0, 2, 2, 12, "Registered to Kelvo\nUMTS\nVery good signal"},
      {"CS only", 0, 1, 0, 2, 17, "Registered to Kelvo\nGSM\nExcellent signal"},
      {"PS without type", 1, 1, 0, 2, 2, "Registered to Kelvo\nNo signal"},
      {"type while searching", 2, 0, 1, 2, 31, "Searching for network...\nGPRS"},
      {"no device", 0, 0, 0, 0, 31, "Device not found"},
  };
  for (const Row& row : rows) {
    StatusInputs in = Idle();
    in.ps_state = row.ps;
    in.cs_state = row.cs;
    in.network_type = row.type;
    in.device_state = row.device;
    in.signal_value = row.value;
    EXPECT_EQ(Utf16ToUtf8(MakeTooltipText(in)), row.text) << row.what;
  }
}

// Only the first "%s" of the table's text is the name's place; a missing
// string leaves an empty text rather than a stray placeholder.
TEST(StatusTextsTest, SubstitutionAndMissingStrings) {
  const StringLoader table = [](unsigned id) -> std::u16string {
    return id == 113 ? u"%s: connected (%s)" : u"";
  };
  StatusInputs in = Idle();
  in.connection_state = 2;
  in.network_name = u"%s";
  EXPECT_EQ(Utf16ToUtf8(MakeStateText(in, table).text), "%s: connected (%s)");
  in.network_name = u"Kelvo";
  EXPECT_EQ(Utf16ToUtf8(MakeStateText(in, table).text), "Kelvo: connected (%s)");

  const StringLoader empty = [](unsigned) { return std::u16string(); };
  in.ps_state = 1;
  in.network_type = 2;
  in.foreign_connection_friendly = false;
  in.connection_state = 0;
  in.active_connections = 3;
  EXPECT_EQ(MakeTooltipText(in, empty), u"\n");  // the signal line, empty
  EXPECT_EQ(MakeStatusPanes(in, empty).size(), 3u);  // state, foreign, signal; no empty technology pane
}

// The cache's and the settings' numbers as flags, and the signal mode's
// fall-back from the cache's WCDMA support.
TEST(StatusTextsTest, InputsFromTheCacheAndSettings) {
  CachedDravikValues cache;
  cache.EdgeState = 2;
  cache.WcdmaSignalSupported = 1;
  CSettings settings;
  settings.RoamingAware = 0;
  settings.ForeignConnectionFriendlyMode = 3;
  settings.SignalStrengthMode = CSettings::kSignalWcdma5Bars;
  const StatusInputs in = StatusInputs::From(cache, settings, SmsIconState::kStorageFull, 2);
  EXPECT_TRUE(in.edge);
  EXPECT_FALSE(in.hsdpa);
  EXPECT_FALSE(in.roaming_aware);
  EXPECT_TRUE(in.foreign_connection_friendly);
  EXPECT_EQ(in.SignalMode(), CSettings::kSignalWcdma5Bars);
  cache.WcdmaSignalSupported = 0;
  EXPECT_EQ(StatusInputs::From(cache, settings, SmsIconState::kHidden, 0).SignalMode(),
            CSettings::kSignalStandard5Bars);
}

}  // namespace
