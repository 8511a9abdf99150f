// The card's own small SMS encoder: SMS-DELIVER and SMS-STATUS-REPORT PDUs
// for the messages the simulated network delivers, in the GSM 7-bit basic set
// or, when the text needs more, UCS2. It deliberately shares no code with the
// program's codec, so that a fault there shows up as a wrong decoding instead
// of cancelling itself out.
#pragma once

#include <ctime>
#include <string>

namespace sim {

// The service-centre time stamp of a message; `zone_quarters` is the offset
// from UTC in quarter hours (may be negative).
struct SmsTimestamp {
  int year = 2026;  // only the last two digits travel
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int zone_quarters = 0;
};

struct DeliverMessage {
  std::string service_centre;  // "+4917..." or empty for none
  std::string originator;      // a number, or an alphanumeric sender name
  std::string text;            // UTF-8
  SmsTimestamp time;
  bool flash = false;          // message class 0: shown, not stored
  // Characters of the GSM extension table ("€", "[", "{" ...) go as ESC and
  // their code in the 7-bit alphabet, as most senders do, instead of making
  // the whole message UCS2.
  bool extension_table = false;
};

struct StatusReport {
  std::string service_centre;
  int reference = 0;           // TP-MR of the message it reports on
  std::string recipient;
  SmsTimestamp sent;           // TP-SCTS
  SmsTimestamp discharged;     // TP-DT
  int status = 0;              // TP-ST, 0 = delivered
};

struct EncodedPdu {
  std::string hex;             // service-centre address included, upper case
  int tpdu_length = 0;         // octets after the service-centre address
};

// A moment of the calendar in local time, as a service centre stamps it.
SmsTimestamp LocalSmsTime(std::time_t when);

EncodedPdu EncodeDeliver(const DeliverMessage& message);
EncodedPdu EncodeStatusReport(const StatusReport& report);

// The most a single message can carry.
inline constexpr size_t kMaxSeptets = 160;
inline constexpr size_t kMaxUcs2Characters = 70;

}  // namespace sim
