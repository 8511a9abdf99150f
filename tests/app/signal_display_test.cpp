#include "app/signal_display.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "platform/text.h"

namespace {

using platform::Utf16ToUtf8;

constexpr uint32_t kStandard = CSettings::kSignalStandard5Bars;
constexpr uint32_t kExtended = CSettings::kSignalExtended5Bars;
constexpr uint32_t kWcdma5 = CSettings::kSignalWcdma5Bars;
constexpr uint32_t kWcdma4 = CSettings::kSignalWcdma4Bars;

TEST(SignalDisplayTest, WcdmaModesNeedTheCardsSupport) {
  struct Row {
    uint32_t stored;
    bool supported;
    uint32_t effective;
  };
  const Row rows[] = {
      {kStandard, false, kStandard}, {kExtended, false, kExtended}, {kWcdma5, false, kStandard},
      {kWcdma4, false, kStandard},   {kWcdma5, true, kWcdma5},      {kWcdma4, true, kWcdma4},
      {kExtended, true, kExtended},  {7, true, kStandard},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(EffectiveSignalMode(row.stored, row.supported), row.effective)
        << "mode " << row.stored << " supported " << row.supported;
  }
}

TEST(SignalDisplayTest, IconAndTextLevelFollowTheModesScale) {
  struct Row {
    uint32_t mode;
    int value;
    int icon;
    const char* text;
  };
  const Row rows[] = {
      // The +CSQ scale, in both five-bar modes alike.
      {kStandard, 0, 0, "No signal"},        {kStandard, 2, 0, "No signal"},
      {kStandard, 3, 1, "Very low signal"},  {kStandard, 4, 1, "Very low signal"},
      {kStandard, 5, 2, "Low signal"},       {kStandard, 7, 2, "Low signal"},
      {kStandard, 8, 3, "Good signal"},      {kStandard, 11, 3, "Good signal"},
      {kStandard, 12, 4, "Very good signal"}, {kStandard, 16, 4, "Very good signal"},
      {kStandard, 17, 5, "Excellent signal"}, {kStandard, 31, 5, "Excellent signal"},
      {kExtended, 11, 3, "Good signal"},     {kExtended, 12, 4, "Very good signal"},
      {kExtended, 17, 5, "Excellent signal"}, {kExtended, 30, 5, "Excellent signal"},
      // WCDMA five bars: the value is the level.
      {kWcdma5, 0, 0, "No signal"},          {kWcdma5, 3, 3, "Good signal"},
      {kWcdma5, 5, 5, "Excellent signal"},   {kWcdma5, 9, 5, "Excellent signal"},
      // WCDMA four bars: one bar already reads "Low signal".
      {kWcdma4, 0, 0, "No signal"},          {kWcdma4, 1, 1, "Low signal"},
      {kWcdma4, 2, 2, "Good signal"},        {kWcdma4, 3, 3, "Very good signal"},
      {kWcdma4, 4, 4, "Excellent signal"},   {kWcdma4, 6, 4, "Excellent signal"},
  };
  for (const Row& row : rows) {
    const SignalLevel level = ComputeSignalLevel(row.mode, row.value);
    EXPECT_EQ(level.icon, row.icon) << "mode " << row.mode << " value " << row.value;
    EXPECT_EQ(Utf16ToUtf8(SignalText(level.text_level)), row.text) << "mode " << row.mode << " value " << row.value;
  }
}

TEST(SignalDisplayTest, WcdmaFourBarsWithoutSupportReadsAsStandard) {
  const uint32_t mode = EffectiveSignalMode(kWcdma4, false);
  EXPECT_EQ(ComputeSignalLevel(mode, 4).icon, 1);  // 4 bars in the WCDMA scale
  EXPECT_EQ(ComputeSignalLevel(mode, 4).text_level, 1);
  EXPECT_EQ(ComputeSignalLevel(mode, 12).icon, 4);
}

// A value the card cannot have meant as a level (99 "unknown" of +CSQ, a
// negative one) shows no signal, never excellent.
TEST(SignalDisplayTest, ValueOutsideTheCardsRangeShowsNoSignal) {
  for (uint32_t mode : {kStandard, kExtended, kWcdma5, kWcdma4}) {
    for (int value : {99, 32, -1, -99}) {
      const SignalLevel level = ComputeSignalLevel(mode, value);
      EXPECT_EQ(level.icon, 0) << "mode " << mode << " value " << value;
      EXPECT_EQ(Utf16ToUtf8(SignalText(level.text_level)), "No signal") << "mode " << mode << " value " << value;
    }
  }
  for (int value : {99, 32, -1}) {
    const SignalPicture picture = MakeSignalPicture(value);
    EXPECT_EQ(picture.units, 0) << value;
    for (const SignalBar& bar : picture.bars) EXPECT_EQ(bar.filled_width, 0) << value;
  }
}

TEST(SignalDisplayTest, FillUnitsGrowByTheIncrements) {
  struct Row {
    int value;
    int units;
  };
  const Row rows[] = {
      {0, 0},   {2, 0},    {3, 15},   {6, 60},   {7, 70},   {9, 90},   {10, 96},
      {14, 120}, {15, 125}, {17, 135}, {18, 137}, {19, 138}, {30, 149}, {31, 150},
  };
  for (const Row& row : rows) EXPECT_EQ(SignalFillUnits(row.value), row.units) << "value " << row.value;
  int previous = 0;
  for (int value = 0; value <= kMaxSignalValue; ++value) {
    const int units = SignalFillUnits(value);
    EXPECT_GE(units, previous) << value;
    previous = units;
  }
}

TEST(SignalDisplayTest, PictureBarsAndTheirFill) {
  struct Row {
    int value;
    int filled[5];
  };
  const Row rows[] = {
      {31, {32, 32, 32, 32, 32}},  // 150 units: every bar
      {6, {32, 32, 0, 0, 0}},      // 60 units: exactly two
      {2, {0, 0, 0, 0, 0}},
      {7, {32, 32, 10, 0, 0}},     // 70: the third bar to its remainder
      {18, {32, 32, 32, 32, 17}},  // 137
  };
  for (const Row& row : rows) {
    const SignalPicture picture = MakeSignalPicture(row.value);
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(picture.bars[i].filled_width, row.filled[i]) << "value " << row.value << " bar " << i;
    }
  }

  const SignalPicture picture = MakeSignalPicture(0);
  const int heights[] = {32, 40, 48, 56, 64};
  for (size_t i = 0; i < 5; ++i) {
    const SignalBar& bar = picture.bars[i];
    EXPECT_EQ(bar.x, static_cast<int>(i) * 36) << i;
    EXPECT_EQ(bar.width, 32) << i;
    EXPECT_EQ(bar.height, heights[i]) << i;
    EXPECT_EQ(bar.y + bar.height, SignalPicture::kHeight) << i;  // standing on the bottom
  }
  EXPECT_EQ(picture.bars[4].x + picture.bars[4].width, SignalPicture::kWidth);
  EXPECT_EQ(SignalPicture::kFrame, (SignalRgb{128, 128, 128}));
  EXPECT_EQ(SignalPicture::kFill, (SignalRgb{0, 192, 0}));
  EXPECT_EQ(SignalPicture::kBackground, (SignalRgb{255, 255, 255}));
}

}  // namespace
