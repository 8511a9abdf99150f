// The two SMS records the library exchanges with its client, and the codec's
// working record of one PDU.
//
// SmsMessage and SmsStatusReport cross the library's interface by value: the
// library allocates them from the local heap (platform::LocalAlloc) for reads
// and for the records it raises with events 11 and 12, and the client frees
// them with platform::LocalFree; for writes the client fills its own. So both
// are standard-layout PODs of fixed size whose layout never changes: every
// text field is a zero-terminated UTF-16 array, and nothing in them owns
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Text fields: zero-terminated, at most size - 1 characters.
inline constexpr size_t kSmsAddressSize = 22;   // originator, destination, service centre
inline constexpr size_t kSmsAddressMax = kSmsAddressSize - 1;
inline constexpr size_t kSmsTextSize = 161;     // one message's text
inline constexpr size_t kSmsTextMax = kSmsTextSize - 1;

// SmsMessage::MessageType
inline constexpr uint32_t kSmsMessageTypeInvalid = 0;   // the PDU failed validation or decoding
inline constexpr uint32_t kSmsMessageTypeReceived = 1;  // SMS-DELIVER, or a status report
inline constexpr uint32_t kSmsMessageTypeSubmit = 3;    // SMS-SUBMIT
inline constexpr uint32_t kSmsMessageTypeOther = 4;     // the reserved TP-MTI 3

// SmsMessage::StorageStatus, as +CMGR/+CMGL number them.
inline constexpr uint32_t kSmsStorageReceivedUnread = 0;
inline constexpr uint32_t kSmsStorageReceivedRead = 1;
inline constexpr uint32_t kSmsStorageStoredUnsent = 2;
inline constexpr uint32_t kSmsStorageStoredSent = 3;

// SmsMessage::Class: 0 no message class, 1..4 are the classes 0..3.
inline constexpr uint32_t kSmsNoClass = 0;

// SmsMessage::Alphabet takes the alphabet numbers of valid_char.h
// (kDvAlphabetGsm7Bit 0, kDvAlphabet8Bit 1, kDvAlphabetUcs2 2).

struct SmsMessage {
  uint32_t Stored;         // 1 read from the SIM storage, 0 delivered directly (+CMT)
  uint32_t Index;          // storage index as the client counts it, from 0
  uint32_t MessageType;    // kSmsMessageType...
  uint32_t StorageStatus;  // kSmsStorage...; 0 for delivered messages
  uint32_t Class;          // 0 none, 1..4 = class 0..3
  uint32_t Alphabet;       // 0 GSM 7-bit, 1 8-bit, 2 UCS2
  alignas(8) uint64_t TimeStamp;  // service-centre time stamp, file time (100 ns since 1601, UTC); 0 unless MessageType is 1
  uint8_t Validity;        // TP-VP, relative format, used when writing; 0 in read records
  char16_t Address[kSmsAddressSize];        // originator (read) or destination (write)
  char16_t ServiceCentre[kSmsAddressSize];  // "+" and digits
  char16_t Text[kSmsTextSize];
  uint32_t StatusReportRequest;  // non-zero asks for a status report when writing; 0 in read records
};

struct SmsStatusReport {
  alignas(8) uint64_t TimeStamp;  // the report's service-centre time stamp, file time as above
  char16_t Recipient[kSmsAddressSize];
  uint8_t Status;      // TP-ST as received
};

// The layout a client compiled against relies on, the same in the 32-bit and
// the 64-bit build: the 64-bit time stamps are aligned to 8 bytes in both
// (i386 would align them to 4 and move every field after one).
static_assert(std::is_standard_layout_v<SmsMessage> && std::is_trivial_v<SmsMessage>);
static_assert(std::is_standard_layout_v<SmsStatusReport> && std::is_trivial_v<SmsStatusReport>);
static_assert(offsetof(SmsMessage, Stored) == 0);
static_assert(offsetof(SmsMessage, Index) == 4);
static_assert(offsetof(SmsMessage, MessageType) == 8);
static_assert(offsetof(SmsMessage, StorageStatus) == 12);
static_assert(offsetof(SmsMessage, Class) == 16);
static_assert(offsetof(SmsMessage, Alphabet) == 20);
static_assert(offsetof(SmsMessage, TimeStamp) == 24);
static_assert(offsetof(SmsMessage, Validity) == 32);
static_assert(offsetof(SmsMessage, Address) == 34);
static_assert(offsetof(SmsMessage, ServiceCentre) == 78);
static_assert(offsetof(SmsMessage, Text) == 122);
static_assert(offsetof(SmsMessage, StatusReportRequest) == 444);
static_assert(sizeof(SmsMessage) == 448);
static_assert(offsetof(SmsStatusReport, TimeStamp) == 0);
static_assert(offsetof(SmsStatusReport, Recipient) == 8);
static_assert(offsetof(SmsStatusReport, Status) == 52);
static_assert(sizeof(SmsStatusReport) == 56);
static_assert(alignof(SmsMessage) == 8 && alignof(SmsStatusReport) == 8);

