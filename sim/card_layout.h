// How each simulated card shows itself on the USB bus: its vendor and product
// IDs, which interface carries which of its functions, and the device names
// its driver offers besides. The card database names the sub-devices after
// these interfaces ("VID_F1A1&PID_0101&MI_02" is the 3G card's AT port), so
// a layout and its database section must agree; the presence tests run the
// real detection against the shipped database to make sure they do.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sim/card_class.h"

namespace sim {

enum class InterfaceFunction {
  kModem,        // a tty that is a modem (the modem port, or the only port)
  kAtPort,       // a tty that takes AT commands beside the modem
  kDiagnostics,  // a tty for the vendor's diagnostics protocol; it never answers
  kNetwork,      // the WWAN network adapter
};

// One function of one USB interface; an interface may carry several.
struct CardInterface {
  uint8_t number;  // bInterfaceNumber, the nn of "MI_nn"
  InterfaceFunction function;
};

struct CardLayout {
  uint16_t vendor_id;
  uint16_t product_id;
  uint16_t revision;
  std::span<const CardInterface> interfaces;  // in interface-number order
  // Device-name patterns with one %d, empty when the driver offers none:
  // the AT port reached only through the driver (no tty of its own) ...
  std::u16string_view at_port_pattern;
  // ... the WWAN NDIS control device, which names its adapter ...
  std::u16string_view ndis_pattern;
  // ... and the driver's bus device.
  std::u16string_view bus_device_pattern;
};

const CardLayout& LayoutOf(CardKind kind);

}  // namespace sim
