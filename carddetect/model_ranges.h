// The card models and families detection treats specially.
#pragma once

#include <cstdint>

// Cards of these models have sub-devices that are classified by their
// instance IDs, and whose activity gates detection.
inline constexpr uint32_t kClassifiedModelFirst = 0x800;
inline constexpr uint32_t kClassifiedModelLast = 0x7FFF;

// A card whose driver re-creates it after standby.
inline constexpr int32_t kFamilyReplugged = 7;

constexpr bool IsModelInRange(uint32_t model, uint32_t first, uint32_t last) {
  return model >= first && model <= last;
}

constexpr bool IsClassifiedModel(uint32_t model) {
  return IsModelInRange(model, kClassifiedModelFirst, kClassifiedModelLast);
}

// Models 0x900 and 0xA00 expose one composite interface whose class tells
// which functions the card has.
constexpr bool IsCompositeInterfaceModel(uint32_t model) { return model == 0x900 || model == 0xA00; }
