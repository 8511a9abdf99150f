// SMS PDU text -> records: SMS-DELIVER, SMS-SUBMIT and SMS-STATUS-REPORT
// (TS 23.040) as the card hands them over in +CMGR, +CMGL, +CMT and +CDS.
// Pure: the text and the length the card reported in, a record out.
#pragma once

#include <cstdint>
#include <string_view>

#include "devicelib/sms_message.h"

namespace SMS {

// The PDU text of n characters against the TPDU length L the card reported:
// n even and more than 1, only hexadecimal digits, and n = 2L, or
// n = 2(L + s + 1) with s the service-centre length octet, or on a
// Broadcom-based card (which leaves the length octet out of its count)
// n = 2(L + s). Logs why it refuses (error).
bool ValidatePdu(std::u16string_view pdu, uint32_t reported_length, bool broadcom_card);

// Never raises: a PDU that fails validation or decoding gives a record of
// message type 0 (after "Invalid PDU detected!", or "Invalid PDU detected!
// (binary content is invalid) (err=0x%x)").
SmsPdu DecodePdu(std::u16string_view pdu, uint32_t reported_length, bool broadcom_card = false);

// TP-DCS -> alphabet (0 GSM 7-bit, 1 8-bit, 2 UCS2) and class (0 none,
// 1..4 class 0..3); `cdma_7bit` is set for the most-significant-bit-first
// packing of 0x80..0x8F.
void DecodeDataCodingScheme(uint8_t dcs, uint32_t& alphabet, uint32_t& message_class, bool& cdma_7bit);

// Fills every field of `message` from `pdu`: the text fields are cut to
// their size less the terminator, the time stamp is set for received
// messages only, Validity and StatusReportRequest are 0.
void FillSmsMessage(const SmsPdu& pdu, uint32_t stored, uint32_t index, uint32_t storage_status,
                    SmsMessage& message);

// The same, and the concatenation header: a header element whose total is
// below 2, or whose sequence number is 0 or beyond the total, is ignored
// (TS 23.040 9.2.3.24.1), and the message counts as one in one piece.
void FillSmsMessageDetails(const SmsPdu& pdu, uint32_t stored, uint32_t index, uint32_t storage_status,
                           SmsMessageDetails& details);

// Fills every field of `report` from a status report's record.
void FillSmsStatusReport(const SmsPdu& pdu, SmsStatusReport& report);
// The same, with the message reference and the discharge time.
void FillSmsStatusReportDetails(const SmsPdu& pdu, SmsStatusReportDetails& details);

// Decode and fill in one step, what the SMS commands and the benchmarks
// use.
inline void DecodeSmsMessage(std::u16string_view pdu, uint32_t reported_length, bool broadcom_card,
                             uint32_t stored, uint32_t index, uint32_t storage_status,
                             SmsMessage& message) {
  FillSmsMessage(DecodePdu(pdu, reported_length, broadcom_card), stored, index, storage_status,
                 message);
}
inline void DecodeSmsMessageDetails(std::u16string_view pdu, uint32_t reported_length, bool broadcom_card,
                                    uint32_t stored, uint32_t index, uint32_t storage_status,
                                    SmsMessageDetails& details) {
  FillSmsMessageDetails(DecodePdu(pdu, reported_length, broadcom_card), stored, index, storage_status, details);
}

}  // namespace SMS
