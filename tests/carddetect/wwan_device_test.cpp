#include "carddetect/wwan_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32_error.h"
#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::CardSection;
using testing_support::LogCapture;
using testing_support::NetNode;

// A driver control device that answers the NetCfgInstanceId request with
// `id` (UTF-16LE), or fails it when `id` is empty.
SimDeviceTree::IoControlHandler NdisDriver(std::u16string id) {
  return [id](uint32_t code, std::span<const uint8_t>, std::span<uint8_t> out, uint32_t& written) {
    if (code != kIoctlQueryNetCfgInstanceId || id.empty()) return platform::kErrorInvalidFunction;
    size_t at = 0;
    for (char16_t unit : id) {
      if (at + 2 > out.size()) break;
      out[at++] = static_cast<uint8_t>(unit & 0xFF);
      out[at++] = static_cast<uint8_t>(unit >> 8);
    }
    written = static_cast<uint32_t>(at);
    return platform::kErrorSuccess;
  };
}

class WwanDeviceTest : public testing_support::DetectionFixture {
 protected:
  void Card(const std::string& model, int family) {
    LoadDb(CardSection{}
               .Model(model)
               .Family(family)
               .DriverCap("0x6")
               .With("WwanNicName=WWAN")
               .With("XpWwanNdisPortName=\\\\.\\VLNDIS%d")
               .With("XpWwanNdisPortDetect=0x1")
               .Text());
    Detected(0, card_);
  }

  platform::DEVINST card_ = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
  platform::DEVINST nic_ = tree_.Add(card_, NetNode("Vombel WWAN", u"{B0000000-0000-0000-0000-000000000002}"));
};

TEST_F(WwanDeviceTest, NdisPortIsTheDeviceThatNamesTheAdapter) {
  tree_.AddVirtualDevice(u"\\\\.\\VLNDIS0", NdisDriver(u"{A0000000-0000-0000-0000-000000000001}"));
  tree_.AddVirtualDevice(u"\\\\.\\VLNDIS1", NdisDriver(u"{B0000000-0000-0000-0000-000000000002}"));
  Card("0x1000", 5);
  LogCapture log;
  ASSERT_TRUE(DetectWwanDevice(state_));
  const NwCardInfo& info = state_.card_info;
  EXPECT_EQ(CardInfoText(info.WwanNicName), u"Vombel WWAN");
  EXPECT_EQ(CardInfoText(info.NetCfgInstanceId), u"{B0000000-0000-0000-0000-000000000002}");
  EXPECT_EQ(state_.detection.wwan_nic_node, nic_);
  EXPECT_EQ(CardInfoText(info.WwanNdisPortName), u"\\\\.\\VLNDIS1");
  EXPECT_TRUE(info.DriverCapabilities & CardDriverCapabilitiesWwanNdisPort);
  EXPECT_TRUE(log.Contains("Nw: Corresponding WWAN NDIS port found under \\\\.\\VLNDIS1"));
}

TEST_F(WwanDeviceTest, OldDriverThatCannotAnswerMeansDeviceZero) {
  // Number 0 is missing; the first device that exists fails the request.
  tree_.AddVirtualDevice(u"\\\\.\\VLNDIS1", NdisDriver(u""));
  tree_.AddVirtualDevice(u"\\\\.\\VLNDIS2", NdisDriver(u"{B0000000-0000-0000-0000-000000000002}"));
  Card("0x1000", 5);
  LogCapture log(2);
  ASSERT_TRUE(DetectWwanDevice(state_));
  EXPECT_EQ(CardInfoText(state_.card_info.WwanNdisPortName), u"\\\\.\\VLNDIS0");
  EXPECT_TRUE(log.Contains(
      "Nw: VLNDISx NetCfgInstanceId could not be queried (rc=0x1), old driver? Assuming \\\\.\\VLNDIS0 as WWAN NDIS port name."));
}

TEST_F(WwanDeviceTest, WithoutAMatchingDeviceTheNdisFlagIsDropped) {
  struct Row {
    const char* what;
    std::string model;
    int family;
  };
  const std::vector<Row> rows = {
      {"no device names the adapter", "0x1000", 5},
      {"family and model without an NDIS port", "0x800", 4},
      {"model beyond the searched range", "0x8000", 5},
  };
  tree_.AddVirtualDevice(u"\\\\.\\VLNDIS0", NdisDriver(u"{A0000000-0000-0000-0000-000000000001}"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ResetCardInfo(state_);
    Card(row.model, row.family);
    LogCapture log(3);
    ASSERT_TRUE(DetectWwanDevice(state_)) << "the adapter itself is found";
    EXPECT_EQ(CardInfoText(state_.card_info.WwanNdisPortName), u"");
    EXPECT_FALSE(state_.card_info.DriverCapabilities & CardDriverCapabilitiesWwanNdisPort);
    EXPECT_TRUE(log.Contains(
        "Nw: WWAN NDIS port name could not be detected, removing CardDriverCapabilitiesWwanNdisPort flag..."));
  }
}

TEST_F(WwanDeviceTest, AdapterWithoutInstanceIdIsNotTaken) {
  tree_.Update(nic_, [](SimDeviceTree::Node& node) { (*node.driver_key)[u"NetCfgInstanceId"] = u""; });
  Card("0x1000", 5);
  LogCapture log(2);
  EXPECT_FALSE(DetectWwanDevice(state_));
  EXPECT_EQ(state_.detection.wwan_nic_node, 0u);
  EXPECT_TRUE(log.Contains("Nw: DetectWwanDevice(): Inconsistent state, a valid WWAN network adapter found but "
                           "its name a/o net cfg instance id is empty - skipping it"));
  state_.card_info.DriverCapabilities &= ~CardDriverCapabilitiesWwanNic;
  EXPECT_FALSE(DetectWwanDevice(state_));
}

}  // namespace
