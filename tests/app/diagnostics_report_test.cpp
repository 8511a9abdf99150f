#include "app/diagnostics_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/cached_dravik.h"
#include "app/profile.h"
#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

// A ready card after a run, registered at home.
CachedDravikValues Ready() {
  CachedDravikValues v;
  v.DeviceState = CachedDravikValues::kDeviceReady;
  v.PinPukState = CachedDravikValues::kPinPukReady;
  v.CsNetworkState = 1;
  v.PsNetworkState = 1;
  v.SignalValue = 14;
  v.ExtendedSignalValue = 99;
  v.NetworkName = u"Kelvo";
  v.CurrentProfile = std::make_shared<CProfile>(1, u"", u"", u"web.kelvo");
  auto card = std::make_shared<NwCardInfo>();
  SetCardInfoText(card->AppPortName, u"\\\\.\\ttyUSB2");
  v.CardRecord = card;
  CDiagnostics& d = v.Diagnostics;
  d.DeviceName = u"Card 3G";
  d.SerialNumber = u"SN1";
  d.FirmwareVersion = u"FW1";
  d.HardwareVersion = u"HW1";
  d.Imei = u"3587";
  d.Iccid = u"8949";
  d.PhoneNumbers = u"+4917011;017022";
  d.NetworkSelectionMode = 0;
  d.PsAttached = 1;
  return v;
}

TEST(DiagnosticsReportTest, TheListAndItsTextForm) {
  EXPECT_EQ(Utf16ToUtf8(MakeDiagnosticsText(MakeDiagnosticsRows(Ready()))),
            "Hardware Test\r\n"
            "Card name: Card 3G\r\n"
            "Application port: ttyUSB2\r\n"
            "Card serial number: SN1\r\n"
            "Firmware version: FW1\r\n"
            "Hardware version: HW1\r\n"
            "IMEI number: 3587\r\n"
            "ICCID number: 8949\r\n"
            "Phone number(s): +4917011;017022\r\n"
            "Operational Test\r\n"
            "PIN code status: Ready\r\n"
            "Network name: Kelvo\r\n"
            "Network selection mode: Automatic\r\n"
            "Signal strength: 14,99\r\n"
            "Network settings\r\n"
            "CS network registration: Registered\r\n"
            "PS network registration: Registered\r\n"
            "PS network attachment: Attached\r\n"
            "APN(s): web.kelvo\r\n");
  const auto rows = MakeDiagnosticsRows(Ready());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].group, i == 0 || i == 9 || i == 14) << i;

  // Only a ready device has a list.
  for (const int state : {0, 1, 3}) {
    CachedDravikValues v = Ready();
    v.DeviceState = state;
    EXPECT_TRUE(MakeDiagnosticsRows(v).empty()) << state;
  }
}

TEST(DiagnosticsReportTest, ValueRules) {
  struct Case {
    const char* what;
    std::function<void(CachedDravikValues&)> change;
    size_t row;
    const char* value;
  };
  const Case cases[] = {
      {"no SIM", [](auto& v) { v.PinPukState = 0; }, 10, "Unknown"},
      {"PIN", [](auto& v) { v.PinPukState = 2; }, 10, "PIN required"},
      {"PUK", [](auto& v) { v.PinPukState = 3; }, 10, "PUK required"},
      {"first lock", [](auto& v) { v.PinPukState = 6; }, 10, "Device locked"},
      {"between", [](auto& v) { v.PinPukState = 4; }, 10, "n/a"},
      {"beyond the locks", [](auto& v) { v.PinPukState = 14; }, 10, "n/a"},
      {"manual", [](auto& v) { v.Diagnostics.NetworkSelectionMode = 1; }, 12, "Manual"},
      {"odd mode", [](auto& v) { v.Diagnostics.NetworkSelectionMode = 4; }, 12, "n/a"},
      // The signal counts while either domain is registered, at home or roaming.
      {"CS roaming only", [](auto& v) { v.PsNetworkState = 0, v.CsNetworkState = 5; }, 13, "14,99"},
      {"PS roaming only", [](auto& v) { v.CsNetworkState = 2, v.PsNetworkState = 5; }, 13, "14,99"},
      {"negative values", [](auto& v) { v.SignalValue = -1, v.ExtendedSignalValue = -5; }, 13, "-1,-5"},
      {"not registered", [](auto& v) { v.CsNetworkState = 0, v.PsNetworkState = 0; }, 13, "n/a"},
      {"CS 0", [](auto& v) { v.CsNetworkState = 0; }, 15, "Not registered"},
      {"CS 3", [](auto& v) { v.CsNetworkState = 3; }, 15, "Registration denied"},
      {"CS 5", [](auto& v) { v.CsNetworkState = 5; }, 15, "Roaming"},
      {"CS 6", [](auto& v) { v.CsNetworkState = 6; }, 15, "n/a"},
      {"CS -1", [](auto& v) { v.CsNetworkState = -1; }, 15, "n/a"},
      {"PS 5", [](auto& v) { v.PsNetworkState = 5; }, 16, "Roaming"},
      {"detached", [](auto& v) { v.Diagnostics.PsAttached = 0; }, 17, "Not attached"},
      {"attached, any nonzero", [](auto& v) { v.Diagnostics.PsAttached = 2; }, 17, "Attached"},
      {"no card record", [](auto& v) { v.CardRecord = nullptr; }, 2, ""},
      {"only backslashes and dots",
       [](auto& v) {
         auto card = std::make_shared<NwCardInfo>();
         SetCardInfoText(card->AppPortName, u"\\.\\.");
         v.CardRecord = card;
       },
       2, ""},
      {"inner dots stay",
       [](auto& v) {
         auto card = std::make_shared<NwCardInfo>();
         SetCardInfoText(card->AppPortName, u".\\dev\\tty.usb\\1");
         v.CardRecord = card;
       },
       2, "dev\\tty.usb\\1"},
      {"no profile", [](auto& v) { v.CurrentProfile = nullptr; }, 18, ""},
  };
  for (const Case& c : cases) {
    CachedDravikValues v = Ready();
    c.change(v);
    const auto rows = MakeDiagnosticsRows(v);
    ASSERT_EQ(rows.size(), 19u) << c.what;
    EXPECT_EQ(Utf16ToUtf8(rows[c.row].value), c.value) << c.what;
  }
}

