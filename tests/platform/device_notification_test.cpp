#include "platform/device_notification.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/event.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

struct Received {
  uint32_t message;
  WPARAM wparam;
  std::optional<DeviceBroadcast> broadcast;
};

class DeviceNotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass(kClass, [this](HWND hwnd, uint32_t m, WPARAM w, LPARAM l) {
      if (m == WM_DEVICECHANGE || m == WM_POWERBROADCAST) {
        received_[hwnd].push_back({m, w, m == WM_DEVICECHANGE ? DeviceBroadcastFromLParam(l)
                                                                : std::nullopt});
      }
      return LRESULT{0};
    });
    ports_ = CreateWindow(kClass);
    net_ = CreateWindow(kClass);
    ports_registration_ = RegisterDeviceNotification(ports_, kInterfaceComPort);
    net_registration_ = RegisterDeviceNotification(net_, kInterfaceNetwork);
    ASSERT_NE(ports_registration_, nullptr);
    ASSERT_NE(net_registration_, nullptr);
  }
  void TearDown() override {
    UnregisterDeviceNotification(ports_registration_);
    UnregisterDeviceNotification(net_registration_);
    DestroyWindow(ports_);
    DestroyWindow(net_);
    UnregisterClass(kClass);
  }

  static constexpr std::u16string_view kClass = u"DeviceNotificationTest";
  HWND ports_ = nullptr, net_ = nullptr;
  HDEVNOTIFY ports_registration_ = nullptr, net_registration_ = nullptr;
  std::map<HWND, std::vector<Received>> received_;
};

DeviceBroadcast PortInterface(uint32_t event, const char* name) {
  return DeviceBroadcast{event, DBT_DEVTYP_DEVICEINTERFACE, std::string(kInterfaceComPort), name, 46};
}

TEST_F(DeviceNotificationTest, InterfaceBroadcastsReachOnlyTheirClass) {
  EXPECT_EQ(BroadcastDeviceChange(PortInterface(DBT_DEVICEARRIVAL, "/dev/ttyUSB2")), 1u);
  PumpMessages();
  ASSERT_EQ(received_[ports_].size(), 1u);
  EXPECT_TRUE(received_[net_].empty());
  const Received& got = received_[ports_][0];
  EXPECT_EQ(got.wparam, DBT_DEVICEARRIVAL);
  ASSERT_TRUE(got.broadcast);
  EXPECT_EQ(got.broadcast->device_type, DBT_DEVTYP_DEVICEINTERFACE);
  EXPECT_EQ(got.broadcast->name, "/dev/ttyUSB2");
  EXPECT_EQ(got.broadcast->size, 46u);
}

TEST_F(DeviceNotificationTest, NodeChangesPortsAndPowerReachEveryRegisteredWindow) {
  EXPECT_EQ(BroadcastDeviceChange({DBT_DEVNODES_CHANGED, 0, {}, {}, 0}), 2u);
  EXPECT_EQ(BroadcastDeviceChange({DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, {}, "ttyUSB2", 28}), 2u);
  EXPECT_EQ(BroadcastPowerEvent(PBT_APMSUSPEND), 2u);
  PumpMessages();
  for (HWND hwnd : {ports_, net_}) {
    ASSERT_EQ(received_[hwnd].size(), 3u);
    EXPECT_EQ(received_[hwnd][0].wparam, DBT_DEVNODES_CHANGED);
    EXPECT_EQ(received_[hwnd][1].broadcast->name, "ttyUSB2");
    EXPECT_EQ(received_[hwnd][2].message, WM_POWERBROADCAST);
    EXPECT_EQ(received_[hwnd][2].wparam, PBT_APMSUSPEND);
  }
}

TEST_F(DeviceNotificationTest, UnregisteredWindowsHearNothing) {
  ASSERT_TRUE(UnregisterDeviceNotification(net_registration_));
  EXPECT_FALSE(UnregisterDeviceNotification(net_registration_));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  net_registration_ = nullptr;
  EXPECT_EQ(BroadcastPowerEvent(PBT_APMRESUMESUSPEND), 1u);
  PumpMessages();
  EXPECT_TRUE(received_[net_].empty());
}

TEST_F(DeviceNotificationTest, AHandleRemovalReachesOnlyItsRegistrant) {
  UniqueHandle device(CreateEvent(true, false));  // any handle names a device here
  HDEVNOTIFY registration = RegisterDeviceNotificationForHandle(net_, device.get());
  ASSERT_NE(registration, nullptr);
  EXPECT_EQ(NotifyHandleRemoved(device.get()), 1u);
  PumpMessages();
  ASSERT_EQ(received_[net_].size(), 1u);
  EXPECT_EQ(received_[net_][0].broadcast->device_type, DBT_DEVTYP_HANDLE);
  EXPECT_TRUE(received_[ports_].empty());
  UnregisterDeviceNotification(registration);
}

TEST_F(DeviceNotificationTest, OldOrForgedTokensReadAsNothing) {
  BroadcastDeviceChange(PortInterface(DBT_DEVICEARRIVAL, "first"));
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg, true));
  EXPECT_TRUE(DeviceBroadcastFromLParam(msg.lParam));
  for (int i = 0; i < 1024; ++i) BroadcastDeviceChange(PortInterface(DBT_DEVICEARRIVAL, "later"));
  EXPECT_FALSE(DeviceBroadcastFromLParam(msg.lParam));
  EXPECT_FALSE(DeviceBroadcastFromLParam(0));
  EXPECT_FALSE(DeviceBroadcastFromLParam(-5));
  EXPECT_FALSE(DeviceBroadcastFromLParam(msg.lParam + 1'000'000));
  PumpMessages();
}

TEST_F(DeviceNotificationTest, RegistrationNeedsAWindowAndAClass) {
  EXPECT_EQ(RegisterDeviceNotification(reinterpret_cast<HWND>(0x7fff0000), kInterfaceModem), nullptr);
  EXPECT_EQ(GetLastError(), 1400u);
  EXPECT_EQ(RegisterDeviceNotification(ports_, ""), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

}  // namespace
}  // namespace platform
