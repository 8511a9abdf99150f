#include "carddetect/smart_card_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/carddetect/sim_card_tree.h"
#include "tests/support/log_capture.h"

namespace {

using platform::SimDeviceTree;
using testing_support::CardNode;
using testing_support::CardSection;
using testing_support::IdNode;
using testing_support::LogCapture;
using testing_support::ReaderNode;

class SmartCardReaderTest : public testing_support::DetectionFixture {
 protected:
  void Card(const std::string& model, int family, const std::string& driver_cap) {
    ResetCardInfo(state_);
    LoadDb(CardSection{}.Model(model).Family(family).DriverCap(driver_cap).With("SmartCardReader=Reader").Text());
    Detected(0, card_);
    state_.card_info.State = CardStateStarting;
  }

  platform::DEVINST card_ = tree_.Add(0, CardNode("USB", "USB\\VID_1111&PID_0001"));
};

TEST_F(SmartCardReaderTest, PresenceIsReadFromTheInterfaceIds) {
  tree_.Add(card_, IdNode(u"USB\\VID_1111&PID_0001&MI_03\\1"));
  struct Row {
    std::string model;
    int family;
    bool keeps_flag;
  };
  const std::vector<Row> rows = {
      {"0x1000", 3, true},   // family 3 names the reader by interface number
      {"0x1000", 5, false},  // others by "_SC\"
      {"0x900", 5, true},    // composite-interface models are not tested
      {"0x100", 5, true},    // nor models outside the classified range
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.model + " family " + std::to_string(row.family));
    Card(row.model, row.family, "0x88");
    DetectSmartCardReaderById(state_);
    EXPECT_EQ((state_.card_info.DriverCapabilities & CardDriverCapabilitiesSmartCardReader) != 0, row.keeps_flag);
  }
}

TEST_F(SmartCardReaderTest, ReaderIsFoundWhateverItsStateAndOnlyWithTheFlagWhenAsked) {
  const auto reader = tree_.Add(card_, ReaderNode("Vombel Reader"));
  tree_.SetStatus(reader, platform::DN_HAS_PROBLEM, platform::CM_PROB_NOT_CONFIGURED);
  Card("0x1000", 5, "0x80");
  EXPECT_FALSE(DetectSmartCardReader(state_, true));
  ASSERT_TRUE(DetectSmartCardReader(state_, false));
  EXPECT_EQ(CardInfoText(state_.card_info.SmartCardReaderName), u"Vombel Reader");
  EXPECT_EQ(state_.detection.smart_card_reader_node, reader);
}

TEST_F(SmartCardReaderTest, FakeRemovalIsTestedOncePerCard) {
  const auto reader = tree_.Add(card_, ReaderNode("Vombel Reader"));
  tree_.SetStatus(reader, platform::DN_HAS_PROBLEM, platform::CM_PROB_NOT_CONFIGURED);
  Card("0x1000", 5, "0x80");
  state_.card_info.State = CardStateStopped;
  EXPECT_FALSE(IsFirstInsertionsFakeRemoval(state_)) << "no card started yet";
  state_.card_info.State = CardStateStarting;

  LogCapture log;
  EXPECT_TRUE(IsFirstInsertionsFakeRemoval(state_));
  EXPECT_TRUE(log.Contains("Nw: Fake removal detected due to the first insertion of a device with a smart card reader"));
  log.Clear();
  tree_.FailCall(SimDeviceTree::Call::GetStatus, 0, 31);  // a second status read would show
  EXPECT_FALSE(IsFirstInsertionsFakeRemoval(state_));
  EXPECT_TRUE(log.Lines().empty());
  tree_.FailCall(SimDeviceTree::Call::GetStatus, 0, 0);

  // The next card is tested again; a configured reader is no fake removal.
  Card("0x1000", 5, "0x80");
  tree_.SetStatus(reader, platform::DN_DRIVER_LOADED | platform::DN_STARTED);
  EXPECT_FALSE(IsFirstInsertionsFakeRemoval(state_));
  EXPECT_TRUE(log.Contains("Nw: DevNode " + testing_support::Hex(reader) + " status is 0xa, problem# is 0"));
}

}  // namespace
