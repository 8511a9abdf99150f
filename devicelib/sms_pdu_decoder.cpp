#include "devicelib/sms_pdu_decoder.h"

#include <algorithm>
#include <new>
#include <vector>

#include "devicelib/gsm_string.h"
#include "devicelib/result_codes.h"
#include "devicelib/sms_address.h"
#include "devicelib/sms_codepage.h"
#include "devicelib/sms_hex.h"
#include "devicelib/sms_packers.h"
#include "devicelib/sms_time_stamp.h"
#include "devicelib/valid_char.h"
#include "foundation/xlog.h"
#include "platform/win32_error.h"

namespace SMS {
namespace {

constexpr uint8_t kMtiDeliver = 0;
constexpr uint8_t kMtiSubmit = 1;
constexpr uint8_t kMtiStatusReport = 2;

constexpr uint8_t kIeConcat8 = 0x00;
constexpr uint8_t kIeConcat16 = 0x08;
constexpr uint8_t kIeReplyAddress = 0x22;

bool IsEmsOrMmsElement(uint8_t id) {
  return id == 0x04 || id == 0x05 || id == 0x09 || (id >= 0x0D && id <= 0x1F);
}

// Characters: positions in the PDU text.
constexpr size_t kOctet = 2;

void ReadHeaderElements(const PduText& t, size_t begin, size_t end, SmsPdu& pdu) {
  size_t ie = begin;
  while (ie < end) {
    // An element whose identifier, length or data runs past the header is
    // not an element: the header lies about its length.
    if (ie + 2 * kOctet > end) DvRaise(DV_E_INVALID_HEX_DIGIT);
    const uint8_t id = t.Byte(ie);
    const uint8_t length = t.Byte(ie + kOctet);
    const size_t data = ie + 2 * kOctet;
    if (data + kOctet * length > end) DvRaise(DV_E_INVALID_HEX_DIGIT);

    if (id == kIeConcat8 || id == kIeConcat16) {
      const size_t reference_octets = id == kIeConcat8 ? 1 : 2;
      // Another length is no concatenation element we could read.
      if (length == reference_octets + 2) {
        pdu.ConcatReference = id == kIeConcat8
                                  ? t.Byte(data)
                                  : static_cast<uint16_t>(t.Byte(data) << 8 | t.Byte(data + kOctet));
        pdu.ConcatTotal = t.Byte(data + kOctet * reference_octets);
        pdu.ConcatSequence = t.Byte(data + kOctet * (reference_octets + 1));
      }
    } else if (id == kIeReplyAddress) {
      if (length > 0 && AddressFieldSize(t, data) == kOctet * length) {
        pdu.ReplyAddress = TextToBinaryAddress(DecodeAddressField(t, data, false).text);
      } else {
        XLogLevel(kXLogError, "Incorrect Reply Address, ignoring it...");
      }
    } else {
      XLogLevel(kXLogWarning, "Ignoring unknown UDH Information Element type 0x%x", id);
      if (IsEmsOrMmsElement(id)) {
        XLogLevel(kXLogTrace, "MMS/EMS message detected!");
        pdu.EmsMms = true;
      }
    }
    ie = data + kOctet * length;
  }
}

std::vector<uint8_t> ReadOctets(const PduText& t, size_t position, size_t count) {
  // One check for the whole run: the last digit must be there.
  if (count > 0) t.Nibble(position + kOctet * count - 1);
  std::vector<uint8_t> octets(count);
  for (size_t i = 0; i < count; ++i) octets[i] = t.Byte(position + kOctet * i);
  return octets;
}

void CutText(std::u16string& text) {
  if (text.size() > kSmsTextMax) text.resize(kSmsTextMax);
}

void ReadUserData(const PduText& t, size_t position, SmsPdu& pdu) {
  if (position + kOctet > t.Size()) DvRaise(DV_E_INVALID_HEX_DIGIT);
  const size_t udl = t.Byte(position);
  const size_t ud = position + kOctet;

  size_t header_octets = 0;
  if (pdu.UserDataHeader) {
    const size_t udhl = t.Byte(ud);
    header_octets = udhl + 1;
    const size_t end = ud + kOctet * header_octets;
    if (end > t.Size()) t.Nibble(end - 1);
    ReadHeaderElements(t, ud + kOctet, end, pdu);
  }

  if (pdu.Alphabet == kDvAlphabetGsm7Bit) {
    const size_t first = (8 * header_octets + 6) / 7;
    if (first > udl) DvRaise(DV_E_INVALID_HEX_DIGIT);
    const std::vector<uint8_t> octets = ReadOctets(t, ud, SeptetOctets(udl));
    const std::vector<uint8_t> septets = Unpack7bit(octets, first, udl - first, pdu.Cdma7Bit);
    pdu.Text = GSM::GsmBytesToUnicode(septets);
  } else if (pdu.Alphabet == kDvAlphabet8Bit) {
    if (header_octets > udl) DvRaise(DV_E_INVALID_HEX_DIGIT);
    const std::vector<uint8_t> octets =
        ReadOctets(t, ud + kOctet * header_octets, udl - header_octets);
    XLogLevel(kXLogTrace, "Input 8-bit SMS string (%d chars):", static_cast<int>(octets.size()));
    XLogHexDump(octets.data(), octets.size(), "8-bit: ");
    pdu.Text = Sms8BitToUnicode(octets);
    XLogLevel(kXLogTrace, "Output Unicode SMS string (%d chars):", static_cast<int>(pdu.Text.size()));
    XLogHexDump(pdu.Text.data(), pdu.Text.size() * sizeof(char16_t), "16-bit: ");
  } else {
    if (header_octets > udl) DvRaise(DV_E_INVALID_HEX_DIGIT);
    const size_t characters = (udl - header_octets) / 2;
    const std::vector<uint8_t> octets = ReadOctets(t, ud + kOctet * header_octets, 2 * characters);
    pdu.Text.resize(characters);
    for (size_t i = 0; i < characters; ++i) {
      pdu.Text[i] = static_cast<char16_t>(octets[2 * i] << 8 | octets[2 * i + 1]);
    }
  }
  CutText(pdu.Text);
}

void ReadDataCodingScheme(const PduText& t, size_t position, SmsPdu& pdu) {
  DecodeDataCodingScheme(t.Byte(position), pdu.Alphabet, pdu.Class, pdu.Cdma7Bit);
}

void DecodeValid(const PduText& t, SmsPdu& pdu) {
  const AddressField service_centre = DecodeAddressField(t, 0, true);
  pdu.ServiceCentre = TextToBinaryAddress(service_centre.text);
  size_t pos = service_centre.size;

  const uint8_t first = t.Byte(pos);
  pos += kOctet;
  const uint8_t mti = first & 0x3;
  const uint8_t vpf = (first >> 3) & 0x3;
  pdu.StatusReportRequest = (first & 0x20) != 0;
  pdu.UserDataHeader = (first & 0x40) != 0;
  pdu.ReplyPath = (first & 0x80) != 0;

  switch (mti) {
    case kMtiDeliver: {
      pdu.MessageType = kSmsMessageTypeReceived;
      const AddressField originator = DecodeAddressField(t, pos, false);
      pdu.Address = originator.text;
      pos += originator.size + kOctet;  // TP-PID
      ReadDataCodingScheme(t, pos, pdu);
      pos += kOctet;
      pdu.TimeStamp = DecodeTimeStamp(t, pos);
      pos += kTimeStampSize;
      ReadUserData(t, pos, pdu);
      break;
    }
    case kMtiSubmit: {
      pdu.MessageType = kSmsMessageTypeSubmit;
      pos += kOctet;  // TP-MR
      const AddressField destination = DecodeAddressField(t, pos, false);
      pdu.Address = destination.text;
      pos += destination.size + kOctet;  // TP-PID
      ReadDataCodingScheme(t, pos, pdu);
      pos += kOctet;
      static constexpr size_t kValidityOctets[] = {0, 7, 1, 7};
      pos += kOctet * kValidityOctets[vpf];
      ReadUserData(t, pos, pdu);
      break;
    }
    case kMtiStatusReport: {
      pdu.MessageType = kSmsMessageTypeReceived;
      pdu.StatusReport = true;
      pdu.MessageReference = t.Byte(pos);
      pos += kOctet;
      const AddressField recipient = DecodeAddressField(t, pos, false);
      pdu.Address = recipient.text;
      pos += recipient.size;
      pdu.TimeStamp = DecodeTimeStamp(t, pos);
      pos += kTimeStampSize;
      pdu.DischargeTime = DecodeTimeStamp(t, pos);
      pos += kTimeStampSize;
      pdu.Status = t.Byte(pos);
      break;
    }
    default:
      XLogLevel(kXLogWarning, "Dv: The PDU is not recognized");
      pdu.MessageType = kSmsMessageTypeOther;
      break;
  }
}

// Copies at most `size` - 1 characters and a terminator; the rest of the
// field is zero.
template <size_t size>
void CopyField(char16_t (&field)[size], std::u16string_view text) {
  const size_t count = std::min(text.size(), size - 1);
  std::fill(std::copy_n(text.begin(), count, field), field + size, u'\0');
}

}  // namespace

bool ValidatePdu(std::u16string_view pdu, uint32_t reported_length, bool broadcom_card) {
  const size_t n = pdu.size();
  if (n <= 1 || n % 2 != 0) {
    XLogLevel(kXLogError, "PDU is too short or has an odd length");
    return false;
  }
  if (!std::all_of(pdu.begin(), pdu.end(), IsHexDigit)) {
    XLogLevel(kXLogError, "PDU contains not only hexadecimal characters");
    return false;
  }
  const uint64_t length = reported_length;
  const uint64_t s = PduText(pdu).Byte(0);
  if (n == 2 * length || n == 2 * (length + s + 1) || (broadcom_card && n == 2 * (length + s))) {
    return true;
  }
  XLogLevel(kXLogError, "PDU length is invalid (its reported size does not match the real length)");
  return false;
}

void DecodeDataCodingScheme(uint8_t dcs, uint32_t& alphabet, uint32_t& message_class, bool& cdma_7bit) {
  alphabet = kDvAlphabetGsm7Bit;
  cdma_7bit = false;
  if (dcs <= 0x3F || (dcs >= 0x80 && dcs <= 0x8F)) {
    const uint8_t bits = (dcs >> 2) & 0x3;
    if (bits == 1) {
      alphabet = kDvAlphabet8Bit;
    } else if (bits == 2) {
      alphabet = kDvAlphabetUcs2;
    } else if (dcs >= 0x80) {
      cdma_7bit = true;
      XLogLevel(kXLogTrace, "CDMA 7-bit message detected!");
    }
  } else if (dcs >= 0xE0 && dcs <= 0xEF) {
    alphabet = kDvAlphabetUcs2;
  } else if (dcs >= 0xF0) {
    alphabet = (dcs & 0x04) ? kDvAlphabet8Bit : kDvAlphabetGsm7Bit;
  }
  message_class = (((dcs & 0xC0) == 0 && (dcs & 0x10)) || dcs >= 0xF0) ? (dcs & 0x3) + 1u : kSmsNoClass;
}

SmsPdu DecodePdu(std::u16string_view text, uint32_t reported_length, bool broadcom_card) {
  SmsPdu pdu;
  if (!ValidatePdu(text, reported_length, broadcom_card)) {
    XLogLevel(kXLogError, "Invalid PDU detected!");
    return pdu;
  }
  DvResult failure = DV_S_OK;
  try {
    DecodeValid(PduText(text), pdu);
  } catch (const DvException& e) {
    failure = e.code;
  } catch (const std::bad_alloc&) {
    failure = platform::kResultOutOfMemory;
  }
  if (failure != DV_S_OK) {
    XLogLevel(kXLogError, "Invalid PDU detected! (binary content is invalid) (err=0x%x)", failure);
    pdu = SmsPdu{};
  }
  return pdu;
}

void FillSmsMessage(const SmsPdu& pdu, uint32_t stored, uint32_t index, uint32_t storage_status,
                    SmsMessage& message) {
  message = SmsMessage{};
  message.Stored = stored;
  message.Index = index;
  message.MessageType = pdu.MessageType;
  message.StorageStatus = storage_status;
  message.Class = pdu.Class;
  message.Alphabet = pdu.Alphabet;
  if (pdu.MessageType == kSmsMessageTypeReceived) message.TimeStamp = TimeStampToFileTime(pdu.TimeStamp);
  CopyField(message.Address, pdu.Address);
  CopyField(message.ServiceCentre, BinaryAddressToText(pdu.ServiceCentre));
  CopyField(message.Text, pdu.Text);
}

void FillSmsMessageDetails(const SmsPdu& pdu, uint32_t stored, uint32_t index, uint32_t storage_status,
                           SmsMessageDetails& details) {
  details = SmsMessageDetails{};
  FillSmsMessage(pdu, stored, index, storage_status, details.Message);
  const bool part = pdu.ConcatTotal >= 2 && pdu.ConcatSequence >= 1 && pdu.ConcatSequence <= pdu.ConcatTotal;
  details.Concatenation = part ? SmsConcatenation{pdu.ConcatReference, pdu.ConcatTotal, pdu.ConcatSequence}
                               : SmsConcatenation{0, 1, 1};
}

void FillSmsStatusReport(const SmsPdu& pdu, SmsStatusReport& report) {
  report = SmsStatusReport{};
  report.TimeStamp = TimeStampToFileTime(pdu.TimeStamp);
  CopyField(report.Recipient, pdu.Address);
  report.Status = pdu.Status;
}

void FillSmsStatusReportDetails(const SmsPdu& pdu, SmsStatusReportDetails& details) {
  details = SmsStatusReportDetails{};
  FillSmsStatusReport(pdu, details.Report);
  details.MessageReference = pdu.MessageReference;
  details.DischargeTime = TimeStampToFileTime(pdu.DischargeTime);
}

}  // namespace SMS
