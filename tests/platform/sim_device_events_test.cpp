#include "platform/sim_device_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/device_notification.h"

namespace platform {
namespace {

SimDeviceTree::Node UsbDevice() {
  SimDeviceTree::Node node;
  node.enumerator = "USB";
  node.class_guid = std::string(kDeviceClassUsb);
  node.instance_id = u"USB\\VID_F1A1&PID_0101\\SIM0001";
  node.hardware_id = SimDeviceTree::MultiSz({"USB\\VID_F1A1&PID_0101"});
  return node;
}

SimDeviceTree::Node Port(const char16_t* port) {
  SimDeviceTree::Node node;
  node.class_guid = std::string(kDeviceClassPorts);
  node.instance_id = std::u16string(u"USB\\VID_F1A1&PID_0101&MI_02\\") + port;
  node.friendly_name = SimDeviceTree::Sz("USB\\VID_F1A1&PID_0101&MI_02 (pts)");
  node.device_key = std::map<std::u16string, std::u16string>{{u"PortName", port}};
  return node;
}

SimDeviceTree::Node Adapter() {
  SimDeviceTree::Node node;
  node.class_guid = std::string(kDeviceClassNet);
  node.instance_id = u"USB\\VID_F1A1&PID_0101&MI_04\\wwan0";
  node.driver_key = std::map<std::u16string, std::u16string>{{u"NetCfgInstanceId", u"wwan0"}};
  return node;
}

class SimDeviceEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass(kClass, [this](HWND, uint32_t m, WPARAM w, LPARAM l) {
      if (m != WM_DEVICECHANGE) return LRESULT{0};
      auto b = DeviceBroadcastFromLParam(l);
      seen_.push_back(std::to_string(w) + ":" + (b ? std::to_string(b->device_type) + ":" + b->name : "?"));
      return LRESULT{0};
    });
    hwnd_ = CreateWindow(kClass);
    for (auto guid : {kInterfaceComPort, kInterfaceNetwork, kInterfaceUsbDevice}) {
      registrations_.push_back(RegisterDeviceNotification(hwnd_, guid));
    }
  }
  void TearDown() override {
    for (auto r : registrations_) UnregisterDeviceNotification(r);
    DestroyWindow(hwnd_);
    UnregisterClass(kClass);
  }

  static constexpr std::u16string_view kClass = u"SimDeviceEventsTest";
  HWND hwnd_ = nullptr;
  std::vector<HDEVNOTIFY> registrations_;
  std::vector<std::string> seen_;
};

TEST_F(SimDeviceEventsTest, PlugAndPullBroadcastWhatTheKernelWould) {
  SimDeviceTree tree;
  SimDeviceEvents events(tree);
  const DEVINST card = tree.Add(0, UsbDevice());
  tree.Add(card, Port(u"pts/7"));
  tree.Add(card, Adapter());
  PumpMessages();
  EXPECT_EQ(seen_, (std::vector<std::string>{
                       "32768:5:USB\\VID_F1A1&PID_0101\\SIM0001", "7:0:",
                       "32768:5:USB\\VID_F1A1&PID_0101&MI_02\\pts/7", "32768:3:pts/7", "7:0:",
                       "32768:5:wwan0", "7:0:"}));

  seen_.clear();
  tree.SetStatus(card, DN_DRIVER_LOADED);
  tree.Remove(card);
  PumpMessages();
  EXPECT_EQ(seen_, (std::vector<std::string>{
                       "7:0:",
                       "32772:5:USB\\VID_F1A1&PID_0101&MI_02\\pts/7", "32772:3:pts/7", "7:0:",
                       "32772:5:wwan0", "7:0:",
                       "32772:5:USB\\VID_F1A1&PID_0101\\SIM0001", "7:0:"}));
}

TEST_F(SimDeviceEventsTest, NothingIsBroadcastOnceTheAdapterIsGone) {
  SimDeviceTree tree;
  { SimDeviceEvents events(tree); }
  tree.Add(0, UsbDevice());
  PumpMessages();
  EXPECT_TRUE(seen_.empty());
}

}  // namespace
}  // namespace platform
