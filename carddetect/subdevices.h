// The searches for the detected card's modem and serial ports, and the final
// test that the application port can be used. Each fills its fields of the
// record and its node in the detection state on success and reports whether
// it found the sub-device; the detection state machine decides when to call
// them and retries them on later polls or device events.
#pragma once

#include "carddetect/detection_state.h"

// The modem by its friendly name. For a card without a separate application
// port, the modem's port is the application port.
bool DetectModem(NwLibraryState& state);

// The application port by the card's detection method: by name among the
// ports (methods 1, 2) or by probing the names the patterns give (3, 4).
bool DetectAppPort(NwLibraryState& state);
bool DetectDefaultAppPort(NwLibraryState& state);
// Each pattern of the card's application port list formatted with 0 to 20;
// the first name that opens for reading and writing is the port.
bool DetectAppPortByPattern(NwLibraryState& state);

// The secondary application port and the diagnostics port by name; only
// with detection methods 1 and 2.
bool DetectDefaultApp2Port(NwLibraryState& state);
bool DetectDefaultDbgPort(NwLibraryState& state);

// Opens AppPortName for reading and writing. A port another program holds
// counts as working: the card is there, someone else is using it. Success
// marks the final port verified.
bool TestFinalPort(NwLibraryState& state);
