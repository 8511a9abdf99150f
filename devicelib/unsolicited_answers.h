// Readers of the fields of the unsolicited results the dispatcher acts on.
// Each takes the text after the result's prefix (for "+CREG: 2,1" that is
// u" 2,1") and returns DV_S_OK or DV_E_UNEXPECTED_ANSWER (0x84000004) when a
// mandatory field is missing; the dispatcher raises that code so the engine
// logs the dropped line. They never throw and touch nothing but their
// outputs, which keep their old values on failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "devicelib/line_classifier.h"
#include "devicelib/network_answers.h"
#include "devicelib/result_codes.h"

namespace GSM {

inline constexpr std::u16string_view kClipPrefix = kUnsolicitedPrefixes[UnsolicitedTypeClip];
inline constexpr std::u16string_view kCregPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCreg];
inline constexpr std::u16string_view kCgregPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCgreg];
inline constexpr std::u16string_view kCmtiPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCmti];
inline constexpr std::u16string_view kOsigqPrefix = kUnsolicitedPrefixes[UnsolicitedTypeSignalQuality];
inline constexpr std::u16string_view kOeantPrefix = kUnsolicitedPrefixes[UnsolicitedTypeWcdmaSignal];
inline constexpr std::u16string_view kCdsPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCds];
inline constexpr std::u16string_view kCmtPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCmt];
inline constexpr std::u16string_view kOssysiPrefix = kUnsolicitedPrefixes[UnsolicitedTypeSystemInfo];
inline constexpr std::u16string_view kCusdPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCusd];
inline constexpr std::u16string_view kOctiPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCellType];
inline constexpr std::u16string_view kOgactPrefix = kUnsolicitedPrefixes[UnsolicitedTypePdpContext];
inline constexpr std::u16string_view kOidletextPrefix = kUnsolicitedPrefixes[UnsolicitedTypeIdleText];
inline constexpr std::u16string_view kMcsqPrefix = kUnsolicitedPrefixes[UnsolicitedTypeBcmSignalQuality];
inline constexpr std::u16string_view kMrinfoPrefix = kUnsolicitedPrefixes[UnsolicitedTypeBcmRadioInfo];

// "+CREG:" and "+CGREG:" (and the "last int" of "_OCTI:"): an int; if a
// comma follows, the int after it replaces the first. So the spontaneous
// form "stat", the query form "n,stat" and "n,stat,lac,ci" all give stat.
// A comma followed by no number ("stat,\"lac\",\"ci\"", which cards send
// after AT+CREG=2) keeps the first int instead of dropping the report.
DvResult ParseRegistrationAnswer(std::u16string_view fields, int& stat);
DvResult ParseOctiAnswer(std::u16string_view fields, int& cell_type);

// "_OSIGQ:" and "*MCSQ:" int (signal), comma, int (extended value).
DvResult ParseSignalQualityAnswer(std::u16string_view fields, SignalQuality& out);

// "_OEANT:" int: the WCDMA signal.
DvResult ParseOeantAnswer(std::u16string_view fields, int& wcdma_signal);

struct PdpContextReport {
  int context = 0;
  int state = 0;  // 1 = activated
};
// "_OGACT:" int context, comma, int state.
DvResult ParseOgactAnswer(std::u16string_view fields, PdpContextReport& out);

// "_OIDLETEXT:" int (ignored), comma, quoted text.
DvResult ParseOidletextAnswer(std::u16string_view fields, std::u16string& text);

// "*MRINFO:" int v, comma, int (ignored): the EDGE state is bit 1 of v.
DvResult ParseMrinfoAnswer(std::u16string_view fields, int& edge);

// "_OSSYSI:" int c: PacketSwitchedTechnologyGprs for 0, PacketSwitchedTechnologyUmts for 2,
// else PacketSwitchedTechnologyNone (the dispatcher refreshes the network display
// only when it is not None).
DvResult ParseOssysiAnswer(std::u16string_view fields, AccessTechnology& technology);

struct NewMessageReport {
  std::u16string storage;
  int index = 0;  // as the card numbers its storage
};
// "+CMTI:" quoted storage name, comma, int index.
DvResult ParseCmtiAnswer(std::u16string_view fields, NewMessageReport& out);

struct UssdReport {
  int status = 0;
  bool has_text = false;
  std::u16string text;  // as received, not cut to the record's size
  int dcs = 0;          // the data coding scheme (0 without a text)
};
// "+CUSD:" int status; if a comma follows: quoted text, comma, int dcs.
DvResult ParseCusdAnswer(std::u16string_view fields, UssdReport& out);

// The text of a "+CUSD:" answer as the user is to read it. A card in the
// GSM character set passes a UCS2 answer on as hexadecimal text: data coding
// schemes 01xx10xx (0x48, "72", is the usual one) and 0x11, whose first
// UTF-16 unit carries the two-character language (TS 23.038, CBS coding).
// Those are decoded; any other text, and hexadecimal text that does not
// decode, is shown as received. Raises only 0x8007000E, when the text
// cannot be allocated.
std::u16string UssdDisplayText(const UssdReport& report);

struct CallerNumber {
  std::u16string number;
  bool unknown = false;  // the card gave a text that is no number; `number` is empty
};
// "+CLIP:" quoted number. A non-empty text that starts with neither '+' nor
// a digit (a network's "unknown" or a name) is no number: empty, unknown.
DvResult ParseClipAnswer(std::u16string_view fields, CallerNumber& out);

struct TemporaryMessage {
  int length = 0;    // the PDU length in octets, as the header says
  std::u16string pdu;  // hexadecimal text; may be empty
};
// The header of "+CMT:" (`status_report` false) or "+CDS:" (true) joined to
// its PDU line by ';'. "+CMT:" starts with the alpha field, which cards send
// empty (",24"), as a number, or as a quoted text ("\"\",24"); then a comma.
// Then the length int; for "+CMT:" on a Broadcom-based card a blank; ';';
// the rest is the PDU.
DvResult ParseTemporaryMessageAnswer(std::u16string_view fields, bool status_report, bool broadcom,
                                     TemporaryMessage& out);

}  // namespace GSM
