// The signal strength as the user sees it: the bar icon of the status pane,
// the signal text, and the picture of the "Signal Strength" popup that the
// extended mode shows. Plain values here; the user interface draws them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/string_loader.h"

// The mode the display runs in: the stored SignalStrengthMode, with the two
// WCDMA modes falling back to Standard5Bars on a card that does not answer
// the WCDMA signal query. An unknown mode reads as Standard5Bars.
uint32_t EffectiveSignalMode(uint32_t stored_mode, bool wcdma_signal_supported);

// The highest value a card reports in any mode (the RSSI scale of +CSQ).
inline constexpr int kMaxSignalValue = 31;

struct SignalLevel {
  int icon = 0;        // bar icon 0..5
  int text_level = 0;  // signal text 0..5
};

// Icon and text level of signal value `value` in `effective_mode`.
SignalLevel ComputeSignalLevel(uint32_t effective_mode, int value);

// String 105 + `text_level`, "No signal" .. "Excellent signal".
inline constexpr unsigned kSignalTextStringId = 105;
std::u16string SignalText(int text_level, const StringLoader& strings = LoadProgramString);

// Only the extended mode has the popup picture.
bool HasSignalPicture(uint32_t effective_mode);

// The picture's fill: 0..150 units, 30 to a bar.
inline constexpr int kSignalFillUnits = 150;
inline constexpr int kSignalUnitsPerBar = 30;
int SignalFillUnits(int value);

struct SignalRgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const SignalRgb&) const = default;
};

// One bar of the picture, bottom-aligned: its frame is the rectangle (x, y,
// width, height); the green fill covers (x, y, filled_width, height).
struct SignalBar {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int filled_width = 0;
};

struct SignalPicture {
  static constexpr int kWidth = 176;
  static constexpr int kHeight = 64;
  static constexpr SignalRgb kBackground{255, 255, 255};
  static constexpr SignalRgb kFrame{128, 128, 128};
  static constexpr SignalRgb kFill{0, 192, 0};

  int units = 0;
  std::array<SignalBar, 5> bars;
};

// The popup picture for signal value `value`: bars 32 wide, 36 apart, 32, 40,
// 48, 56 and 64 high, filled left to right.
SignalPicture MakeSignalPicture(int value);
