#include "devicelib/sms_temporary.h"

#include <cstring>

#include "devicelib/device.h"
#include "devicelib/device_states.h"
#include "devicelib/library.h"
#include "devicelib/sms_message.h"
#include "devicelib/sms_pdu_decoder.h"
#include "platform/heap.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

template <typename Record>
Record* NewRecord() {
  auto* record = static_cast<Record*>(platform::LocalAlloc(sizeof(Record)));
  if (record != nullptr) std::memset(record, 0, sizeof(Record));
  return record;
}

}  // namespace

DvResult ProcessTemporaryMessage(bool status_report, std::u16string_view pdu, int length) {
  const bool broadcom = Device::Instance().IsBroadcomCard();
  const SMS::SmsPdu decoded = SMS::DecodePdu(pdu, length < 0 ? 0u : static_cast<uint32_t>(length), broadcom);
  if (decoded.StatusReport != status_report) return DV_E_UNUSABLE_MESSAGE;
  if (status_report) {
    auto* report = NewRecord<SmsStatusReportDetails>();
    if (report == nullptr) return platform::kResultOutOfMemory;
    SMS::FillSmsStatusReportDetails(decoded, *report);
    return RaiseEvent(EventSmsStatusReportArrived, reinterpret_cast<uintptr_t>(report));
  }
  auto* message = NewRecord<SmsMessage>();
  if (message == nullptr) return platform::kResultOutOfMemory;
  SMS::FillSmsMessage(decoded, 0, 0, 0, *message);
  return RaiseEvent(EventTemporarySmsMessageArrived, reinterpret_cast<uintptr_t>(message));
}

void InstallTemporaryMessageHandler() {
  Device::Instance().SetTemporaryMessageHandler(&ProcessTemporaryMessage);
}

}  // namespace GSM
