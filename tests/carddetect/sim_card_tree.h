// Building blocks for the detection tests: card database sections and the
// device nodes a card's driver creates, put into a SimDeviceTree that is the
// current device tree while the fixture lives.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "carddetect/card_db.h"
#include "carddetect/detection_state.h"
#include "platform/sim_device_tree.h"
#include "platform/text.h"

namespace testing_support {

// One card section with the mandatory keys; `extra` holds further lines.
struct CardSection {
  std::string name = "Card";
  std::string model = "0x100";
  int family = 4;
  int stack = 1;
  std::string bus = "USB";
  std::string hardware_ids = "USB\\VID_1111&PID_0001";
  std::string driver_cap = "0x80";
  std::string extra;
  bool supported = true;

  CardSection Named(std::string v) const { auto c = *this; c.name = std::move(v); return c; }
  CardSection Model(std::string v) const { auto c = *this; c.model = std::move(v); return c; }
  CardSection Family(int v) const { auto c = *this; c.family = v; return c; }
  CardSection Stack(int v) const { auto c = *this; c.stack = v; return c; }
  CardSection Bus(std::string v) const { auto c = *this; c.bus = std::move(v); return c; }
  CardSection Ids(std::string v) const { auto c = *this; c.hardware_ids = std::move(v); return c; }
  CardSection DriverCap(std::string v) const { auto c = *this; c.driver_cap = std::move(v); return c; }
  CardSection With(std::string line) const { auto c = *this; c.extra += line + "\r\n"; return c; }

  std::string Text() const {
    return "[" + name + "]\r\nSupported=" + (supported ? "1" : "0") + "\r\nModel=" + model +
           "\r\nFamily=" + std::to_string(family) + "\r\nStackType=" + std::to_string(stack) +
           "\r\nBusType=" + bus + "\r\nHardwareId=" + hardware_ids +
           "\r\nXpPortType=0\r\nXpDriverCap=" + driver_cap +
           "\r\nXpWwanCap=0x3\r\nXpWlanCap=0\r\n" + extra;
  }
};

inline platform::SimDeviceTree::Node CardNode(std::string enumerator, std::string hardware_id,
                                              std::u16string instance_id = u"CARD\\1") {
  platform::SimDeviceTree::Node node;
  node.enumerator = std::move(enumerator);
  node.hardware_id = platform::SimDeviceTree::MultiSz({std::move(hardware_id), "USB\\COMPAT"});
  node.instance_id = std::move(instance_id);
  return node;
}

// A plain node known only by its instance ID (an interface of the card).
inline platform::SimDeviceTree::Node IdNode(std::u16string instance_id) {
  platform::SimDeviceTree::Node node;
  node.instance_id = std::move(instance_id);
  return node;
}

// A modem or port: class, friendly name and "PortName".
inline platform::SimDeviceTree::Node SerialNode(std::string_view class_guid, std::string friendly,
                                                std::u16string port_name) {
  platform::SimDeviceTree::Node node;
  node.class_guid = std::string(class_guid);
  node.friendly_name = platform::SimDeviceTree::Sz(std::move(friendly));
  node.device_key.emplace();
  (*node.device_key)[u"PortName"] = std::move(port_name);
  node.instance_id = u"SERIAL\\" + platform::Utf8ToUtf16(node.friendly_name->texts[0]);
  return node;
}

inline platform::SimDeviceTree::Node NetNode(std::string description, std::u16string net_cfg) {
  platform::SimDeviceTree::Node node;
  node.class_guid = std::string(platform::kDeviceClassNet);
  node.device_desc = platform::SimDeviceTree::Sz(std::move(description));
  node.driver_key.emplace();
  (*node.driver_key)[u"NetCfgInstanceId"] = std::move(net_cfg);
  return node;
}

inline platform::SimDeviceTree::Node ReaderNode(std::string description) {
  platform::SimDeviceTree::Node node;
  node.class_guid = std::string(platform::kDeviceClassSmartCardReader);
  node.device_desc = platform::SimDeviceTree::Sz(std::move(description));
  return node;
}

class DetectionFixture : public ::testing::Test {
 protected:
  DetectionFixture() : scoped_(tree_) { ResetCardInfo(state_); }

  void LoadDb(const std::string& text) {
    state_.card_db.entries.clear();
    ASSERT_EQ(ReadCardDb(text, kNwOsXp, state_.card_db.entries), 0u);
  }

  // Marks `index` of the table as the detected card on node `card`, as
  // DetectAnyCard leaves it.
  void Detected(int index, platform::DEVINST card) {
    const CardDbEntry& entry = state_.card_db.entries.at(static_cast<size_t>(index));
    state_.detection.card_index = index;
    state_.card_info.DevNode = card;
    state_.card_info.Model = entry.Model;
    state_.card_info.Family = entry.Family;
    state_.card_info.Stack = entry.Stack;
    state_.card_info.DriverCapabilities = entry.DriverCapabilities;
  }

  platform::SimDeviceTree tree_;
  platform::ScopedDeviceTree scoped_;
  NwLibraryState state_;
};

}  // namespace testing_support
