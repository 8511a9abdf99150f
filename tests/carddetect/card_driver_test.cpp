#include "carddetect/card_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::CardSection;
using testing_support::LogCapture;
using testing_support::SerialNode;

class CardDriverTest : public testing_support::DetectionFixture {
 protected:
  void Card(const std::string& model, const std::string& driver_cap) {
    ResetCardInfo(state_);
    LoadDb(CardSection{}.Model(model).DriverCap(driver_cap).Text());
    Detected(0, card_);
    state_.card_info.State = CardStateStarting;
  }

  platform::DEVINST card_ = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
};

TEST_F(CardDriverTest, BusDeviceNameFollowsTheModel) {
  const auto any = [](uint32_t, std::span<const uint8_t>, std::span<uint8_t>, uint32_t&) { return 1u; };
  tree_.AddVirtualDevice(u"\\\\.\\vlfbus2", any);
  tree_.AddVirtualDevice(u"\\\\.\\vl72ubus0", any);
  struct Row {
    std::string model;
    std::string driver_cap;
    std::u16string bus_device;
  };
  const std::vector<Row> rows = {
      {"0xB02", "0x0", u"\\\\.\\vlfbus2"},
      {"0xF03", "0x0", u"\\\\.\\vlfbus2"},
      {"0x1500", "0x200", u"\\\\.\\vl72ubus0"},  // the composite flag wins
      {"0x1100", "0x0", u""},                     // vlmbus: none present
      {"0x100", "0x0", u""},                      // no bus device at all
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.model);
    Card(row.model, row.driver_cap);
    EXPECT_EQ(DetectBusDevice(state_), !row.bus_device.empty());
    EXPECT_EQ(CardInfoText(state_.card_info.BusDeviceName), row.bus_device);
  }
  Card("0xB00", "0x0");
  state_.card_info.State = CardStateStarted;
  EXPECT_FALSE(DetectBusDevice(state_)) << "only while starting";
}

TEST_F(CardDriverTest, DriverVersionComesFromTheFirstMajorSubdevice) {
  SimDeviceTree::Node modem = SerialNode(platform::kDeviceClassModem, "Modem", u"ttyUSB0");
  modem.driver_version = 0x0002000300040005;
  const auto modem_node = tree_.Add(card_, modem);
  Card("0x100", "0x80");
  LogCapture log;
  EXPECT_FALSE(DetectDriverVersion(state_));
  EXPECT_TRUE(log.Contains("Nw: Could not determine driver version since no major subdevice is found"));

  state_.detection.modem_node = modem_node;
  ASSERT_TRUE(DetectDriverVersion(state_));
  EXPECT_EQ(state_.card_info.DriverVersionMs, 0x00020003u);
  EXPECT_EQ(state_.card_info.DriverVersionLs, 0x00040005u);
  EXPECT_TRUE(log.Contains("Nw: Driver version: 2.3.4.5"));

  state_.detection.wwan_nic_node = card_;  // has no driver
  EXPECT_FALSE(DetectDriverVersion(state_));
  EXPECT_TRUE(log.Contains("Nw: Failed to determine driver version (0x2)"));
}

}  // namespace
