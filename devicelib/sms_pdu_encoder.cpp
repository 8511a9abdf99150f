#include "devicelib/sms_pdu_encoder.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "devicelib/gsm_alphabet.h"
#include "devicelib/gsm_string.h"
#include "devicelib/result_codes.h"
#include "devicelib/sms_address.h"
#include "devicelib/sms_codepage.h"
#include "devicelib/sms_hex.h"
#include "devicelib/sms_packers.h"
#include "devicelib/sms_text_split.h"
#include "devicelib/valid_char.h"

namespace SMS {
namespace {

constexpr uint8_t kFirstOctetSubmit = 0x11;          // SMS-SUBMIT, relative validity
constexpr uint8_t kFirstOctetStatusReport = 0x20;    // TP-SRR
constexpr uint8_t kFirstOctetUserDataHeader = 0x40;  // TP-UDHI
constexpr uint8_t kDcsClassBase = 0x10;
constexpr uint8_t kDcs8Bit = 0x04;
constexpr uint8_t kDcsUcs2 = 0x08;

// The concatenation header with an 8-bit reference: UDHL, element 00 of
// three octets (reference, total, sequence).
constexpr size_t kConcatHeaderOctets = 6;
constexpr uint8_t kIeConcat8 = 0x00;
// Septets the header takes in 7-bit user data, its fill bit included.
constexpr size_t kConcatHeaderSeptets = (kConcatHeaderOctets * 8 + 6) / 7;

template <size_t size>
std::u16string_view Field(const char16_t (&field)[size], size_t max) {
  const size_t length = std::find(field, field + std::min(size, max), u'\0') - field;
  return {field, length};
}

BinaryAddress RequireAddress(std::u16string_view text) {
  const std::optional<BinaryAddress> address = ExactBinaryAddress(text);
  if (!address) DvRaise(DV_E_UNUSABLE_MESSAGE);
  return *address;
}

void AppendDigits(std::u16string& out, const BinaryAddress& address) {
  AppendHex(out, std::span<const uint8_t>(address.Digits, (address.DigitCount + 1u) / 2));
}

uint8_t TypeOctet(const BinaryAddress& address) {
  return address.International ? kAddressTypeInternational : kAddressTypeUnknown;
}

// The longest prefix of `text` whose GSM septets fit, never splitting an
// escape from its code.
std::vector<uint8_t> GsmSeptets(std::u16string_view text, size_t max_septets) {
  std::vector<uint8_t> septets(GSM::GsmSeptetCount(text));
  septets.resize(GSM::UnicodeToGsmBytes(text, septets));
  if (septets.size() > max_septets) {
    septets.resize(max_septets);
    // Walk the kept codes: a last ESC whose code fell off goes too.
    size_t i = 0;
    while (i < septets.size()) i += septets[i] == GSM::kGsmEscape ? 2 : 1;
    if (i > septets.size()) septets.pop_back();
  }
  return septets;
}

// How many characters of `text` fit into `max_octets` of code page 949.
size_t Fitting8BitCharacters(std::u16string_view text, size_t max_octets) {
  bool used_default = false;
  if (UnicodeToSms8Bit(text, used_default).size() <= max_octets) return text.size();
  size_t octets = 0;
  size_t count = 0;
  while (count < text.size()) {
    const size_t next = UnicodeToSms8Bit(text.substr(count, 1), used_default).size();
    if (octets + next > max_octets) break;
    octets += next;
    ++count;
  }
  return count;
}

size_t FittingUcs2Units(std::u16string_view text, size_t max_units) {
  if (text.size() <= max_units) return text.size();
  size_t count = max_units;
  const char16_t last = text[count - 1];
  if (last >= 0xD800 && last <= 0xDBFF) --count;  // half a character would be left
  return count;
}

EncodedPdu Encode(const SmsMessage& message, const SmsConcatenation* part) {
  if (message.Alphabet > kDvAlphabetUcs2) DvRaise(DV_E_INVALID_ARGUMENT);
  const BinaryAddress destination = RequireAddress(Field(message.Address, kSmsAddressSize));
  const BinaryAddress service_centre =
      RequireAddress(Field(message.ServiceCentre, kSmsAddressSize));
  const std::u16string_view text = Field(message.Text, kSmsTextMax);

  EncodedPdu encoded;
  std::u16string& out = encoded.Text;
  if (service_centre.DigitCount == 0) {
    AppendHex(out, 0x01);
    AppendHex(out, kAddressTypeUnknown);
  } else {
    AppendHex(out, static_cast<uint8_t>((service_centre.DigitCount + 1) / 2 + 1));
    AppendHex(out, TypeOctet(service_centre));
    AppendDigits(out, service_centre);
  }
  const size_t service_centre_characters = out.size();

  uint8_t first = kFirstOctetSubmit;
  if (message.StatusReportRequest) first |= kFirstOctetStatusReport;
  if (part != nullptr) first |= kFirstOctetUserDataHeader;
  AppendHex(out, first);
  AppendHex(out, 0x00);  // TP-MR: the card sets it
  AppendHex(out, destination.DigitCount);
  AppendHex(out, TypeOctet(destination));
  AppendDigits(out, destination);
  AppendHex(out, 0x00);  // TP-PID

  uint8_t dcs = message.Class >= 1 && message.Class <= 4
                    ? static_cast<uint8_t>(kDcsClassBase + message.Class - 1)
                    : 0x00;
  if (message.Alphabet == kDvAlphabet8Bit) dcs |= kDcs8Bit;
  if (message.Alphabet == kDvAlphabetUcs2) dcs |= kDcsUcs2;
  AppendHex(out, dcs);
  AppendHex(out, message.Validity);

  std::vector<uint8_t> header;
  if (part != nullptr) {
    header = {static_cast<uint8_t>(kConcatHeaderOctets - 1), kIeConcat8, 3, static_cast<uint8_t>(part->Reference),
              static_cast<uint8_t>(part->Total), static_cast<uint8_t>(part->Sequence)};
  }
  std::vector<uint8_t> user_data;
  size_t udl = 0;
  if (message.Alphabet == kDvAlphabetGsm7Bit) {
    const std::vector<uint8_t> septets =
        text.empty() ? std::vector<uint8_t>() : GsmSeptets(text, part ? kPartSeptets : kSingleSeptets);
    Packer7bit packer;
    // The text starts on the septet boundary after the header: the header's
    // septets are packed as zeros and then overwritten by its octets, which
    // leaves the fill bit 0.
    const size_t header_septets = header.empty() ? 0 : kConcatHeaderSeptets;
    for (size_t i = 0; i < header_septets; ++i) packer.Put(0);
    packer.Put(septets);
    user_data = packer.Finish();
    std::copy(header.begin(), header.end(), user_data.begin());
    udl = header_septets + septets.size();
  } else {
    user_data = header;
    if (!text.empty()) {
      std::vector<uint8_t> packed;
      if (message.Alphabet == kDvAlphabet8Bit) {
        const std::u16string_view kept =
            text.substr(0, Fitting8BitCharacters(text, part ? kPartOctets : kSingleOctets));
        packed = Packer8bit::Pack(kept.data(), kept.size());
      } else {
        packed = Packer16bit::Pack(text.substr(0, FittingUcs2Units(text, part ? kPartUcs2Units : kSingleUcs2Units)));
      }
      user_data.insert(user_data.end(), packed.begin(), packed.end());
    }
    udl = user_data.size();
  }
  AppendHex(out, static_cast<uint8_t>(udl));
  AppendHex(out, user_data);

  // Cannot happen with the limits above (340 characters at most); kept as
  // the buffer's bound.
  if (out.size() > kPduTextMax) out.resize(kPduTextMax);
  encoded.TpduLength = static_cast<uint32_t>((out.size() - service_centre_characters) / 2);
  return encoded;
}

}  // namespace

EncodedPdu EncodePdu(const SmsMessage& message) { return Encode(message, nullptr); }

EncodedPdu EncodePdu(const SmsMessage& message, const SmsConcatenation& part) {
  if (part.Reference > 0xFF || part.Total < 2 || part.Total > kMaxConcatenatedParts || part.Sequence < 1 ||
      part.Sequence > part.Total) {
    DvRaise(DV_E_INVALID_ARGUMENT);
  }
  return Encode(message, &part);
}

}  // namespace SMS
