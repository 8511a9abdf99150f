// A card that knows only the 3GPP commands, driven end to end as a client
// drives it: start-up and PIN, registration on each radio with the
// technology the client shows, signal, messages, a dial-up call, the pull.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "devicelib/connection.h"
#include "devicelib/device.h"
#include "devicelib/dv_api.h"
#include "devicelib/network_answers.h"
#include "devicelib/sim_answers.h"
#include "devicelib/standard_answers.h"
#include "sim/card_class.h"
#include "tests/devicelib/device_fixture.h"

namespace {

namespace ConnectionState = GSM::ConnectionState;
namespace DeviceState = GSM::DeviceState;
using sim::CardKind;
using testing_support::DeviceFixture;

sim::DeliverMessage Incoming(std::string originator, std::string text) {
  sim::DeliverMessage message;
  message.service_centre = "+491710760000";
  message.originator = std::move(originator);
  message.text = std::move(text);
  message.time = {2026, 3, 14, 15, 9, 26, 4};
  return message;
}

class StandardCardRoadTest : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }

  bool PlugAndInitializeStandard(const sim::SimCardBuilder& builder) {
    if (!Plug(builder)) return false;
    const DvResult rc = InitializeDevice();
    EXPECT_EQ(rc, DV_S_OK) << std::hex << rc;
    Settle();
    return rc == DV_S_OK;
  }

  // The network type the client reads with the network's name.
  int NetworkType() {
    char16_t name[64] = {};
    int type = -1;
    return DvGetNetworkInfo(name, 64, &type) == DV_S_OK ? type : -1;
  }
};

TEST_F(StandardCardRoadTest, StartsUpTakesThePinAndShowsEachRadioItRegistersOn) {
  ASSERT_TRUE(PlugAndInitializeStandard(sim::NewSimCard(CardKind::kStandard).WithPin("1234").Registered(1)));
  EXPECT_TRUE(Device().IsStandardCard());
  EXPECT_TRUE(Device().Is3gCard());
  EXPECT_FALSE(Device().IsNdisCard());
  EXPECT_FALSE(Device().IsGprsOnlyCard());
  EXPECT_FALSE(Device().IsAntennaReportCard());
  EXPECT_TRUE(Device().HasAppPort());
  EXPECT_TRUE(Device().PortUsableDuringDataCall());
  EXPECT_TRUE(Device().IsOneBasedSimIndexCard());
  EXPECT_EQ(Device().CurrentConnectionKind(), GSM::ConnectionKind::Ras);

  uint32_t pin_state = 0;
  ASSERT_EQ(DvGetPinPukState(&pin_state), DV_S_OK);
  EXPECT_EQ(pin_state, GSM::PinPukStateSimPin);
  int supported = 0;
  ASSERT_EQ(DvIsPinPukRetryCounterSupported(&supported), DV_S_OK);
  EXPECT_EQ(supported, 1);
  int pin_retries = 0;
  int puk_retries = 0;
  ASSERT_EQ(DvEnterPinCode(u"0000"), DvCmeError(16));
  ASSERT_EQ(DvGetPinPukRetryCounters(&pin_retries, &puk_retries), DV_S_OK);
  EXPECT_EQ(pin_retries, 2);
  EXPECT_EQ(puk_retries, 10);
  ASSERT_EQ(DvEnterPinCode(u"1234"), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetSimState() == 1; }));

  // UMTS: both domains registered, the operator's name, the signal.
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() == 1 && Device().GetPsState() == 1; }));
  char16_t name[64] = {};
  int type = 0;
  ASSERT_EQ(DvGetNetworkInfo(name, 64, &type), DV_S_OK);
  EXPECT_EQ(std::u16string(name), u"Vombel Net");
  EXPECT_EQ(type, GSM::NetworkTypeUmts);
  int signal = 0;
  int extended = 0;
  ASSERT_EQ(DvGetSignalStrength(&signal, &extended), DV_S_OK);
  EXPECT_EQ(signal, 20);
  // It reports no signal by itself: the radio poll finds the change.
  ClearEvents();
  Card().SetSignal(12);
  ASSERT_TRUE(PumpUntil([&] { return CountEvents(EventSignalStrengthChanged) > 0; }));
  ASSERT_EQ(DvGetSignalStrength(&signal, &extended), DV_S_OK);
  EXPECT_EQ(signal, 12);
  ASSERT_EQ(DvGetWcdmaSignalStrength(&signal), DV_S_OK);
  EXPECT_EQ(signal, 0);

  // LTE: the EPS registration counts for packet data.
  Card().Update([](sim::CardState& s) { s.network_rat = 7; });
  ASSERT_TRUE(PumpUntil([&] { return Device().GetAccessTechnology() == GSM::PacketSwitchedTechnologyLte; }));
  EXPECT_EQ(NetworkType(), GSM::NetworkTypeLte);
  EXPECT_EQ(Device().GetPsState(), 1);

  // Back on an HSPA cell: no EPS registration, still packet registered.
  Card().Update([](sim::CardState& s) {
    s.network_rat = 2;
    s.cell_3g = 4;
  });
  ASSERT_TRUE(PumpUntil([&] { return Device().GetHsdpaState() == 1; }));
  EXPECT_EQ(Device().GetRadioTechnology(), GSM::RadioTechnologyHspa);
  EXPECT_EQ(Device().GetPsState(), 1);
  EXPECT_EQ(NetworkType(), GSM::NetworkTypeUmts);

  // GSM with EDGE.
  Card().Update([](sim::CardState& s) {
    s.network_rat = 0;
    s.cell_2g = 3;
  });
  ASSERT_TRUE(PumpUntil([&] { return Device().GetEdgeState() == 1; }));
  EXPECT_EQ(Device().GetHsdpaState(), 0);
  EXPECT_EQ(NetworkType(), GSM::NetworkTypeGsm);

  // Roaming, in both domains.
  Card().SetRegistration(5);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetCsState() == 5 && Device().GetPsState() == 5; }));
}

