// The card's own small SMS encoder: SMS-DELIVER and SMS-STATUS-REPORT PDUs
// for the messages the simulated network delivers, in the GSM 7-bit basic set
// or, when the text needs more, UCS2. It deliberately shares no code with the
// program's codec, so that a fault there shows up as a wrong decoding instead
// of cancelling itself out.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

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

// Where a message stands in a long one: the concatenation header with an
// 8-bit reference (TS 23.040 9.2.3.24.1).
struct MessagePart {
  int reference = 0;  // 0..255, the same for every part of the message
  int total = 2;      // 2..255
  int sequence = 1;   // 1..total
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
  // A part of a long message: the header goes before `text`, which then
  // holds at most 153 septets or 67 UCS2 characters.
  std::optional<MessagePart> part = std::nullopt;
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

// `message` as the network delivers a text of any length: itself when it
// fits one message, else its parts in order (153 septets or 67 UCS2
// characters each, an escaped character or a surrogate pair never cut), all
// with `reference`. More than 255 parts: the text is cut after the 255th.
std::vector<DeliverMessage> SplitIntoParts(const DeliverMessage& message, int reference);
EncodedPdu EncodeStatusReport(const StatusReport& report);

// The most a single message can carry.
inline constexpr size_t kMaxSeptets = 160;
inline constexpr size_t kMaxUcs2Characters = 70;
// And a part of a long one, after its six-octet header.
inline constexpr size_t kMaxPartSeptets = 153;
inline constexpr size_t kMaxPartUcs2Characters = 67;

}  // namespace sim
