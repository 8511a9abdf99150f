#include "app/signal_display.h"

#include <algorithm>

#include "app/settings.h"

namespace {

// A value the card cannot have reported as a level: below 0, or above the
// RSSI scale, which is where +CSQ puts 99 "not known or not detectable".
// Read as a level, such a value would light every bar; we show no signal
// instead, in every mode and in the picture.
bool OutsideCardRange(int value) { return value < 0 || value > kMaxSignalValue; }

// Fill units each value adds, for 0..31: the first bars fill fast, the
// strong end of the scale slowly.
constexpr std::array<int, kMaxSignalValue + 1> kFillIncrements = {
    0,  0,  0,                          // 0..2
    15, 15, 15, 15,                     // 3..6
    10, 10, 10,                         // 7..9
    6,  6,  6,  6,  6,                  // 10..14
    5,  5,  5,                          // 15..17
    2,                                  // 18
    1,  1,  1,  1,  1,  1,  1, 1, 1, 1, 1, 1, 1,  // 19..31
};

constexpr int SumOfIncrements() {
  int sum = 0;
  for (int increment : kFillIncrements) sum += increment;
  return sum;
}
static_assert(SumOfIncrements() == kSignalFillUnits, "the strongest value fills every bar");

constexpr int kBarWidth = 32;
constexpr int kBarPitch = 36;
constexpr std::array<int, 5> kBarHeights = {32, 40, 48, 56, 64};

}  // namespace

uint32_t EffectiveSignalMode(uint32_t stored_mode, bool wcdma_signal_supported) {
  switch (stored_mode) {
    case CSettings::kSignalExtended5Bars:
      return stored_mode;
    case CSettings::kSignalWcdma5Bars:
    case CSettings::kSignalWcdma4Bars:
      return wcdma_signal_supported ? stored_mode : CSettings::kSignalStandard5Bars;
    default:
      return CSettings::kSignalStandard5Bars;
  }
}

SignalLevel ComputeSignalLevel(uint32_t effective_mode, int value) {
  if (OutsideCardRange(value)) return {};
  switch (effective_mode) {
    case CSettings::kSignalWcdma5Bars: {
      const int level = std::min(value, 5);
      return {level, level};
    }
    case CSettings::kSignalWcdma4Bars:
      // Four bars over five texts: one bar already reads "Low signal".
      if (value == 0) return {};
      if (value < 5) return {value, value + 1};
      return {4, 5};
    default: {
      static constexpr int kThresholds[] = {3, 5, 8, 12, 17};
      int level = 0;
      for (int threshold : kThresholds) {
        if (value >= threshold) ++level;
      }
      return {level, level};
    }
  }
}

std::u16string SignalText(int text_level, const StringLoader& strings) {
  return strings(kSignalTextStringId + static_cast<unsigned>(std::clamp(text_level, 0, 5)));
}

bool HasSignalPicture(uint32_t effective_mode) { return effective_mode == CSettings::kSignalExtended5Bars; }

int SignalFillUnits(int value) {
  if (OutsideCardRange(value)) return 0;
  int units = 0;
  for (int v = 0; v <= value; ++v) units += kFillIncrements[static_cast<size_t>(v)];
  return units;
}

SignalPicture MakeSignalPicture(int value) {
  SignalPicture picture;
  picture.units = SignalFillUnits(value);
  for (size_t i = 0; i < picture.bars.size(); ++i) {
    SignalBar& bar = picture.bars[i];
    bar.x = static_cast<int>(i) * kBarPitch;
    bar.width = kBarWidth;
    bar.height = kBarHeights[i];
    bar.y = SignalPicture::kHeight - bar.height;
    const int units = std::clamp(picture.units - static_cast<int>(i) * kSignalUnitsPerBar, 0, kSignalUnitsPerBar);
    // A full bar is filled whole; a partly filled one to the width of its
    // remaining units, one unit a pixel.
    bar.filled_width = units == kSignalUnitsPerBar ? kBarWidth : units;
  }
  return picture;
}
