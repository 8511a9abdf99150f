#include "carddetect/subdevice_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::IdNode;
using testing_support::LogCapture;
using testing_support::NetNode;
using testing_support::ReaderNode;
using testing_support::SerialNode;

class SubdeviceSearchTest : public testing_support::DetectionFixture {
 protected:
  platform::DEVINST card_ = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
};

TEST_F(SubdeviceSearchTest, FriendlyNamesMatchCaseSensitivelyOverTheFirst64Characters) {
  const auto modem = tree_.Add(card_, SerialNode(platform::kDeviceClassModem, "Vombel HSPA Modem #2", u"ttyUSB0"));
  struct Row {
    std::u16string names;
    bool found;
  };
  const std::vector<Row> rows = {
      {u"HSPA Modem", true},
      {u"hspa modem", false},
      {u"Other,HSPA Modem", true},
      {u",", false},  // an empty item would be inside every name
      {u"HSPA Modem" + std::u16string(54, u'x') + u"ignored", false},
  };
  for (const Row& row : rows) {
    const auto match = HaveModem(row.names, card_, true);
    EXPECT_EQ(match.has_value(), row.found);
    if (match) {
      EXPECT_EQ(match->friendly_name, u"Vombel HSPA Modem #2");
      EXPECT_EQ(match->port_name, u"\\\\.\\ttyUSB0");
      EXPECT_EQ(match->node, modem);
    }
  }
  // Only the first 64 characters of a listed name count.
  const std::string long_name = "Vombel " + std::string(57, 'L');
  const auto second = tree_.Add(card_, SerialNode(platform::kDeviceClassModem, long_name, u"ttyUSB1"));
  const auto cut = HaveModem(platform::Utf8ToUtf16(long_name) + u" and more text", card_, false);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->node, second);
  EXPECT_TRUE(cut->port_name.empty()) << "not asked for";

  LogCapture log;
  EXPECT_FALSE(HaveModem(std::nullopt, card_, false));
  EXPECT_TRUE(log.Contains("Nw: Searching for modem [<NULL>] with parent " + testing_support::Hex(card_)));
  EXPECT_FALSE(HaveModem(u"Nothing", card_, false));
  EXPECT_TRUE(log.Contains("Nw: Checking modem #0 [Vombel HSPA Modem #2]"));
  EXPECT_TRUE(log.Contains("Nw: Modem not found!"));
}

TEST_F(SubdeviceSearchTest, PortsUpToThreeLevelsBelowTheCardBelongToIt) {
  for (int depth = 1; depth <= 4; ++depth) {
    SCOPED_TRACE(depth);
    SimDeviceTree tree;
    platform::ScopedDeviceTree scoped(tree);
    const auto card = tree.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
    platform::DEVINST parent = card;
    for (int level = 1; level < depth; ++level) parent = tree.Add(parent, IdNode(u"LEVEL"));
    tree.Add(parent, SerialNode(platform::kDeviceClassPorts, "AT Port", u"ttyUSB2"));
    EXPECT_EQ(HavePort(u"AT Port", card).has_value(), depth <= 3);
  }
  // The card node itself, and a port of another card, for completeness.
  const auto own = tree_.Add(0, SerialNode(platform::kDeviceClassPorts, "AT Port", u"ttyS0"));
  EXPECT_FALSE(HavePort(u"AT Port", card_));
  EXPECT_TRUE(HavePort(u"AT Port", own));
}

TEST_F(SubdeviceSearchTest, InactiveAndBrokenDevicesAreSkippedAndTheSearchGoesOn) {
  const auto stopped = tree_.Add(card_, SerialNode(platform::kDeviceClassPorts, "AT Port 1", u"ttyUSB1"));
  tree_.SetStatus(stopped, platform::DN_DRIVER_LOADED);
  SimDeviceTree::Node wrong_type = SerialNode(platform::kDeviceClassPorts, "AT Port 2", u"ttyUSB2");
  wrong_type.friendly_name->type = 7;  // REG_MULTI_SZ is no friendly name
  tree_.Add(card_, wrong_type);
  SimDeviceTree::Node no_port = SerialNode(platform::kDeviceClassPorts, "AT Port 3", u"");
  no_port.device_key->clear();
  tree_.Add(card_, no_port);
  const auto good = tree_.Add(card_, SerialNode(platform::kDeviceClassPorts, "AT Port 4", u"ttyUSB4"));

  LogCapture log;
  const auto match = HavePort(u"AT Port", card_);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->node, good);
  EXPECT_EQ(match->port_name, u"\\\\.\\ttyUSB4");
  EXPECT_TRUE(log.Contains("Nw: HavePort(): Unexpected property data type: 7"));
  EXPECT_TRUE(log.Contains("Nw: HavePort(): Could not find \"PortName\" regkey, rc=0x2"));

  // A key that cannot be opened at all ends the search.
  tree_.Update(good, [](SimDeviceTree::Node& node) { node.device_key.reset(); });
  EXPECT_FALSE(HavePort(u"AT Port 4", card_));
  EXPECT_TRUE(log.Contains("Nw: HavePort(): Invalid HKEY returned for the port registry path (0x2)"));

  tree_.FailCall(SimDeviceTree::Call::PresentDevices, 0, 13);
  EXPECT_FALSE(HavePort(u"AT Port", card_));
  EXPECT_TRUE(log.Contains("Nw: No ports detected, rc=0xd"));
}

TEST_F(SubdeviceSearchTest, NetAdapterAndReaderSearchReadTheirOwnProperties) {
  const auto nic = tree_.Add(card_, NetNode("Vombel WWAN Adapter", u"{1234}"));
  const auto reader = tree_.Add(card_, ReaderNode("Vombel Smart Card Reader"));
  tree_.SetStatus(reader, platform::DN_HAS_PROBLEM, platform::CM_PROB_NOT_CONFIGURED);

  const auto adapter = HaveNetAdapter(u"WWAN Adapter", card_);
  ASSERT_TRUE(adapter);
  EXPECT_EQ(adapter->node, nic);
  EXPECT_EQ(adapter->description, u"Vombel WWAN Adapter");
  EXPECT_EQ(adapter->net_cfg_instance_id, u"{1234}");

  LogCapture log;
  EXPECT_FALSE(HaveSmartCardReader(u"Smart Card", card_, true));
  EXPECT_TRUE(log.Contains("Smart card reader not found!"));
  const auto found = HaveSmartCardReader(u"Smart Card", card_, false);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->node, reader);
  EXPECT_TRUE(log.Contains("(without checking state)"));
}

}  // namespace
