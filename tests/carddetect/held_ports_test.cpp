// A database card whose port ModemManager holds: detection's final-port
// test takes it over instead of supposing the card is fine.
#include "carddetect/held_ports.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/modem_manager_sim.h"
#include "platform/serial_port.h"
#include "tests/carddetect/nw_library_fixture.h"

namespace {

class HeldPortsTest : public testing_support::NwLibraryFixture {};

TEST_F(HeldPortsTest, DatabaseCardsPortIsTakenOverFromModemManager) {
  const std::string uid = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
  platform::SerialPort held;
  ASSERT_TRUE(held.Open(pty_.SlavePath()));
  modem_manager_.Return(platform::SimModemManager::Behaviour::kWilling);
  modem_manager_.AddModem(uid, pty_.SlavePath());
  modem_manager_.OnInhibit([&](const std::string&) { held.Close(); });
  AddModem(PlugCard());
  Initialize(EventCard().Text());

  EXPECT_EQ(State(), CardStateStarted);
  EXPECT_TRUE(log_.Contains("Nw: Final port could be opened successfully"));
  EXPECT_TRUE(modem_manager_.IsInhibited(uid));
  NwShutdown();
  EXPECT_FALSE(modem_manager_.IsInhibited(uid));
}

}  // namespace
