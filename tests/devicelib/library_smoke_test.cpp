// The whole library on every simulated card: plugged into the simulated
// tree, found by card detection against the shipped card database, taken up
// by the device and initialised by the client on Found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "devicelib/device_states.h"
#include "devicelib/dv_api.h"
#include "sim/card_class.h"
#include "sim/sim_card_builder.h"
#include "tests/devicelib/library_fixture.h"
#include "tests/support/eventually.h"

namespace {

using GSM::DeviceState::Found;
using GSM::DeviceState::Initialized;

class LibrarySmokeTest : public testing_support::LibraryFixture,
                         public ::testing::WithParamInterface<sim::CardKind> {};

TEST_P(LibrarySmokeTest, PluggedCardIsFoundThenInitialized) {
  if (GetParam() == sim::CardKind::kStack3) {
    // Its AT port (offered by name) arrives before its modem, which is
    // polled for; once the modem is found, detection waits for an arrival
    // that has already been, and the card stays Starting.
    GTEST_SKIP() << "card detection never starts the simulated stack 3 card";
  }
  ASSERT_EQ(InitializeResult(), 0u);
  ASSERT_TRUE(PlugCard(sim::NewSimCard(GetParam())));
  ASSERT_TRUE(WaitUntilFound()) << "the card was not found";
  ASSERT_TRUE(PassInitializationWait());
  ASSERT_TRUE(WaitForDeviceState(Initialized)) << "the card was not initialised";
  // The device announces NotFound when detection starts on the card (the
  // states reset for the new card), then the two steps up.
  std::vector<int> states = DeviceStatesSeen();
  const auto found = std::find(states.begin(), states.end(), Found);
  for (auto it = states.begin(); it != found; ++it) EXPECT_EQ(*it, GSM::DeviceState::NotFound);
  EXPECT_EQ(std::vector<int>(found, states.end()), (std::vector<int>{Found, Initialized}));
  // The client's DvInitializeDevice returns after the event it raised.
  ASSERT_TRUE(testing_support::Eventually([&] { return !InitializeDeviceResults().empty(); }));
  EXPECT_EQ(InitializeDeviceResults(), (std::vector<DvResult>{0}));
  EXPECT_EQ(OnClient([] {
              int state = -1;
              return DvGetDeviceState(&state) == 0 ? state : -1;
            }),
            Initialized);
}

INSTANTIATE_TEST_SUITE_P(EverySimulatedCard, LibrarySmokeTest,
                         ::testing::Values(sim::CardKind::kMultiplexing3g, sim::CardKind::kGprs,
                                           sim::CardKind::kTechnologySelection, sim::CardKind::kStack3,
                                           sim::CardKind::kModel0E00, sim::CardKind::kComposite),
                         [](const ::testing::TestParamInfo<sim::CardKind>& info) {
                           std::string name(sim::ClassOf(info.param).id);
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return "Card_" + name;
                         });


}  // namespace

namespace {

class LibraryLifecycleTest : public testing_support::LibraryFixture {};

TEST_F(LibraryLifecycleTest, WithoutACardTheDeviceStaysNotFound) {
  ASSERT_EQ(InitializeResult(), 0u);
  EXPECT_EQ(OnClient([] {
              int state = -1;
              return DvGetDeviceState(&state) == 0 ? state : -1;
            }),
            GSM::DeviceState::NotFound);
  for (int state : DeviceStatesSeen()) EXPECT_EQ(state, GSM::DeviceState::NotFound);
}

TEST_F(LibraryLifecycleTest, PulledCardTakesTheDeviceBackToNotFound) {
  ASSERT_TRUE(PlugCard(sim::NewSimCard(sim::CardKind::kMultiplexing3g)));
  ASSERT_TRUE(WaitUntilFound());
  ASSERT_TRUE(PassInitializationWait());
  ASSERT_TRUE(WaitForDeviceState(GSM::DeviceState::Initialized));
  const size_t before = EventCount();
  PullCard();
  ASSERT_TRUE(WaitForDeviceState(GSM::DeviceState::NotFound, before));
  EXPECT_EQ(OnClient([] {
              int state = -1;
              return DvGetDeviceState(&state) == 0 ? state : -1;
            }),
            GSM::DeviceState::NotFound);
}

}  // namespace
