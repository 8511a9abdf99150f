// Messages and status reports the card hands over directly ("+CMT:",
// "+CDS:"), which the unsolicited dispatcher passes on: decoded into a
// local-heap record and raised to the client, who frees it.
#pragma once

#include <string_view>

#include "devicelib/result_codes.h"

namespace GSM {

// `status_report` false ("+CMT:"): a received message becomes an SmsMessage
// (stored 0, index 0, storage status 0) raised with
// EventTemporarySmsMessageArrived; a status report is refused. True
// ("+CDS:"): a status report becomes an SmsStatusReport raised with
// EventSmsStatusReportArrived; anything else is refused. Refused: 0x8400001A;
// no memory: 0x8007000E; otherwise what RaiseEvent returned. Runs on the
// receiver thread.
DvResult ProcessTemporaryMessage(bool status_report, std::u16string_view pdu, int length);

// Makes ProcessTemporaryMessage the device's temporary-message handler
// (done by DvInitialize).
void InstallTemporaryMessageHandler();

}  // namespace GSM
