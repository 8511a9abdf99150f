// The identity, SIM, PIN, network and packet-data calls over a simulated card.
#include <gtest/gtest.h>

#include <string>

#include "devicelib/device_queries.h"
#include "devicelib/dv_api.h"
#include "devicelib/sim_answers.h"
#include "tests/devicelib/device_fixture.h"

namespace {

using testing_support::DeviceFixture;

class CommandsTest : public DeviceFixture {
 protected:
  bool Bring(const sim::SimCardBuilder& builder) { return PlugAndInitialize(builder); }
};

TEST_F(CommandsTest, EveryCallRefusesBeforeTheLibraryIsInitialised) {
  char16_t text[kDvNameSize];
  int value = 0;
  uint32_t state = 0;
  EXPECT_EQ(DvGetDeviceName(text), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvGetImeiNumber(text), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvGetPinPukState(&state), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvGetSimState(&value), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvGetEdgeNetworkState(&value), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvGetSignalStrength(&value, nullptr), DV_E_NOT_INITIALIZED);
  EXPECT_EQ(DvEnterPinCode(u"1234"), DV_E_NOT_INITIALIZED);
}

TEST_F(CommandsTest, CachedStateCallsRefuseANullPointer) {
  Initialize();
  EXPECT_EQ(DvGetEdgeNetworkState(nullptr), DV_E_INVALID_ARGUMENT);
  EXPECT_EQ(DvGetHsdpaNetworkState(nullptr), DV_E_INVALID_ARGUMENT);
  EXPECT_EQ(DvGetCsNetworkState(nullptr), DV_E_INVALID_ARGUMENT);
  EXPECT_EQ(DvGetSimState(nullptr), DV_E_INVALID_ARGUMENT);
  // Calls that talk to the card: no device comes before the pointer.
  EXPECT_EQ(DvGetDeviceName(nullptr), DV_E_NO_DEVICE);
}

TEST_F(CommandsTest, IdentityOfACard) {
  Initialize();
  ASSERT_TRUE(Bring(sim::NewSimCard(sim::CardKind::kMultiplexing3g).Registered(1)));
  char16_t imei[kDvNumberSize];
  char16_t serial[kDvNameSize];
  char16_t iccid[kDvNumberSize];
  char16_t imsi[kDvNumberSize];
  ASSERT_EQ(DvGetImeiNumber(imei), DV_S_OK);
  EXPECT_EQ(std::u16string(imei), u"358709050123456");
  ASSERT_EQ(DvGetDeviceSerialNumber(serial), DV_S_OK);
  EXPECT_EQ(std::u16string(serial), u"VS1234567890");
  ASSERT_EQ(DvGetSimSerialNumber(iccid), DV_S_OK);
  EXPECT_FALSE(std::u16string(iccid).empty());
  ASSERT_EQ(DvGetImsiNumber(imsi), DV_S_OK);
  EXPECT_EQ(std::u16string(imsi), u"262019876543210");
}

TEST_F(CommandsTest, PinEntryRunsThePostPinSetUpOnce) {
  Initialize();
  ASSERT_TRUE(Bring(sim::NewSimCard(sim::CardKind::kMultiplexing3g).WithPin("1234").Registered(1)));
  uint32_t state = 0;
  ASSERT_EQ(DvGetPinPukState(&state), DV_S_OK);
  EXPECT_EQ(state, GSM::PinPukStateSimPin);
  char16_t imsi[kDvNumberSize];
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_E_NOT_AVAILABLE);
  EXPECT_FALSE(Device().PostPinOperationDone());

  EXPECT_EQ(DvEnterPinCode(u"9999"), DvCmeError(16));
  ASSERT_EQ(DvEnterPinCode(u"1234"), DV_S_OK);
  EXPECT_TRUE(Device().PostPinOperationDone());
  for (const std::string& line : log_.Lines()) {
    EXPECT_EQ(line.find("1234"), std::string::npos) << line;
    EXPECT_EQ(line.find("9999"), std::string::npos) << line;
  }
  ASSERT_TRUE(PumpUntil([&] { return DvGetPinPukState(&state) == DV_S_OK && state == GSM::PinPukStateReady; }));
}

TEST_F(CommandsTest, AFailedPostPinSetUpIsRetriedOnceTheSimIsInitialised) {
  Initialize();
  ASSERT_TRUE(Bring(sim::NewSimCard(sim::CardKind::kMultiplexing3g)
                                    .WithPin("1234")
                                    .Registered(1)
                                    .WithFault("+CNMI", sim::Fault{sim::FaultKind::kError, 0, true})));
  ASSERT_EQ(DvEnterPinCode(u"1234"), DV_S_OK);
  EXPECT_FALSE(Device().PostPinOperationDone());
  EXPECT_TRUE(PumpUntil([&] { return Device().PostPinOperationDone(); }));
}

TEST_F(CommandsTest, ApnRoundTrip) {
  Initialize();
  ASSERT_TRUE(Bring(sim::NewSimCard(sim::CardKind::kMultiplexing3g).Registered(1)));
  ASSERT_EQ(DvSetApn(u"internet.example"), DV_S_OK);
  char16_t apn[kDvNumberSize];
  ASSERT_EQ(DvGetApn(apn), DV_S_OK);
  EXPECT_EQ(std::u16string(apn), u"internet.example");
  EXPECT_EQ(DvSetApn(nullptr), DV_E_INVALID_ARGUMENT);
}

TEST_F(CommandsTest, NetworkInfoOfAnUnregisteredCardSendsNothing) {
  Initialize();
  ASSERT_TRUE(Bring(sim::NewSimCard(sim::CardKind::kMultiplexing3g).NotRegistered()));
  char16_t name[64] = u"x";
  int type = 7;
  ASSERT_EQ(DvGetNetworkInfo(name, 64, &type), DV_S_OK);
  EXPECT_EQ(std::u16string(name), u"");
  EXPECT_EQ(type, 0);
  EXPECT_EQ(DvGetNetworkInfo(name, 1, &type), DV_E_INVALID_ARGUMENT);
}

TEST_F(CommandsTest, NetworkInfoAndSignalOfARegisteredCard) {
  Initialize();
  ASSERT_TRUE(Bring(
      sim::NewSimCard(sim::CardKind::kMultiplexing3g).Registered(1).Operator("Vombel Net", "Vombel", "26201")));
  char16_t name[64];
  int type = 0;
  ASSERT_EQ(DvGetNetworkInfo(name, 64, &type), DV_S_OK);
  EXPECT_FALSE(std::u16string(name).empty());
  EXPECT_NE(type, 0);
  int value = -1, extended = -1;
  ASSERT_EQ(DvGetSignalStrength(&value, &extended), DV_S_OK);
  EXPECT_GE(value, 0);
  uint32_t code = 0;
  ASSERT_EQ(GSM::QueryNumericOperator(code), DV_S_OK);
  EXPECT_EQ(code, 26201u);
}

}  // namespace
