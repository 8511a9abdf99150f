#include "carddetect/subdevices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pty.h"
#include "platform/serial_port.h"
#include "platform/win32_error.h"
#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::CardSection;
using testing_support::LogCapture;
using testing_support::SerialNode;

class SubdevicesTest : public testing_support::DetectionFixture {
 protected:
  void Card(const CardSection& section) {
    LoadDb(section.Text());
    Detected(0, card_);
  }

  platform::DEVINST card_ = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
};

TEST_F(SubdevicesTest, ModemPortIsTheApplicationPortOnlyWithoutMultiplexing) {
  const auto modem = tree_.Add(card_, SerialNode(platform::kDeviceClassModem, "Card Modem", u"ttyUSB0"));
  Card(CardSection{}.With("XpModemName=Card Modem"));
  ASSERT_TRUE(DetectModem(state_));
  EXPECT_EQ(CardInfoText(state_.card_info.ModemName), u"Card Modem");
  EXPECT_EQ(CardInfoText(state_.card_info.AppPortName), u"\\\\.\\ttyUSB0");
  EXPECT_EQ(state_.detection.modem_node, modem);

  ResetCardInfo(state_);
  Card(CardSection{}.DriverCap("0x81").With("XpModemName=Card Modem").With("XpAppPortName=AT").With(
      "XpAppPortDetect=0x1"));
  SetCardInfoText(state_.card_info.AppPortName, u"stale");
  ASSERT_TRUE(DetectModem(state_));
  EXPECT_EQ(CardInfoText(state_.card_info.AppPortName), u"");

  // A modem without a port cannot carry the AT commands of a card without
  // an application port.
  ResetCardInfo(state_);
  tree_.Update(modem, [](SimDeviceTree::Node& node) { (*node.device_key)[u"PortName"] = u""; });
  Card(CardSection{}.With("XpModemName=Card Modem"));
  LogCapture log(2);
  EXPECT_FALSE(DetectModem(state_));
  EXPECT_TRUE(log.Contains(
      "Nw: DetectModem: Inconsistent state, a valid modem found but its modem name or port name is empty - skipping it"));
  EXPECT_EQ(state_.detection.modem_node, 0u);
}

TEST_F(SubdevicesTest, ApplicationPortFollowsItsDetectionMethod) {
  tree_.Add(card_, SerialNode(platform::kDeviceClassPorts, "Card AT Port", u"ttyUSB2"));
  platform::PseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  tree_.AddDeviceName(u"\\\\.\\VLATP3", pty.SlavePath());
  struct Row {
    uint32_t method;
    std::u16string names;
    bool found;
    std::u16string port;
  };
  const std::vector<Row> rows = {
      {0, u"Card AT Port", false, u""},
      {1, u"Card AT Port", true, u"\\\\.\\ttyUSB2"},
      {2, u"Card AT Port", true, u"\\\\.\\ttyUSB2"},
      {3, u"\\\\.\\VLNONE%d,\\\\.\\VLATP%d", true, u"\\\\.\\VLATP3"},
      {4, u"\\\\.\\VLATP%d", true, u"\\\\.\\VLATP3"},
      {4, u"\\\\.\\VLNONE%d", false, u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    ResetCardInfo(state_);
    Card(CardSection{});
    state_.card_db.entries[0].AppPortNames = row.names;
    state_.detection.app_port_method = {row.method, 0};
    EXPECT_EQ(DetectAppPort(state_), row.found);
    EXPECT_EQ(CardInfoText(state_.card_info.AppPortName), row.port);
  }
}

TEST_F(SubdevicesTest, SecondaryAndDebugPortsAreSearchedOnlyByName) {
  const auto app2 = tree_.Add(card_, SerialNode(platform::kDeviceClassPorts, "Card App2", u"ttyUSB3"));
  tree_.Add(card_, SerialNode(platform::kDeviceClassPorts, "Card Diag", u"ttyUSB1"));
  Card(CardSection{}.With("XpApp2PortName=App2").With("XpDbgPortName=Diag"));
  state_.detection.app2_port_method = {3, 0};
  state_.detection.dbg_port_method = {0, 0};
  EXPECT_FALSE(DetectDefaultApp2Port(state_));
  EXPECT_FALSE(DetectDefaultDbgPort(state_));
  state_.detection.app2_port_method = {2, 0x40};
  state_.detection.dbg_port_method = {1, 0};
  ASSERT_TRUE(DetectDefaultApp2Port(state_));
  ASSERT_TRUE(DetectDefaultDbgPort(state_));
  EXPECT_EQ(CardInfoText(state_.card_info.App2PortName), u"\\\\.\\ttyUSB3");
  EXPECT_EQ(CardInfoText(state_.card_info.DbgPortName), u"\\\\.\\ttyUSB1");
  EXPECT_EQ(state_.detection.app2_port_node, app2);
}

TEST_F(SubdevicesTest, FinalPortHeldByAnotherProgramCountsAsVerified) {
  platform::PseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  tree_.AddDeviceName(u"\\\\.\\ttyVOMBEL0", pty.SlavePath());
  platform::SerialPort other_program;

  struct Row {
    const char* what;
    std::u16string port;
    bool hold;
    bool verified;
    std::string line;
  };
  const std::vector<Row> rows = {
      {"free", u"\\\\.\\ttyVOMBEL0", false, true, "Nw: Final port could be opened successfully"},
      {"held", u"\\\\.\\ttyVOMBEL0", true, true,
       "Nw: Final port is kept open by another application, supposing card is o.k."},
      {"missing", u"\\\\.\\ttyVOMBEL9", false, false, "Nw: Final port could not be opened (err=0x2)!"},
      {"unknown", u"", false, false, "Nw: Final port could not be opened (err=0x2)!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.hold) {
      ASSERT_TRUE(other_program.Open(pty.SlavePath())) << platform::GetLastError();
    }
    state_.detection.final_port_verified = false;
    SetCardInfoText(state_.card_info.AppPortName, row.port);
    LogCapture log;
    EXPECT_EQ(TestFinalPort(state_), row.verified);
    EXPECT_EQ(state_.detection.final_port_verified, row.verified);
    EXPECT_TRUE(log.Contains(row.line));
    other_program.Close();
  }
}

}  // namespace
