// Which functions the detected card exposes, read from the instance IDs (or
// the first interface's setup class) of the devices below it: the modem,
// the WWAN adapter, the primary and the secondary application port. The
// outcome adjusts the record's driver capability flags.
#pragma once

#include "carddetect/detection_state.h"

// For cards of Model 0x800 to 0x7FFF (others are left alone); marks the
// card classified.
void DetectAllSubdevices(NwLibraryState& state);
