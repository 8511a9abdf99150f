#include "platform/modem_manager_sim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

constexpr const char* kUid = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";

TEST(SimModemManagerTest, WillingServiceHoldsOffUntilTheInhibitionGoes) {
  SimModemManager service(SimModemManager::Behaviour::kWilling);
  service.AddModem(kUid, "ttyUSB2");
  EXPECT_TRUE(service.Present());
  EXPECT_EQ(service.DeviceOfPort("/dev/ttyUSB2"), kUid);
  EXPECT_EQ(service.DeviceOfPort("ttyUSB3"), "");

  Inhibited got = service.Inhibit(kUid, {});
  ASSERT_EQ(got.result.status, InhibitStatus::kOk);
  ASSERT_TRUE(got.inhibition);
  EXPECT_EQ(got.inhibition->Uid(), kUid);
  EXPECT_TRUE(service.IsInhibited(kUid));
  EXPECT_FALSE(got.inhibition->Lost());
  got.inhibition.reset();
  EXPECT_FALSE(service.IsInhibited(kUid));
}

TEST(SimModemManagerTest, RefusingAndAbsentServicesGrantNothing) {
  SimModemManager refusing(SimModemManager::Behaviour::kRefusing);
  Inhibited refused = refusing.Inhibit(kUid, {});
  EXPECT_EQ(refused.result.status, InhibitStatus::kRefused);
  EXPECT_EQ(refused.result.error_name, SimModemManager::kRefusalName);
  EXPECT_FALSE(refused.inhibition);

  SimModemManager absent(SimModemManager::Behaviour::kAbsent);
  EXPECT_FALSE(absent.Present());
  Inhibited nobody = absent.Inhibit(kUid, {});
  EXPECT_EQ(nobody.result.status, InhibitStatus::kAbsent);
  EXPECT_FALSE(nobody.inhibition);
}

TEST(SimModemManagerTest, ServiceGoingAwayLosesTheInhibitionOnce) {
  SimModemManager service;
  std::vector<std::string> notices;
  Inhibited got = service.Inhibit(kUid, [&notices](const std::string& uid) { notices.push_back(uid); });
  ASSERT_TRUE(got.inhibition);
  service.GoAway();
  service.GoAway();
  EXPECT_EQ(notices, std::vector<std::string>{kUid});
  EXPECT_TRUE(got.inhibition->Lost());
  EXPECT_FALSE(service.Present());
  // The new service knows nothing of the old inhibition, and giving it back
  // does not touch the new one's.
  service.Return();
  Inhibited again = service.Inhibit(kUid, {});
  ASSERT_TRUE(again.inhibition);
  got.inhibition.reset();
  EXPECT_TRUE(service.IsInhibited(kUid));
}

// The InhibitDevice errors as ModemManager and the bus answer them.
TEST(ModemManagerErrorTest, ErrorsMapToWhatTheUserCanDo) {
  struct Row {
    const char* name;
    const char* message;
    InhibitStatus status;
  } const rows[] = {
      {"org.freedesktop.ModemManager1.Error.Core.Unauthorized",
       "PolicyKit authorization failed: not authorized for 'org.freedesktop.ModemManager1.Device.Control'",
       InhibitStatus::kRefused},
      // ModemManager 1.20 on a machine without a PolicyKit daemon.
      {"org.freedesktop.ModemManager1.Error.Core.Failed", "PolicyKit authorization error: 'authority not found'",
       InhibitStatus::kRefused},
      {"org.freedesktop.DBus.Error.AccessDenied", "Rejected send message", InhibitStatus::kRefused},
      {"org.freedesktop.DBus.Error.ServiceUnknown", "The name is not activatable", InhibitStatus::kAbsent},
      {"org.freedesktop.ModemManager1.Error.Core.Failed", "device is busy", InhibitStatus::kFailed},
      {"org.freedesktop.DBus.Error.UnknownMethod", "", InhibitStatus::kFailed},
      {"", "", InhibitStatus::kFailed},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(InhibitStatusOfError(row.name, row.message), row.status) << row.name << ": " << row.message;
  }
}

}  // namespace
}  // namespace platform
