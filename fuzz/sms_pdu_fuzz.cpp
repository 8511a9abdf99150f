// The SMS PDU codec on arbitrary input. The first byte picks the mode: even,
// the rest is a PDU text (with the reported length that matches it, and
// once with a length taken from the input) for the decoder; odd, the rest
// fills an SmsMessage for the encoder, whose output must decode again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "devicelib/result_codes.h"
#include "devicelib/sms_pdu_decoder.h"
#include "devicelib/sms_pdu_encoder.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void Decode(std::u16string_view text, uint32_t length) {
  const SMS::SmsPdu pdu = SMS::DecodePdu(text, length, (length & 1) != 0);
  Require(pdu.Text.size() <= kSmsTextMax);
  SmsMessage message;
  SMS::FillSmsMessage(pdu, 1, 0, 0, message);
  Require(message.Text[kSmsTextMax] == 0 && message.Address[kSmsAddressMax] == 0);
  SmsStatusReport report;
  SMS::FillSmsStatusReport(pdu, report);
  SmsMessageDetails details;
  SMS::FillSmsMessageDetails(pdu, 1, 0, 0, details);
  const SmsConcatenation& part = details.Concatenation;
  Require(part.Total >= 1 && part.Sequence >= 1 && part.Sequence <= part.Total);
}

void Encode(const uint8_t* data, size_t size) {
  SmsMessage message{};
  std::memcpy(&message, data, size < sizeof(message) ? size : sizeof(message));
  message.Alphabet %= 4;
  try {
    const SMS::EncodedPdu encoded = SMS::EncodePdu(message);
    Require(encoded.Text.size() <= SMS::kPduTextMax);
    const SMS::SmsPdu back = SMS::DecodePdu(encoded.Text, encoded.TpduLength);
    Require(back.MessageType == kSmsMessageTypeSubmit);
    // The same record as a part of a long message, numbered from its own
    // bytes: refused, or a header the decoder reads back.
    const SmsConcatenation part{message.Validity, (message.Class % 255) + 1, (message.Stored % 255) + 1};
    const SMS::EncodedPdu encoded_part = SMS::EncodePdu(message, part);
    Require(encoded_part.Text.size() <= SMS::kPduTextMax);
    const SMS::SmsPdu part_back = SMS::DecodePdu(encoded_part.Text, encoded_part.TpduLength);
    Require(part_back.MessageType == kSmsMessageTypeSubmit && part_back.ConcatReference == part.Reference && part_back.ConcatTotal == part.Total &&
            part_back.ConcatSequence == part.Sequence);
  } catch (const DvException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Logged at trace level into nothing: the log lines and dumps run too.
  static const bool quiet = (XLogSetSink(&Discard, nullptr), XLogSetThreshold(kXLogTrace), true);
  (void)quiet;
  if (size == 0) return 0;
  if (data[0] % 2 == 1) {
    Encode(data + 1, size - 1);
    return 0;
  }
  const std::u16string text(data + 1, data + size);
  Decode(text, static_cast<uint32_t>(text.size() / 2));
  if (text.size() >= 2) {
    const uint32_t centre = static_cast<uint32_t>(text[0] & 0x7F);
    Decode(text, static_cast<uint32_t>(text.size() / 2) - std::min<uint32_t>(centre + 1, static_cast<uint32_t>(text.size() / 2)));
  }
  return 0;
}