// Every status-report record the library raises with event 12 is allocated
// as this: the record above, then what ties the report to the message it is
// about and the time of its outcome. A client that knows it reads the rest
// through the same pointer; one that does not sees the record above. Freed
// as one block.
struct SmsStatusReportDetails {
  SmsStatusReport Report;
  uint32_t MessageReference;  // TP-MR of the reported message, 0..255
  alignas(8) uint64_t DischargeTime;  // TP-DT, file time as above; 0 when unreadable
};
static_assert(std::is_standard_layout_v<SmsStatusReportDetails> && std::is_trivial_v<SmsStatusReportDetails>);
static_assert(offsetof(SmsStatusReportDetails, Report) == 0);
static_assert(offsetof(SmsStatusReportDetails, MessageReference) == 56);
static_assert(offsetof(SmsStatusReportDetails, DischargeTime) == 64);
static_assert(sizeof(SmsStatusReportDetails) == 72);

// Where a message stands in a long message: the parts of one long message
// carry the same reference and total, and each its own sequence number
// (1..total). A message in one piece has total 1, sequence 1 and reference 0.
struct SmsConcatenation {
  uint32_t Reference;  // 0..255 (8-bit header element) or 0..65535 (16-bit)
  uint32_t Total;      // 1..255
  uint32_t Sequence;   // 1..Total
};
static_assert(std::is_standard_layout_v<SmsConcatenation> && std::is_trivial_v<SmsConcatenation>);
static_assert(sizeof(SmsConcatenation) == 12);

// A read record with what ties it to the other parts of its long message:
// the record above first, so that a client that knows only SmsMessage reads
// it through the same pointer. The calls that return these are named
// ...Details (dv_api.h); the ones that return plain records are unchanged.
struct SmsMessageDetails {
  SmsMessage Message;
  SmsConcatenation Concatenation;
};
static_assert(std::is_standard_layout_v<SmsMessageDetails> && std::is_trivial_v<SmsMessageDetails>);
static_assert(offsetof(SmsMessageDetails, Message) == 0);
static_assert(offsetof(SmsMessageDetails, Concatenation) == 448 && sizeof(SmsMessageDetails) == 464);

#include <string>

namespace SMS {

// An address as the codec keeps a service centre or a reply address: the
// international flag ("+" first), the digit count and the digits, two per
// byte, the first in the low nibble, an odd count padded with 0xF.
inline constexpr size_t kBinaryAddressMaxDigits = 20;

struct BinaryAddress {
  uint8_t International = 0;
  uint8_t DigitCount = 0;
  uint8_t Digits[kBinaryAddressMaxDigits / 2] = {};
};

// The codec's working record of one PDU.
struct SmsPdu {
  BinaryAddress ServiceCentre;
  std::u16string Address;         // originator, destination or recipient, as text
  BinaryAddress ReplyAddress;     // from a reply-address header element
  uint32_t MessageType = kSmsMessageTypeInvalid;
  bool StatusReport = false;      // TP-MTI 2
  uint8_t Validity = 0;           // TP-VP, relative format (encoding only)
  bool StatusReportRequest = false;  // TP-SRR / TP-SRI / TP-SRQ
  bool ReplyPath = false;         // TP-RP
  bool UserDataHeader = false;    // TP-UDHI
  uint32_t Class = kSmsNoClass;   // 0..4, as SmsMessage::Class
  uint32_t Alphabet = 0;          // 0..2, as SmsMessage::Alphabet
  bool Cdma7Bit = false;          // septets packed most significant bit first
  uint8_t Status = 0;             // TP-ST
  uint8_t MessageReference = 0;   // TP-MR of a status report
  uint16_t ConcatReference = 0;
  uint8_t ConcatTotal = 1;
  uint8_t ConcatSequence = 1;
  std::u16string TimeStamp;       // TP-SCTS, "yy/MM/dd,hh:mm:ss+zz" (zone in quarter hours)
  std::u16string DischargeTime;   // TP-DT of a status report, same form
  std::u16string Text;            // at most kSmsTextMax characters
  bool EmsMms = false;            // a header element of EMS or MMS was seen
};

}  // namespace SMS
