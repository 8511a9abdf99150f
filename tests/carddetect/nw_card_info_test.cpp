#include "carddetect/nw_card_info.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "carddetect/detection_state.h"

namespace {

TEST(NwCardInfoTest, LayoutKeepsTheOffsetsOlderClientsWereBuiltWith) {
  EXPECT_EQ(offsetof(NwCardInfo, AppPortName), 36u);
  EXPECT_EQ(offsetof(NwCardInfo, ModemName), 556u);
  EXPECT_EQ(offsetof(NwCardInfo, WwanNdisPortName), 1596u);
  EXPECT_EQ(offsetof(NwCardInfo, DevNode), 4716u);
  EXPECT_EQ(offsetof(NwCardInfo, DeviceInstanceId), 4720u);
  EXPECT_EQ(offsetof(NwCardInfo, DriverVersionMs), 5240u);
  for (uint32_t size : {1u, 1595u, 1597u, 5000u, 5249u}) EXPECT_FALSE(IsValidNwCardInfoSize(size)) << size;
  for (uint32_t size : kNwCardInfoSizes) EXPECT_TRUE(IsValidNwCardInfoSize(size)) << size;
}

TEST(NwCardInfoTest, TextFieldsAreCutAndTerminated) {
  NwCardInfo info{};
  SetCardInfoText(info.ModemName, std::u16string(300, u'm'));
  EXPECT_EQ(CardInfoText(info.ModemName).size(), kNwCardInfoTextMax);
  EXPECT_EQ(info.ModemName[kNwCardInfoTextMax], u'\0');
  EXPECT_EQ(info.WwanNicName[0], u'\0') << "the next field is untouched";
  SetCardInfoText(info.ModemName, u"short");
  EXPECT_EQ(CardInfoText(info.ModemName), u"short");
  EXPECT_EQ(info.ModemName[6], u'\0') << "the rest is cleared";
}

TEST(NwCardInfoTest, ResetKeepsTheTableAndTheReplugNode) {
  NwLibraryState state;
  state.card_db.entries.resize(2);
  state.card_info.State = CardStateStarted;
  state.card_info.Model = 0x100;
  SetCardInfoText(state.card_info.AppPortName, u"\\\\.\\ttyUSB0");
  state.detection.card_index = 1;
  state.detection.modem_node = 7;
  state.detection.fake_removal_tested = true;
  state.replug_node = 9;
  ResetCardInfo(state);
  EXPECT_EQ(state.card_info.State, static_cast<uint32_t>(CardStateStopped));
  EXPECT_EQ(state.card_info.Model, 0u);
  EXPECT_EQ(CardInfoText(state.card_info.AppPortName), u"");
  EXPECT_EQ(state.detection.card_index, -1);
  EXPECT_EQ(state.detection.modem_node, 0u);
  EXPECT_FALSE(state.detection.fake_removal_tested);
  EXPECT_EQ(state.DetectedCard(), nullptr);
  EXPECT_EQ(state.card_db.entries.size(), 2u);
  EXPECT_EQ(state.replug_node, 9u);
  EXPECT_EQ(CardStateName(CardStateSuspended), "Suspended");
  EXPECT_EQ(CardStateName(9), "Unknown");
}

}  // namespace
