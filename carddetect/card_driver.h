// What the detected card's driver offers beside the sub-devices: its bus
// device and its version. Both are looked up once the card's sub-devices are
// complete; neither decides whether detection is.
#pragma once

#include <string_view>

#include "carddetect/detection_state.h"

// The bus device's name pattern for the detected card ("\\.\vlfbus%d" ...),
// empty for models without one.
std::u16string_view BusDevicePattern(const NwCardInfo& info);

// In CardStateStarting, with a card detected and BusDeviceName still empty:
// the first of the pattern's names 0 to 19 that exists becomes BusDeviceName.
bool DetectBusDevice(NwLibraryState& state);

// In CardStateStarting, with a card detected: DriverVersionMs/Ls from the
// compatible driver of the WWAN adapter, else the modem, else the
// application port.
bool DetectDriverVersion(NwLibraryState& state);
