// The detected card's smart card reader: whether the card has one at all
// (read from its sub-devices' instance IDs), the reader itself by name, and
// the quirk of the first insertion, when the reader shows up unconfigured
// and the system briefly reports the card as removed.
#pragma once

#include "carddetect/detection_state.h"

// The smart card reader presence test by instance ID (Windows 2000 and
// later, Models 0x800 to 0x7FFF other than 0x900 and 0xA00; a no-op
// otherwise). A card without a reader loses
// CardDriverCapabilitiesSmartCardReader.
void DetectSmartCardReaderById(NwLibraryState& state);

// The reader by its description; with `require_flag`, only for a card that
// has CardDriverCapabilitiesSmartCardReader.
bool DetectSmartCardReader(NwLibraryState& state, bool require_flag);

// True when the reader of a card in CardStateStarting or later is present
// but not yet configured: the removal the system reports next is not the
// card going away. Made at most once per detected card.
bool IsFirstInsertionsFakeRemoval(NwLibraryState& state);
