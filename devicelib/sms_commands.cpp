// The SIM message store: the service centre, the storage size, reading one
// message or all of them, deleting, writing (and sending) a message, and
// sending a stored one.
#include <cstring>
#include <string>
#include <vector>

#include "devicelib/command_pattern.h"
#include "devicelib/dv_api.h"
#include "devicelib/sms_answers.h"
#include "devicelib/sms_pdu_decoder.h"
#include "devicelib/sms_pdu_encoder.h"
#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/heap.h"

using namespace GSM;

namespace {

constexpr uint32_t kScaTimeoutMs = 10000;
constexpr uint32_t kStorageTimeoutMs = 5000;
constexpr uint32_t kReadTimeoutMs = 10000;
constexpr uint32_t kListTimeoutMs = 20000;  // the whole listing
constexpr uint32_t kDeleteTimeoutMs = 5000;
constexpr uint32_t kSendFromSimTimeoutMs = 30000;
constexpr uint32_t kPduTimeoutMs = 30000;  // from the PDU text to the answer
// Broadcom-based cards take the PDU text in pieces, with a pause after each.
constexpr size_t kBroadcomPieceCharacters = 120;
constexpr uint32_t kBroadcomPiecePauseMs = 500;
constexpr char16_t kCtrlZ = 0x1A;
constexpr char16_t kEscape = 0x1B;

// The card's number of a client's storage index, and the client's of the
// card's.
uint64_t CardIndex(const Device& device, uint32_t index) {
  return uint64_t{index} + (device.IsOneBasedSimIndexCard() ? 1 : 0);
}
uint32_t ClientIndex(const Device& device, int index) {
  return static_cast<uint32_t>(index - (device.IsOneBasedSimIndexCard() ? 1 : 0));
}

std::u16string IndexedCommand(std::u16string_view command, uint64_t index) {
  std::u16string text(command);
  for (char c : std::to_string(index)) text.push_back(static_cast<char16_t>(c));
  return text;
}

// A failure the card reported with its final result: it is back at its
// command line.
bool CardAnswered(DvResult code) {
  const DvResult group = code & 0xFFFF0000u;
  return code == DV_E_ERROR || group == DV_E_CME_BASE || group == DV_E_CMS_BASE;
}

// After a failure between "AT+CMGW=" (or "AT+CMGS=") and the card's final
// result, the card may still be waiting for PDU text and would take the
// next commands as such: ESC ends that input without storing or sending
// anything. Best effort: the failure that led here is what the call returns.
void CancelPduInput(Device& device, DvResult failure) {
  XLogLevel(kXLogWarning, "Dv: DvWriteOrSendSmsMessage(): cancelling the PDU input after 0x%x", failure);
  try {
    device.SetCommand(std::u16string(1, kEscape));
    device.SendCommand(SendModeRaw);
  } catch (...) {
    // The port is gone or failing: nothing takes PDU text any more either.
  }
}

// `command` with the TPDU length, the prompt, the PDU text and Ctrl-Z, then
// the answer line with `prefix`; its number.
int SubmitPdu(Device& device, std::u16string_view command, std::u16string_view prefix, const SMS::EncodedPdu& pdu) {
  device.SetCommand(command);
  device.AppendCommandFormat("%u", pdu.TpduLength);
  device.SendCommand(SendModeNormal);
  try {
    device.ExpectLine(kPduPrompt);
    device.DropLine();
    if (device.IsBroadcomCard()) {
      for (size_t at = 0; at < pdu.Text.size(); at += kBroadcomPieceCharacters) {
        device.SetCommand(std::u16string_view(pdu.Text).substr(at, kBroadcomPieceCharacters));
        device.SendCommand(SendModeRaw);
        platform::Sleep(kBroadcomPiecePauseMs);
      }
    } else {
      device.AppendCommand(pdu.Text);
    }
    device.SetTimeout(kPduTimeoutMs);
    device.AppendCommand(kCtrlZ);
    device.SendCommand(SendModeRaw);
    device.ExpectLine(prefix);
    int number = 0;
    RaiseParseFailure(device, ParseSubmitAnswer(device.ReadRest(), number));
    device.DropLine();
    device.WaitFinal();
    return number;
  } catch (const DvException& e) {
    if (!CardAnswered(e.code) && e.code != DV_E_NO_DEVICE) CancelPduInput(device, e.code);
    throw;
  } catch (...) {
    CancelPduInput(device, kUnspecifiedFailure);
    throw;
  }
}

}  // namespace

