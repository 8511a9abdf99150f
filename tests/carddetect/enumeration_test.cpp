#include "carddetect/enumeration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::CardSection;
using testing_support::IdNode;
using testing_support::LogCapture;

class EnumerationTest : public testing_support::DetectionFixture {};

TEST_F(EnumerationTest, LowestTableIndexWinsAcrossBuses) {
  tree_.Add(0, CardNode("PCMCIA", "PCMCIA\\VOMBEL-PC-7A1B"));
  tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
  const CardSection pc = CardSection{}.Named("PC").Bus("PCMCIA").Ids("PCMCIA\\VOMBEL-PC-7A1B");
  const CardSection usb = CardSection{}.Named("USB");
  for (const auto& [text, winner] : std::vector<std::pair<std::string, std::u16string>>{
           {usb.Text() + pc.Text(), u"USB"}, {pc.Text() + usb.Text(), u"PC"}}) {
    LoadDb(text);
    const auto match = DetectCard(state_.card_db.entries);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->index, 0);
    EXPECT_EQ(state_.card_db.entries[0].Name, winner);
    EXPECT_EQ(state_.card_db.entries[0].HardwareIds, match->first_hardware_id);
  }
}

TEST_F(EnumerationTest, PcCardAndUsbIdsMatchExactlyAndPciIdsByPrefix) {
  struct Row {
    std::string bus;
    std::string device_id;
    std::string entry_ids;
    bool matches;
  };
  const std::vector<Row> rows = {
      {"USB", "USB\\VID_1111&PID_0001", "usb\\vid_1111&pid_0001", true},
      {"USB", "USB\\VID_1111&PID_0001&REV_0100", "USB\\VID_1111&PID_0001", false},
      {"PCMCIA", "PCMCIA\\VOMBEL-CARD-1234", "PCMCIA\\VOMBEL-CARD", false},
      {"PCMCIA", "PCMCIA\\VOMBEL-CARD", "OTHER,PCMCIA\\VOMBEL-CARD", true},
      {"PCI", "PCI\\VEN_1111&DEV_0001&SUBSYS_00000000&REV_01", "pci\\ven_1111&dev_0001", true},
      {"PCI", "PCI\\VEN_1111&DEV_0002", "PCI\\VEN_1111&DEV_0001", false},
      {"PCI", "PCI\\VEN_1111", ",", false},  // empty items never match
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bus + " " + row.device_id + " / " + row.entry_ids);
    SimDeviceTree tree;
    platform::ScopedDeviceTree scoped(tree);
    tree.Add(0, CardNode(row.bus, row.device_id));
    LoadDb(CardSection{}.Bus(row.bus).Ids(row.entry_ids).Text());
    EXPECT_EQ(DetectCard(state_.card_db.entries).has_value(), row.matches);
  }
}

TEST_F(EnumerationTest, InactiveDeviceIsSkippedButLaterEntriesAreStillTried) {
  const auto inactive = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
  tree_.SetStatus(inactive, platform::DN_DRIVER_LOADED);  // not started
  const auto active = tree_.Add(0, CardNode("USB", "USB\\VID_2222&PID_0002"));
  LoadDb(CardSection{}.Named("First").Text() +
         CardSection{}.Named("Second").Ids("USB\\VID_2222&PID_0002,USB\\VID_1111&PID_0001").Text());
  LogCapture log;
  const auto match = HaveCard(kCardBusUsb, state_.card_db.entries);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->index, 1);
  EXPECT_EQ(match->node, active);
  EXPECT_EQ(log.Count("Nw: DevNode " + testing_support::Hex(inactive) + " status is 0x2, problem# is 0 (inactive)"),
            2u);
}

TEST_F(EnumerationTest, DevicesWithUnreadableHardwareIdsAreSkippedWithAWarning) {
  SimDeviceTree::Node dword = CardNode("USB", "x");
  dword.hardware_id->type = 4;  // REG_DWORD
  tree_.Add(0, dword);
  SimDeviceTree::Node none = CardNode("USB", "x");
  none.hardware_id.reset();
  tree_.Add(0, none);
  SimDeviceTree::Node sz = CardNode("USB", "");
  sz.hardware_id = SimDeviceTree::Sz("USB\\VID_1111&PID_0001");
  const auto good = tree_.Add(0, sz);
  LoadDb(CardSection{}.Text());
  LogCapture log(2);
  const auto match = HaveCard(kCardBusUsb, state_.card_db.entries);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->node, good);
  EXPECT_TRUE(log.Contains("Nw: HaveCard(): Unexpected property data type: 4"));
  EXPECT_TRUE(log.Contains("Nw: HaveCard(): Cannot get the device property, rc=0xd"));
}

