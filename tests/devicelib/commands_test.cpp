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

namespace {

using testing_support::DeviceFixture;

class PinAndSimTest : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }
};

TEST_F(PinAndSimTest, ASimBusyThirtyTimesGivesAnUnknownStateAndSuccess) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kMultiplexing3g).SimNotReadyFor(10000000)));
  const size_t before = log_.Count("Dv: Modem write: [AT+CPIN?");
  const uint64_t start = clock_.NowMs();
  uint32_t state = 99;
  ASSERT_EQ(DvGetPinPukState(&state), DV_S_OK);
  EXPECT_EQ(state, GSM::PinPukStateUnknown);
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT+CPIN?") - before, 30u);
  EXPECT_GE(clock_.NowMs() - start, 30000u);
}

TEST_F(PinAndSimTest, ThreeWrongPinsLeadToThePukAndThePukSetsANewPin) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kMultiplexing3g).WithPin("1234").WithPuk("12345678")));
  int pin_retries = 0;
  int puk_retries = 0;
  for (int attempt = 0; attempt < 3; ++attempt) EXPECT_TRUE(DvFailed(DvEnterPinCode(u"0000")));
  uint32_t state = 0;
  ASSERT_EQ(DvGetPinPukState(&state), DV_S_OK);
  EXPECT_EQ(state, GSM::PinPukStateSimPuk);
  ASSERT_EQ(DvGetPinPukRetryCounters(&pin_retries, &puk_retries), DV_S_OK);
  EXPECT_EQ(pin_retries, 0);
  EXPECT_EQ(puk_retries, 10);

  ASSERT_EQ(DvEnterPukCode(u"12345678", u"4321"), DV_S_OK);
  ASSERT_EQ(DvGetPinPukState(&state), DV_S_OK);
  EXPECT_EQ(state, GSM::PinPukStateReady);
  EXPECT_EQ(Card().Snapshot().pin, "4321");
  for (const std::string& line : log_.Lines()) {
    EXPECT_EQ(line.find("12345678"), std::string::npos) << line;
    EXPECT_EQ(line.find("\"4321\""), std::string::npos) << line;
  }
}

TEST_F(PinAndSimTest, TheImsiRetriesStopWhenTheCardIsPulled) {
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kMultiplexing3g)));
  Card().InjectFault("+CIMI", sim::Fault{sim::FaultKind::kPull});
  const size_t before = log_.Count("Dv: Modem write: [AT+CIMI");
  char16_t imsi[kDvNumberSize];
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_E_NO_DEVICE);
  EXPECT_EQ(log_.Count("Dv: Modem write: [AT+CIMI") - before, 1u);
  EXPECT_EQ(std::u16string(imsi), u"");
}

TEST_F(PinAndSimTest, ACardWithoutTheCommandsOfItsClassAnswersError) {
  // The GPRS card knows neither the hardware version nor the retry counters.
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kGprs)));
  char16_t hardware[kDvNameSize] = u"x";
  EXPECT_EQ(DvGetHardwareInfo(hardware), DV_S_OK);
  EXPECT_EQ(std::u16string(hardware), u"");
  int supported = 1;
  ASSERT_EQ(DvIsPinPukRetryCounterSupported(&supported), DV_S_OK);
  EXPECT_EQ(supported, 0);
  int mode = 7;
  EXPECT_EQ(DvSetTechnologySelectionMode(1), DV_E_NOT_SUPPORTED);
  EXPECT_EQ(DvGetTechnologySelectionMode(&mode), DV_S_OK);
  EXPECT_EQ(mode, 0);
}

}  // namespace
