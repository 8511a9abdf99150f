#include "carddetect/subdevice_classification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::CardSection;
using testing_support::IdNode;
using testing_support::LogCapture;

class SubdeviceClassificationTest : public testing_support::DetectionFixture {};

struct Interface {
  std::u16string id;
  int depth;  // 1: below the card; 2: below the last interface of depth 1
};

constexpr std::u16string_view kMultifunction = u"{4D36E971-E325-11CE-BFC1-08002BE10318}";
constexpr std::u16string_view kModem = u"{4D36E96D-E325-11CE-BFC1-08002BE10318}";

TEST_F(SubdeviceClassificationTest, ModelRulesSetTheCapabilityFlags) {
  struct Row {
    const char* what;
    std::string model;
    int stack;
    uint32_t flags_before;
    std::vector<Interface> interfaces;
    std::u16string_view first_interface_class;  // ClassGUID of the "MI_00" interface
    uint32_t flags_after;
  };
  const std::vector<Row> rows = {
      {"0x800 modem child", "0x800", 2, 0x16, {{u"USB\\VLNOZ_MODEM\\1", 1}}, {}, 0x80},
      {"0x800 combined child", "0x800", 2, 0x0, {{u"USB\\VLNOZ_FF\\1", 1}}, {}, 0x86},
      {"network child, stack 2", "0x1000", 2, 0x80, {{u"USB\\VID_1&PID_2_FF_NET\\1", 1}}, {}, 0x16},
      {"network child, stack 1", "0x1000", 1, 0x80, {{u"USB\\VID_1&PID_2_FF_NET\\1", 1}}, {}, 0x06},
      {"app port flag survives", "0x1000", 1, 0x400, {{u"USB\\VID_1&PID_2_FF_SER\\1", 1}}, {}, 0x480},
      {"composite, deep markers",
       "0x1000",
       2,
       0x200,
       {{u"USB\\A_MDM\\1", 1}, {u"USB\\B\\1", 1}, {u"USB\\B_NET\\2", 2}, {u"USB\\B_APP\\3", 2}, {u"USB\\B_APL\\3", 2}},
       {},
       0x686},
      {"0x1800 has no NDIS port",
       "0x1800",
       2,
       0x0,
       {{u"USB\\X_MDM\\1", 1}, {u"USB\\X_NET\\1", 1}, {u"USB\\X_APL\\1", 1}},
       {},
       0x882},
      {"0x901 ports",
       "0x901",
       1,
       0x0,
       {{u"USB\\V_FF_SER\\1", 1}, {u"USB\\V_APP\\2", 1}, {u"USB\\V_APL\\3", 1}},
       {},
       0xC80},
      {"0x900 modem class", "0x900", 2, 0x16, {{u"USB\\VID_1&PID_2&MI_00\\1", 1}}, kModem, 0x80},
      {"0x900 multifunction class", "0x900", 2, 0x0, {{u"USB\\VID_1&PID_2&MI_00\\1", 1}}, kMultifunction, 0x96},
      {"0x900 other class", "0x900", 1, 0x80, {{u"USB\\VID_1&PID_2&MI_00\\1", 1}}, u"{X}", 0x06},
      {"0xA00 class unknown", "0xA00", 1, 0x0, {{u"USB\\VID_1&PID_2\\1", 1}}, {}, 0x86},
      {"other models untouched", "0x100", 2, 0x16, {{u"USB\\VLNOZ_MODEM\\1", 1}}, {}, 0x16},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SimDeviceTree tree;
    platform::ScopedDeviceTree scoped(tree);
    const auto card = tree.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
    platform::DEVINST last = card;
    for (const Interface& interface : row.interfaces) {
      SimDeviceTree::Node node = IdNode(interface.id);
      if (!row.first_interface_class.empty()) node.enum_key[u"ClassGUID"] = std::u16string(row.first_interface_class);
      const auto added = tree.Add(interface.depth == 1 ? card : last, node);
      if (interface.depth == 1) last = added;
    }
    ResetCardInfo(state_);
    LoadDb(CardSection{}.Model(row.model).Stack(row.stack).Text());
    Detected(0, card);
    state_.card_info.DriverCapabilities = row.flags_before;
    DetectAllSubdevices(state_);
    EXPECT_EQ(state_.card_info.DriverCapabilities, row.flags_after)
        << std::hex << state_.card_info.DriverCapabilities << " instead of " << row.flags_after;
    EXPECT_EQ(state_.detection.subdevices_classified, row.model != "0x100");
  }
}

TEST_F(SubdeviceClassificationTest, OutcomeIsLogged) {
  const auto card = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
  tree_.Add(card, IdNode(u"USB\\X\\1"));
  LoadDb(CardSection{}.Model("0xA00").Text());
  Detected(0, card);
  LogCapture log;
  DetectAllSubdevices(state_);
  EXPECT_TRUE(log.Contains(
      "Nw: DetectAllSubdevices(): Could not query Tovalk/Merrox's ClassGUID, assuming both modem & WWAN NIC... (2)"));
  EXPECT_TRUE(log.Contains("Nw: This card has a modem device and has a WWAN NIC device"));

  LoadDb(CardSection{}.Model("0xB00").Text());
  Detected(0, card);
  log.Clear();
  DetectAllSubdevices(state_);
  EXPECT_TRUE(log.Contains("Nw: This card has NO modem device and has NO WWAN NIC device"));
  EXPECT_TRUE(log.Contains("Nw: This card has NO primary application port"));
  EXPECT_TRUE(log.Contains("Nw: This card has NO secondary application port"));
}

}  // namespace