TEST_F(EnumerationTest, DetectAnyCardFillsTheRecordFromTheEntry) {
  const auto card = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001", u"USB\\VID_1111&PID_0001\\5&1"));
  LoadDb(CardSection{}
             .Model("0x1000")
             .Family(5)
             .Stack(2)
             .DriverCap("0x81")
             .With("XpModemName=Modem")
             .With("XpModemDetect=0x2,0x2")
             .With("XpAppPortName=P")
             .With("XpAppPortDetect=0x1")
             .Text());
  state_.card_info.State = CardStateStarting;  // untouched by detection
  LogCapture log;
  ASSERT_TRUE(DetectAnyCard(state_));
  const NwCardInfo& info = state_.card_info;
  EXPECT_EQ(info.Model, 0x1000u);
  EXPECT_EQ(info.Family, 5);
  EXPECT_EQ(info.Stack, 2);
  EXPECT_EQ(info.DevNode, card);
  EXPECT_EQ(info.State, static_cast<uint32_t>(CardStateStarting));
  EXPECT_EQ(info.DriverCapabilities, 0x81u) << "Model 0x1000 learns about its port from its sub-devices";
  EXPECT_EQ(CardInfoText(info.DeviceInstanceId), u"USB\\VID_1111&PID_0001\\5&1");
  EXPECT_EQ(state_.detection.card_index, 0);
  EXPECT_EQ(state_.detection.first_hardware_id, u"USB\\VID_1111&PID_0001");
  EXPECT_EQ(state_.detection.modem_method, (DetectionMethod{2, 2}));
  EXPECT_EQ(state_.detection.app_port_method, (DetectionMethod{1, 0}));
  EXPECT_FALSE(state_.detection.subdevices_ready) << "a 0x1000 card without children is not ready";
  EXPECT_TRUE(log.Contains("Nw: Supported card Card detected with hardware ID [USB\\VID_1111&PID_0001] & devnode " +
                           testing_support::Hex(card)));
  EXPECT_EQ(log.Count("Nw: ------------------------------------------------------------------------------------------------------"),
            2u);
}

TEST_F(EnumerationTest, LaterModelsDoNotGetTheAppPortFlagFromDetection) {
  tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
  for (const auto& [model, app_port] : std::vector<std::pair<std::string, bool>>{
           {"0x100", true}, {"0x900", true}, {"0x901", false}, {"0xB00", false}, {"0x7FFF", false},
           {"0x8000", true}}) {
    SCOPED_TRACE(model);
    ResetCardInfo(state_);
    LoadDb(CardSection{}.Model(model).DriverCap("0x0").Text());
    ASSERT_TRUE(DetectAnyCard(state_));
    EXPECT_EQ((state_.card_info.DriverCapabilities & CardDriverCapabilitiesAppPort) != 0, app_port);
  }
}

TEST_F(EnumerationTest, ReplugNodeHidesOnlyRepluggedFamilyCards) {
  tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
  LoadDb(CardSection{}.Family(7).Text());
  state_.replug_node = 42;
  LogCapture log(2);
  EXPECT_FALSE(DetectAnyCard(state_));
  EXPECT_EQ(state_.replug_node, 42u);
  EXPECT_TRUE(log.Contains("Nw: Supported card Card is detected but it is ignored since it will be replugged"));

  LoadDb(CardSection{}.Family(5).Text());
  EXPECT_TRUE(DetectAnyCard(state_));
  EXPECT_EQ(state_.replug_node, 0u);

  state_.replug_node = 42;
  LoadDb(CardSection{}.Ids("USB\\OTHER").Text());
  EXPECT_FALSE(DetectAnyCard(state_));
  EXPECT_EQ(state_.replug_node, 0u) << "no card at all forgets the node";
}

TEST_F(EnumerationTest, SubdevicesReadyRules) {
  struct Row {
    const char* what;
    std::string model;
    std::vector<std::u16string> children;
    bool inactive_child;
    std::u16string mi00_class;  // ClassGUID of the MI_00 child
    bool ready;
  };
  const std::vector<Row> rows = {
      {"other models always", "0x100", {}, false, u"", true},
      {"no children", "0x1000", {}, false, u"", false},
      {"all active", "0x1000", {u"A", u"B"}, false, u"", true},
      {"one inactive", "0x1000", {u"A", u"B"}, true, u"", false},
      {"composite with network", "0x900", {u"USB\\VID_1&PID_2_FF_NET\\1"}, false, u"", true},
      {"composite with class", "0xA00", {u"USB\\VID_1&PID_2&MI_00\\1"}, false, u"{X}", true},
      {"composite without either", "0x900", {u"USB\\VID_1&PID_2&MI_00\\1"}, false, u"", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SimDeviceTree tree;
    platform::ScopedDeviceTree scoped(tree);
    const auto card = tree.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
    for (const std::u16string& id : row.children) {
      SimDeviceTree::Node child = IdNode(id);
      if (!row.mi00_class.empty()) child.enum_key[u"ClassGUID"] = row.mi00_class;
      const auto node = tree.Add(card, child);
      if (row.inactive_child && id == u"B") tree.SetStatus(node, platform::DN_DRIVER_LOADED | platform::DN_STARTED | platform::DN_HAS_PROBLEM, 10);
    }
    LoadDb(CardSection{}.Model(row.model).Text());
    Detected(0, card);
    EXPECT_EQ(AreSubdevicesReady(state_), row.ready);
  }
}

}  // namespace