TEST(DiagnosticsReportTest, TrafficRowsFollowWhileConnected) {
  CachedDravikValues v = Ready();
  v.ConnectionState = 2;
  v.Traffic.Valid = true;
  v.Traffic.BytesSent = 34567;
  v.Traffic.BytesReceived = 1234567;
  v.Traffic.SendRate = 2048;
  v.Traffic.ReceiveRate = 16384;
  v.Traffic.ConnectedSinceMs = 1000;
  v.Traffic.SampledAtMs = 1000 + 3723000;
  const std::u16string text = MakeDiagnosticsText(MakeDiagnosticsRows(v));
  EXPECT_EQ(Utf16ToUtf8(text.substr(MakeDiagnosticsText(MakeDiagnosticsRows(Ready())).size())),
            "Connection traffic\r\n"
            "Data sent: 34.6 kB\r\n"
            "Data received: 1.2 MB\r\n"
            "Sending rate: 2.0 kB/s\r\n"
            "Receiving rate: 16.4 kB/s\r\n"
            "Connection time: 1:02:03\r\n");
  EXPECT_TRUE(MakeDiagnosticsRows(v)[19].group);
  // Disconnecting: none.
  v.ConnectionState = 3;
  EXPECT_EQ(MakeDiagnosticsRows(v).size(), 19u);
}

TEST(DiagnosticsReportTest, FileBytes) {
  // UTF-16 little-endian, no byte-order mark, no terminating zero.
  EXPECT_EQ(DiagnosticsFileBytes(u"A\u00e9\u4e2d\r\n", false), std::string("A\0\xe9\0\x2d\x4e\r\0\n\0", 10));
  EXPECT_EQ(DiagnosticsFileBytes(u"", false), "");
  // A Japanese user interface: the locale's 8-bit text, UTF-8 here.
  EXPECT_EQ(DiagnosticsFileBytes(u"A\u4e2d\r\n", true), "A\xe4\xb8\xad\r\n");
}

TEST(DiagnosticsReportTest, SaveDialogTexts) {
  using Filters = std::vector<std::u16string>;
  EXPECT_EQ(SaveDialogFilters(u"Text files (*.txt)|*.txt|All files (*.*)|*.*||"),
            (Filters{u"Text files (*.txt)", u"All files (*.*)"}));
  // A description that does not name its pattern gets it; an odd part at
  // the end is dropped.
  EXPECT_EQ(SaveDialogFilters(u"Logs|*.log;*.txt|Odd"), (Filters{u"Logs (*.log;*.txt)"}));
  EXPECT_EQ(SaveDialogSuffix(u"*.txt"), u"txt");
  EXPECT_EQ(SaveDialogSuffix(u"*.*"), u"");
  EXPECT_EQ(SaveDialogSuffix(u"*."), u"");
}

}  // namespace
