#include "sim/sms_submit_parser.h"

#include <cstdint>
#include <vector>

#include "platform/ascii.h"

namespace sim {
namespace {

constexpr size_t kMaxUserData = 140;

std::optional<std::vector<uint8_t>> Octets(std::string_view hex) {
  if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = platform::HexDigitValue(hex[i]);
    const int low = platform::HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return out;
}

char Digit(uint8_t nibble) {
  static constexpr char kDigits[] = "0123456789*#abc";
  return nibble < 15 ? kDigits[nibble] : '?';
}

// How many octets the user data of `udl` takes in the alphabet `dcs` names.
size_t UserDataOctets(uint8_t dcs, size_t udl) {
  bool septets = false;
  if ((dcs & 0xC0) == 0x00) {
    septets = (dcs & 0x20) == 0 && ((dcs >> 2) & 0x03) == 0;  // uncompressed GSM 7-bit
  } else if ((dcs & 0xF0) == 0xF0) {
    septets = (dcs & 0x04) == 0;
  } else if ((dcs & 0xF0) == 0xC0 || (dcs & 0xF0) == 0xD0) {
    septets = true;  // message waiting, GSM 7-bit
  }
  return septets ? (udl * 7 + 7) / 8 : udl;
}

}  // namespace

std::optional<SubmitSummary> ParseSubmitPdu(std::string_view hex) {
  const auto octets = Octets(hex);
  if (!octets) return std::nullopt;
  const std::vector<uint8_t>& o = *octets;
  size_t at = 0;
  auto need = [&](size_t n) { return o.size() - at >= n; };

  const size_t sca = o[at++];
  if (!need(sca)) return std::nullopt;
  at += sca;
  SubmitSummary summary;
  summary.tpdu_length = static_cast<int>(o.size() - at);

  if (!need(2)) return std::nullopt;
  const uint8_t first = o[at++];
  if ((first & 0x03) != 0x01) return std::nullopt;  // not an SMS-SUBMIT
  summary.status_report = (first & 0x20) != 0;
  summary.reference = o[at++];

  if (!need(2)) return std::nullopt;
  const size_t digits = o[at++];
  const uint8_t type = o[at++];
  const size_t address_octets = (digits + 1) / 2;
  if (digits > 20 || !need(address_octets)) return std::nullopt;
  if ((type & 0x70) == 0x10) summary.recipient = "+";
  for (size_t i = 0; i < digits; ++i) {
    const uint8_t octet = o[at + i / 2];
    summary.recipient.push_back(Digit(i % 2 == 0 ? octet & 0x0F : octet >> 4));
  }
  at += address_octets;

  if (!need(2)) return std::nullopt;
  at++;  // TP-PID
  const uint8_t dcs = o[at++];
  switch ((first >> 3) & 0x03) {  // TP-VPF
    case 0:
      break;
    case 2:
      if (!need(1)) return std::nullopt;
      at += 1;
      break;
    default:  // enhanced or absolute: seven octets
      if (!need(7)) return std::nullopt;
      at += 7;
      break;
  }
  if (!need(1)) return std::nullopt;
  const size_t ud_octets = UserDataOctets(dcs, o[at++]);
  if (ud_octets > kMaxUserData || o.size() - at != ud_octets) return std::nullopt;
  if ((first & 0x40) != 0) {  // TP-UDHI: the header's elements must add up within it
    if (ud_octets < 1) return std::nullopt;
    const size_t end = at + 1 + o[at];
    if (end > o.size()) return std::nullopt;
    for (size_t ie = at + 1; ie < end;) {
      if (end - ie < 2 || end - ie - 2 < o[ie + 1]) return std::nullopt;
      const uint8_t id = o[ie];
      const size_t length = o[ie + 1];
      const size_t data = ie + 2;
      if ((id == 0x00 && length == 3) || (id == 0x08 && length == 4)) {
        summary.part_reference = id == 0x00 ? o[data] : o[data] << 8 | o[data + 1];
        summary.part_total = o[data + length - 2];
        summary.part_sequence = o[data + length - 1];
      }
      ie = data + length;
    }
  }
  return summary;
}

}  // namespace sim
