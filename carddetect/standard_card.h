// Cards no database entry names: a USB device with serial ports, one of
// which answers "AT", is taken for a standard 3GPP card (kCardModelStandard)
// that knows only the standard commands.
//
// How the record is filled. The candidates are the device's tty sub-devices
// (the Ports and Modem nodes of its interfaces, one per port name), ordered
// by interface number, then by name. Each is probed once (ProbePort): the
// first that answers is the application port, a second one the modem port
// (unless only the first of the two has a Modem node: then that one is the
// modem and the other the application port). Without a second answering port, a CDC-ACM port with the AT protocol (a
// ttyACM with a Modem node) other than the application port is the modem;
// without that, the one port is both, as on the one-port GPRS cards. The
// record then says: Model kCardModelStandard, Family and Stack 0,
// DriverCapabilities CardDriverCapabilitiesModem, with
// CardDriverCapabilitiesMultiplexing when the application port is not the
// modem's; WWAN and WLAN capabilities 0; AppPortType 0 (serial);
// AppPortName "\\.\<port>"; ModemName the friendly name of the modem port's
// Modem node (its Ports node when it has none); DevNode, DeviceInstanceId
// and BusDeviceName as for database cards (the bus device is never found: a
// standard card has no driver of ours). The final port counts as verified,
// since it has just answered (or answered before, when it was probed
// earlier and is now held by the program using it).
//
// Probe results are kept per tty node in the library state: a port that did
// not answer (a USB serial adapter, a GPS receiver, a diagnostics port) is
// not probed again on every device event, and one that answered need not be
// asked again. Node numbers are never reused, so a device that goes and
// comes back is probed anew; the results of nodes that have gone are
// dropped. A port another program holds is not remembered: where it is
// ModemManager's, ModemManager is asked to leave the card alone and the port
// is probed once it is free (held_ports.h); a card whose every answering
// port stays held is the held card, whose sentence the client can read.
#pragma once

#include <optional>
#include <string_view>

#include "carddetect/card_info.h"

struct NwLibraryState;

// The table entry of the standard card: DetectedCard() while one is
// detected. No sub-device is searched by name (all methods disabled).
const CardDbEntry& StandardCardEntry();

// Finds a standard card among the USB devices that no database entry names,
// probing their unprobed ports, and fills the record and the detection
// state for it. False when there is none.
bool DetectStandardCard(NwLibraryState& state);

// Whether some USB device no database entry names has a port that was never
// probed: detection waits for the device to settle and then probes.
bool HasUnprobedStandardPorts(const NwLibraryState& state);

// Drops the probe results and the held ports of tty nodes that have gone
// (handing their devices back to ModemManager); on every device removal, so
// that a device that comes back is probed anew even where its nodes get
// their old numbers again.
void ForgetGoneStandardPorts(NwLibraryState& state);

// The interface number of an instance or hardware ID ("...&MI_02\..." is
// 2): the two hex digits after the first "MI_". Nullopt when there are none.
std::optional<unsigned> InterfaceNumberInId(std::u16string_view id);