DvResult DvGetSimSca(char16_t* text) {
  ClearText(text, kDvScaSize);
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (text == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    std::u16string number;
    SendQuery(device, u"AT+CSCA?", kCscaPrefix, kScaTimeoutMs,
              [&](std::u16string_view fields) { return ParseCscaAnswer(fields, number); });
    CopyText(text, kDvScaSize, number);
  });
}

DvResult DvGetSimSmsMessageStorageSize(int* total, int* used) {
  if (total != nullptr) *total = 0;
  if (used != nullptr) *used = 0;
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (total == nullptr || used == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    StorageUse storage;
    SendQuery(device, u"AT+CPMS?", kCpmsPrefix, kStorageTimeoutMs,
              [&](std::u16string_view fields) { return ParseCpmsAnswer(fields, storage); });
    *total = storage.total;
    *used = storage.used;
  });
}

namespace {

// Decodes into a plain record or into one with its concatenation header.
void Decode(std::u16string_view pdu, const StoredMessageHeader& header, bool broadcom, uint32_t index,
            SmsMessage& message) {
  SMS::DecodeSmsMessage(pdu, static_cast<uint32_t>(header.length), broadcom, 1, index,
                        static_cast<uint32_t>(header.status), message);
}
void Decode(std::u16string_view pdu, const StoredMessageHeader& header, bool broadcom, uint32_t index,
            SmsMessageDetails& details) {
  SMS::DecodeSmsMessageDetails(pdu, static_cast<uint32_t>(header.length), broadcom, 1, index,
                               static_cast<uint32_t>(header.status), details);
}

template <typename Record>
DvResult ReadOne(uint32_t index, Record* message) {
  if (message != nullptr) std::memset(message, 0, sizeof(Record));
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (message == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    const std::u16string rest =
        SendAndExpect(device, IndexedCommand(u"AT+CMGR=", CardIndex(device, index)), kCmgrPrefix, kReadTimeoutMs);
    StoredMessageHeader header;
    RaiseParseFailure(device, ParseCmgrHeader(rest, header));
    device.DropLine();
    const std::u16string pdu = device.ReadRest();
    device.DropLine();
    device.WaitFinal();
    Decode(pdu, header, device.IsBroadcomCard(), index, *message);
  });
}

template <typename Record>
DvResult ReadAll(Record** messages, uint32_t* count) {
  if (messages != nullptr) *messages = nullptr;
  if (count != nullptr) *count = 0;
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (messages == nullptr || count == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    const bool broadcom = device.IsBroadcomCard();
    // One budget for every wait of the listing.
    device.SetTimeout(kListTimeoutMs);
    device.SetCommand(u"AT+CMGL=4");
    device.SendCommand(SendModeNormal);
    // Collected here and handed over in one local-heap array once the
    // listing is complete: a failure on the way leaves nothing to free.
    std::vector<Record> list;
    while (!device.NextIsFinal()) {
      device.ExpectLine(kCmglPrefix);
      StoredMessageHeader header;
      RaiseParseFailure(device, ParseCmglHeader(device.ReadRest(), header));
      device.DropLine();
      const std::u16string pdu = device.ReadRest();
      device.DropLine();
      Decode(pdu, header, broadcom, ClientIndex(device, header.index), list.emplace_back());
    }
    device.WaitFinal();
    if (list.empty()) return;
    auto* array = static_cast<Record*>(platform::LocalAlloc(list.size() * sizeof(Record)));
    if (array == nullptr) DvRaise(platform::kResultOutOfMemory);
    std::memcpy(array, list.data(), list.size() * sizeof(Record));
    *messages = array;
    *count = static_cast<uint32_t>(list.size());
  });
}

}  // namespace

