// The system of `vombel-connect --simulate`: installed for its life, the card
// plugged only once its delay passed on the platform clock, and an exit
// before that plugs nothing.
#include "app/ui/simulated_system.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/device_tree.h"
#include "platform/dial_up.h"
#include "platform/ip_helper.h"
#include "tests/support/eventually.h"
#include "tests/support/log_capture.h"

namespace {

TEST(SimulatedSystemTest, PlugsTheCardOnceItsDelayPassedAndGivesTheMachineBack) {
  testing_support::LogCapture log(kXLogTrace);
  platform::DeviceTree* const machine_tree = &platform::CurrentDeviceTree();
  platform::IpHelper* const machine_adapters = &platform::CurrentIpHelper();
  platform::DialUpService* const machine_dial_up = &platform::CurrentDialUpService();
  platform::VirtualClock clock;
  platform::ScopedClock scoped(clock);
  clock.SetSleepAdvances(true);  // the insertion's pauses, on the plugging thread alone
  {
    SimulatedSystem system;
    EXPECT_EQ(&platform::CurrentDeviceTree(), static_cast<platform::DeviceTree*>(&system.Tree()));
    EXPECT_NE(&platform::CurrentIpHelper(), machine_adapters);
    EXPECT_NE(&platform::CurrentDialUpService(), machine_dial_up);

    clock.WaitForWaiterAt(SimulatedSystem::kPlugDelayMs);
    clock.Advance(SimulatedSystem::kPlugDelayMs - 1);
    EXPECT_FALSE(system.Plugged());
    EXPECT_EQ(system.Tree().NodeCount(), 0u);
    clock.Advance(1);
    ASSERT_TRUE(testing_support::Eventually([&] { return system.Plugged(); })) << log.Lines().size();
    EXPECT_GT(system.Tree().NodeCount(), 0u);
    EXPECT_TRUE(log.Contains("SimulatedSystem: simulated card plugged in (Vombel Sim 3G Multiplexing Card)."));
  }
  EXPECT_EQ(&platform::CurrentDeviceTree(), machine_tree);
  EXPECT_EQ(&platform::CurrentIpHelper(), machine_adapters);
  EXPECT_EQ(&platform::CurrentDialUpService(), machine_dial_up);
}

TEST(SimulatedSystemTest, AnExitBeforeThePlugPlugsNothing) {
  testing_support::LogCapture log(kXLogTrace);
  platform::VirtualClock clock;
  platform::ScopedClock scoped(clock);
  {
    SimulatedSystem system;
    clock.WaitForWaiterAt(SimulatedSystem::kPlugDelayMs);
    clock.Advance(SimulatedSystem::kPlugDelayMs / 2);
    // Destroyed with the plugging thread still waiting: it ends at once,
    // though the virtual clock never reaches the plug.
  }
  EXPECT_FALSE(log.Contains("plugged in"));
}

}  // namespace
