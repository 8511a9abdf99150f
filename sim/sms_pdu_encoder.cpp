#include "sim/sms_pdu_encoder.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"
#include "sim/sim_alphabet.h"

namespace sim {
namespace {

using Octets = std::vector<uint8_t>;

constexpr uint8_t kTypeInternational = 0x91;
constexpr uint8_t kTypeUnknown = 0x81;
constexpr uint8_t kTypeAlphanumeric = 0xD0;
constexpr uint8_t kDeliverFirstOctet = 0x04;       // SMS-DELIVER, no more messages
constexpr uint8_t kStatusReportFirstOctet = 0x06;  // SMS-STATUS-REPORT, no more messages
constexpr uint8_t kDcsGsm7 = 0x00;
constexpr uint8_t kDcsUcs2 = 0x08;
constexpr uint8_t kDcsClass0 = 0x10;
constexpr uint8_t kUserDataHeaderIndicator = 0x40;  // TP-UDHI
constexpr size_t kPartHeaderSeptets = 7;            // six octets and a fill bit
constexpr size_t kMaxParts = 255;

bool IsDialString(std::string_view number) {
  if (number.empty()) return false;
  for (size_t i = 0; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '+' && i == 0) continue;
    if ((c < '0' || c > '9') && c != '*' && c != '#') return false;
  }
  return true;
}

uint8_t SemiOctet(char c) {
  if (c == '*') return 0xA;
  if (c == '#') return 0xB;
  return static_cast<uint8_t>(c - '0');
}

// Digits two to an octet, low nibble first, padded with F.
void AppendSwappedDigits(Octets& out, std::string_view digits) {
  for (size_t i = 0; i < digits.size(); i += 2) {
    const uint8_t low = SemiOctet(digits[i]);
    const uint8_t high = i + 1 < digits.size() ? SemiOctet(digits[i + 1]) : 0xF;
    out.push_back(static_cast<uint8_t>(high << 4 | low));
  }
}

// Septets packed LSB first into octets.
Octets PackSeptets(const std::string& septets) {
  Octets out;
  unsigned bits = 0;
  unsigned count = 0;
  for (char s : septets) {
    bits |= static_cast<unsigned>(static_cast<uint8_t>(s) & 0x7F) << count;
    count += 7;
    while (count >= 8) {
      out.push_back(static_cast<uint8_t>(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  }
  if (count > 0) out.push_back(static_cast<uint8_t>(bits & 0xFF));
  return out;
}

std::string BasicSeptets(std::string_view utf8) {
  std::string septets;
  for (char16_t ch : platform::Utf8ToUtf16(utf8)) {
    if (auto code = GsmBasicCode(ch)) septets.push_back(static_cast<char>(*code));
  }
  return septets;
}

// The basic set and the extension table (ESC + code); nothing when a
// character is in neither.
std::optional<std::string> ExtendedSeptets(std::string_view utf8) {
  std::string septets;
  for (char16_t ch : platform::Utf8ToUtf16(utf8)) {
    if (auto code = GsmBasicCode(ch)) {
      septets.push_back(static_cast<char>(*code));
    } else if (auto extension = GsmExtensionCode(ch)) {
      septets.push_back(kGsmEscape);
      septets.push_back(static_cast<char>(*extension));
    } else {
      return std::nullopt;
    }
  }
  return septets;
}

// An originating or recipient address field (TP-OA, TP-RA).
void AppendAddress(Octets& out, const std::string& address) {
  if (IsDialString(address)) {
    const bool international = address[0] == '+';
    const std::string_view digits = std::string_view(address).substr(international ? 1 : 0);
    out.push_back(static_cast<uint8_t>(digits.size()));
    out.push_back(international ? kTypeInternational : kTypeUnknown);
    AppendSwappedDigits(out, digits);
    return;
  }
  // A sender name: packed 7-bit text, its length counted in semi-octets.
  std::string septets = BasicSeptets(address);
  if (septets.size() > 11) septets.resize(11);
  const Octets packed = PackSeptets(septets);
  out.push_back(static_cast<uint8_t>((septets.size() * 7 + 3) / 4));
  out.push_back(kTypeAlphanumeric);
  out.insert(out.end(), packed.begin(), packed.end());
}

void AppendServiceCentre(Octets& out, const std::string& number) {
  if (!IsDialString(number)) {
    out.push_back(0);
    return;
  }
  const bool international = number[0] == '+';
  const std::string_view digits = std::string_view(number).substr(international ? 1 : 0);
  out.push_back(static_cast<uint8_t>(1 + (digits.size() + 1) / 2));
  out.push_back(international ? kTypeInternational : kTypeUnknown);
  AppendSwappedDigits(out, digits);
}

uint8_t SwappedBcd(int value) {
  const int v = (value % 100 + 100) % 100;
  return static_cast<uint8_t>((v % 10) << 4 | (v / 10));
}

void AppendTimestamp(Octets& out, const SmsTimestamp& t) {
  for (int v : {t.year, t.month, t.day, t.hour, t.minute, t.second}) out.push_back(SwappedBcd(v));
  const int quarters = t.zone_quarters < 0 ? -t.zone_quarters : t.zone_quarters;
  uint8_t zone = SwappedBcd(quarters % 80);
  if (t.zone_quarters < 0) zone |= 0x08;  // the sign sits in the tens digit's top bit
  out.push_back(zone);
}

EncodedPdu Finish(const Octets& octets, size_t service_centre_octets) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  EncodedPdu pdu;
  for (uint8_t b : octets) {
    pdu.hex.push_back(kHex[b >> 4]);
    pdu.hex.push_back(kHex[b & 0xF]);
  }
  pdu.tpdu_length = static_cast<int>(octets.size() - service_centre_octets);
  return pdu;
}

}  // namespace

EncodedPdu EncodeDeliver(const DeliverMessage& message) {
  Octets out;
  AppendServiceCentre(out, message.service_centre);
  const size_t sca_octets = out.size();
  out.push_back(message.part ? kDeliverFirstOctet | kUserDataHeaderIndicator : kDeliverFirstOctet);
  AppendAddress(out, message.originator);
  out.push_back(0x00);  // TP-PID: plain short message
  std::optional<std::string> septets;
  if (FitsGsmBasicSet(message.text)) {
    septets = BasicSeptets(message.text);
  } else if (message.extension_table) {
    septets = ExtendedSeptets(message.text);
  }
  uint8_t dcs = septets ? kDcsGsm7 : kDcsUcs2;
  if (message.flash) dcs |= kDcsClass0;
  out.push_back(dcs);
  AppendTimestamp(out, message.time);
  Octets header;
  if (message.part) {
    header = {0x05, 0x00, 0x03, static_cast<uint8_t>(message.part->reference & 0xFF),
              static_cast<uint8_t>(message.part->total & 0xFF), static_cast<uint8_t>(message.part->sequence & 0xFF)};
  }
  if (septets) {
    const size_t max = message.part ? kMaxPartSeptets : kMaxSeptets;
    if (septets->size() > max) {
      // An escape is never parted from its code (no code is ESC itself).
      const bool split = (*septets)[max - 1] == kGsmEscape;
      septets->resize(split ? max - 1 : max);
    }
    // The header's septets are packed as zeros, then overwritten: the text
    // starts on the septet after the header and its fill bit.
    if (message.part) septets->insert(0, kPartHeaderSeptets, '\0');
    out.push_back(static_cast<uint8_t>(septets->size()));
    Octets packed = PackSeptets(*septets);
    std::copy(header.begin(), header.end(), packed.begin());
    out.insert(out.end(), packed.begin(), packed.end());
  } else {
    std::u16string text = platform::Utf8ToUtf16(message.text);
    const size_t max = message.part ? kMaxPartUcs2Characters : kMaxUcs2Characters;
    if (text.size() > max) text.resize(max);
    out.push_back(static_cast<uint8_t>(header.size() + text.size() * 2));
    out.insert(out.end(), header.begin(), header.end());
    for (char16_t ch : text) {
      out.push_back(static_cast<uint8_t>(ch >> 8));
      out.push_back(static_cast<uint8_t>(ch & 0xFF));
    }
  }
  return Finish(out, sca_octets);
}

std::vector<DeliverMessage> SplitIntoParts(const DeliverMessage& message, int reference) {
  const std::u16string text = platform::Utf8ToUtf16(message.text);
  const bool basic = FitsGsmBasicSet(message.text);
  const bool gsm = basic || (message.extension_table && ExtendedSeptets(message.text).has_value());
  // What each character costs in the alphabet the whole text would take.
  auto cost = [&](size_t at) -> size_t {
    if (!gsm) return 1;
    if (GsmBasicCode(text[at])) return 1;
    return basic ? 0 : 2;
  };
  size_t total = 0;
  for (size_t at = 0; at < text.size(); ++at) total += cost(at);
  if (total <= (gsm ? kMaxSeptets : kMaxUcs2Characters)) return {message};

  const size_t room = gsm ? kMaxPartSeptets : kMaxPartUcs2Characters;
  std::vector<std::u16string> texts;
  size_t start = 0;
  size_t used = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    const bool pair = !gsm && text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size();
    const size_t needs = pair ? 2 : cost(at);
    if (used + needs > room) {
      texts.push_back(text.substr(start, at - start));
      start = at;
      used = 0;
    }
    used += needs;
    if (pair) ++at;
  }
  texts.push_back(text.substr(start));
  if (texts.size() > kMaxParts) texts.resize(kMaxParts);

  std::vector<DeliverMessage> parts;
  for (size_t i = 0; i < texts.size(); ++i) {
    DeliverMessage part = message;
    part.text = platform::Utf16ToUtf8(texts[i]);
    part.part = MessagePart{reference & 0xFF, static_cast<int>(texts.size()), static_cast<int>(i) + 1};
    parts.push_back(std::move(part));
  }
  return parts;
}

EncodedPdu EncodeStatusReport(const StatusReport& report) {
  Octets out;
  AppendServiceCentre(out, report.service_centre);
  const size_t sca_octets = out.size();
  out.push_back(kStatusReportFirstOctet);
  out.push_back(static_cast<uint8_t>(report.reference & 0xFF));
  AppendAddress(out, report.recipient);
  AppendTimestamp(out, report.sent);
  AppendTimestamp(out, report.discharged);
  out.push_back(static_cast<uint8_t>(report.status & 0xFF));
  return Finish(out, sca_octets);
}

SmsTimestamp LocalSmsTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
          static_cast<int>(local.tm_gmtoff / 900)};
}

}  // namespace sim