DvResult DvReadSmsMessage(uint32_t index, SmsMessage* message) { return ReadOne(index, message); }

DvResult DvReadSmsMessageDetails(uint32_t index, SmsMessageDetails* message) { return ReadOne(index, message); }

DvResult DvReadAllSmsMessages(SmsMessage** messages, uint32_t* count) { return ReadAll(messages, count); }

DvResult DvReadAllSmsMessageDetails(SmsMessageDetails** messages, uint32_t* count) {
  return ReadAll(messages, count);
}

DvResult DvFreeSmsMessageDetails(SmsMessageDetails* messages) {
  if (messages != nullptr) platform::LocalFree(messages);
  return DV_S_OK;
}

DvResult DvFreeSmsMessages(SmsMessage* messages) {
  if (messages != nullptr) platform::LocalFree(messages);
  return DV_S_OK;
}

DvResult DvDeleteSmsMessage(uint32_t index) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    SendPlainCommand(device, IndexedCommand(u"AT+CMGD=", CardIndex(device, index)), kDeleteTimeoutMs);
  });
}

DvResult DvSendSmsMessageFromSim(uint32_t index) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    // The "+CMSS:" line (the message reference) is not needed.
    SendPlainCommand(device, IndexedCommand(u"AT+CMSS=", CardIndex(device, index)), kSendFromSimTimeoutMs);
  });
}

DvResult DvSendSmsMessageFromSim(uint32_t index, uint32_t* reference) {
  if (reference != nullptr) *reference = 0;
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (reference == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    int number = 0;
    SendQuery(device, IndexedCommand(u"AT+CMSS=", CardIndex(device, index)), kCmssPrefix, kSendFromSimTimeoutMs,
              [&](std::u16string_view fields) { return ParseSubmitAnswer(fields, number); });
    // TP-MR is one octet.
    *reference = static_cast<uint32_t>(number) & 0xFF;
  });
}

namespace {

// Writes (AT+CMGW) or sends (AT+CMGS) what `encode` makes of the record.
template <typename Encode>
DvResult WriteOrSend(SmsMessage* message, int send, Encode encode) {
  return RunCommandCall([&] {
    Device& device = Device::Instance();
    device.Guard();
    if (message == nullptr) DvRaise(DV_E_INVALID_ARGUMENT);
    const SMS::EncodedPdu pdu = encode(*message);
    if (pdu.Text.empty()) {
      XLogLevel(kXLogError, "DvWriteOrSendSmsMessage(): PDU is empty!");
      DvRaise(DV_E_UNUSABLE_MESSAGE);
    }
    if (send != 0) {
      SubmitPdu(device, u"AT+CMGS=", kCmgsPrefix, pdu);
      return;
    }
    const int index = SubmitPdu(device, u"AT+CMGW=", kCmgwPrefix, pdu);
    message->Index = ClientIndex(device, index);
  });
}

}  // namespace

DvResult DvWriteOrSendSmsMessage(SmsMessage* message, int send) {
  return WriteOrSend(message, send, [](const SmsMessage& m) { return SMS::EncodePdu(m); });
}

DvResult DvWriteSmsMessage(SmsMessage* message) { return DvWriteOrSendSmsMessage(message, 0); }

DvResult DvWriteOrSendSmsMessagePart(SmsMessage* message, int send, SmsConcatenation part) {
  return WriteOrSend(message, send, [&](const SmsMessage& m) { return SMS::EncodePdu(m, part); });
}

DvResult DvWriteSmsMessagePart(SmsMessage* message, SmsConcatenation part) {
  return DvWriteOrSendSmsMessagePart(message, 0, part);
}
