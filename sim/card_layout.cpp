#include "sim/card_layout.h"

#include <array>

namespace sim {
namespace {

using F = InterfaceFunction;

constexpr std::array<CardInterface, 4> k3g = {{{0, F::kModem}, {1, F::kDiagnostics}, {2, F::kAtPort}, {4, F::kNetwork}}};
constexpr std::array<CardInterface, 1> kGprs = {{{0, F::kModem}}};
constexpr std::array<CardInterface, 2> kTechnologySelection = {{{0, F::kModem}, {2, F::kAtPort}}};
constexpr std::array<CardInterface, 3> kStack3 = {{{0, F::kModem}, {2, F::kAtPort}, {3, F::kNetwork}}};
constexpr std::array<CardInterface, 2> k0E00 = {{{0, F::kModem}, {1, F::kAtPort}}};
constexpr std::array<CardInterface, 3> kComposite = {{{0, F::kModem}, {2, F::kAtPort}, {3, F::kNetwork}}};
// As the common USB modems number them: the modem first, the AT port on 2.
constexpr std::array<CardInterface, 2> kStandard = {{{0, F::kModem}, {2, F::kAtPort}}};

constexpr std::u16string_view kNdis = u"\\\\.\\VLNDIS%d";

const std::array<CardLayout, 7> kLayouts = {{
    {0xF1A1, 0x0101, 0x0100, k3g, {}, kNdis, {}},
    {0xF2A2, 0x0201, 0x0100, kGprs, {}, {}, {}},
    {0xF3A3, 0x0301, 0x0100, kTechnologySelection, {}, {}, {}},
    // The stack 3 card's AT port is no tty: its driver offers it by name.
    {0xF4A4, 0x0401, 0x0100, kStack3, u"\\\\.\\VLATP%d", {}, {}},
    {0xF5A5, 0x0501, 0x0100, k0E00, {}, {}, {}},
    {0xF6A6, 0x0601, 0x0100, kComposite, {}, kNdis, u"\\\\.\\vl72ubus%d"},
    // An ID the card database does not name.
    {0xF7A7, 0x0701, 0x0100, kStandard, {}, {}, {}},
}};

}  // namespace

const CardLayout& LayoutOf(CardKind kind) {
  switch (kind) {
    case CardKind::kMultiplexing3g:
      return kLayouts[0];
    case CardKind::kGprs:
      return kLayouts[1];
    case CardKind::kTechnologySelection:
      return kLayouts[2];
    case CardKind::kStack3:
      return kLayouts[3];
    case CardKind::kModel0E00:
      return kLayouts[4];
    case CardKind::kComposite:
      return kLayouts[5];
    case CardKind::kStandard:
      return kLayouts[6];
  }
  return kLayouts[0];
}

}  // namespace sim
