// The unsolicited result dispatcher of the device, fed lines as the engine
// hands them over (the read cursor at the start of the line).
#include <gtest/gtest.h>

#include <string>

#include "devicelib/device.h"
#include "devicelib/line.h"
#include "devicelib/line_classifier.h"
#include "tests/devicelib/device_fixture.h"

namespace {

using testing_support::DeviceFixture;

class UnsolicitedDispatcherTest : public DeviceFixture {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Initialize()); }

  // The code the dispatcher raised for the line (0 when none).
  DvResult Dispatch(uint32_t type, std::u16string text) {
    GSM::Line line(std::move(text));
    try {
      Device().HandleUnsolicited(type, line);
    } catch (const DvException& e) {
      return e.code;
    }
    return DV_S_OK;
  }

  std::vector<uintptr_t> NewMessageIndices() const {
    std::vector<uintptr_t> indices;
    for (const auto& e : events_) {
      if (e.code == EventSmsMessageArrived) indices.push_back(e.parameter);
    }
    return indices;
  }
};

TEST_F(UnsolicitedDispatcherTest, NewMessageIndicesCountFromZeroAndAZeroFromAOneBasedCardIsRefused) {
  // This class numbers its SIM storage from 1.
  ASSERT_TRUE(PlugAndInitialize(sim::NewSimCard(sim::CardKind::kMultiplexing3g).Registered(1)));
  ASSERT_TRUE(Device().IsOneBasedSimIndexCard());
  ClearEvents();
  EXPECT_EQ(Dispatch(GSM::UnsolicitedTypeCmti, u"+CMTI: \"SM\",3"), DV_S_OK);
  // No index 1 lower than the card's first: the line is malformed.
  EXPECT_EQ(Dispatch(GSM::UnsolicitedTypeCmti, u"+CMTI: \"SM\",0"), DV_E_UNEXPECTED_ANSWER);
  Settle();
  EXPECT_EQ(NewMessageIndices(), (std::vector<uintptr_t>{2}));
}

}  // namespace

namespace {

// Reports that reach the device after it let the card go (the receiver's
// last lines before the port closed, registration messages still queued on
// the window) must not bring back states of a card that is not there.
TEST_F(UnsolicitedDispatcherTest, ReportsAfterTheCardIsGoneChangeNothing) {
  ASSERT_EQ(Device().GetDeviceState(), GSM::DeviceState::NotFound);
  ClearEvents();
  struct Row {
    uint32_t type;
    std::u16string line;
  };
  const Row rows[] = {
      {GSM::UnsolicitedTypeSystemInfo, u"_OSSYSI: 2"},
      {GSM::UnsolicitedTypeBcmRadioInfo, u"*MRINFO: 2,0"},
      {GSM::UnsolicitedTypeCellType, u"_OCTI: 3"},
      {GSM::UnsolicitedTypeIdleText, u"_OIDLETEXT: 0,\"Vombel\""},
      {GSM::UnsolicitedTypeCreg, u"+CREG: 1"},
      {GSM::UnsolicitedTypeCgreg, u"+CGREG: 1"},
  };
  for (const Row& row : rows) EXPECT_EQ(Dispatch(row.type, row.line), DV_S_OK);
  Device().OnCsRegistration(GSM::NetworkState::Registered);
  Device().OnPsRegistration(GSM::NetworkState::RegisteredRoaming);
  Device().OnPdpContext(1, true);
  Settle();

  EXPECT_EQ(Device().GetAccessTechnology(), GSM::PacketSwitchedTechnologyNone);
  EXPECT_EQ(Device().GetEdgeState(), 0);
  EXPECT_EQ(Device().Get2GCellType(), 0);
  EXPECT_EQ(Device().GetIdleText(), u"");
  EXPECT_EQ(Device().GetCsState(), 0);
  EXPECT_EQ(Device().GetPsAttachState(), 0);
  EXPECT_EQ(Device().GetPsState(), 0);
  EXPECT_FALSE(Device().PdpContextActive());
  EXPECT_TRUE(events_.empty());
}

}  // namespace