TEST_F(StandardCardRoadTest, ListsReadsSendsAndDeletesMessagesByTheCardsIndices) {
  ASSERT_TRUE(PlugAndInitializeStandard(sim::NewSimCard(CardKind::kStandard)
                                            .Registered(1)
                                            .SmsStorage(4)
                                            .WithStoredSms(Incoming("+491701111111", "old"))));
  ASSERT_TRUE(PumpUntil([&] { return Device().GetSimState() == 1 && Device().PostPinOperationDone(); }));
  SmsMessage* list = nullptr;
  uint32_t count = 0;
  ASSERT_EQ(DvReadAllSmsMessages(&list, &count), DV_S_OK);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::u16string(list[0].Text), u"old");
  EXPECT_EQ(list[0].Index, 0u);
  DvFreeSmsMessages(list);

  ClearEvents();
  ASSERT_TRUE(Card().DeliverSms(Incoming("+491703333333", "new one")).has_value());
  ASSERT_TRUE(PumpUntil([&] { return CountEvents(EventSmsMessageArrived) > 0; }));
  const auto index = static_cast<uint32_t>(events_.back().parameter);
  EXPECT_EQ(index, 1u);
  SmsMessage message;
  ASSERT_EQ(DvReadSmsMessage(index, &message), DV_S_OK);
  EXPECT_EQ(std::u16string(message.Text), u"new one");

  SmsMessage outgoing;
  std::memset(&outgoing, 0, sizeof outgoing);
  const std::u16string address = u"+491709876543";
  const std::u16string text = u"hello";
  std::copy(address.begin(), address.end(), outgoing.Address);
  std::copy(text.begin(), text.end(), outgoing.Text);
  outgoing.Validity = 0xA7;
  ASSERT_EQ(DvWriteOrSendSmsMessage(&outgoing, 1), DV_S_OK);

  ASSERT_EQ(DvDeleteSmsMessage(0), DV_S_OK);
  EXPECT_FALSE(Card().Snapshot().sms[0].has_value());
  ASSERT_EQ(DvReadAllSmsMessages(&list, &count), DV_S_OK);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::u16string(list[0].Text), u"new one");
  DvFreeSmsMessages(list);
}

TEST_F(StandardCardRoadTest, DialsUpOverItsModemHangsUpAndIsLetGoWhenPulled) {
  ASSERT_TRUE(PlugAndInitializeStandard(sim::NewSimCard(CardKind::kStandard).Registered(1)));
  GSM::Connection& connection = *Device().CurrentConnection();
  ASSERT_EQ(connection.Connect(u"web.vombel", nullptr, nullptr, 0), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetConnectionState() == ConnectionState::Connected; }));
  // The AT port stays open beside the call.
  EXPECT_TRUE(Device().IsOpen());
  char16_t imsi[kDvNumberSize] = {};
  EXPECT_EQ(DvGetImsiNumber(imsi), DV_S_OK);
  ASSERT_EQ(connection.Disconnect(), DV_S_OK);
  ASSERT_TRUE(PumpUntil([&] { return Device().GetConnectionState() == ConnectionState::Disconnected; }));
  EXPECT_TRUE(errors_.empty());

  ClearEvents();
  Presence().Pull();
  ASSERT_TRUE(PumpUntil([&] { return Device().GetDeviceState() == DeviceState::NotFound; }));
  EXPECT_FALSE(Device().IsOpen());
  EXPECT_FALSE(Device().IsStandardCard());
}

}  // namespace
