// Readers of the card's answers about itself, its SIM and the PIN. Each one
// takes the text after the answer's prefix (what is left once ExpectLine
// matched it; for "+CPIN: READY" that is u"READY") or, for answers without a
// prefix, the whole line, and returns DV_S_OK or DV_E_UNEXPECTED_ANSWER
// (0x84000004) when a field is missing. They never throw and touch nothing
// but their outputs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "devicelib/result_codes.h"

namespace GSM {

inline constexpr std::u16string_view kCpinPrefix = u"+CPIN: ";
inline constexpr std::u16string_view kClckPrefix = u"+CLCK:";
inline constexpr std::u16string_view kCfunPrefix = u"+CFUN:";
inline constexpr std::u16string_view kOercnPrefix = u"_OERCN:";
inline constexpr std::u16string_view kOblsPrefix = u"_OBLS:";
inline constexpr std::u16string_view kCrsmPrefix = u"+CRSM:";
inline constexpr std::u16string_view kCnumPrefix = u"+CNUM:";
inline constexpr std::u16string_view kOhwvPrefix = u"_OHWV: ";
inline constexpr std::u16string_view kOgsnPrefix = u"_OGSN: ";

// What "AT+CPIN?" reports.
enum PinPukState : uint32_t {
  PinPukStateUnknown = 0,  // no text matched, or the SIM never became ready
  PinPukStateReady = 1,
  PinPukStateSimPin = 2,
  PinPukStateSimPuk = 3,
  PinPukStateSimPin2 = 4,
  PinPukStateSimPuk2 = 5,
  PinPukStatePhNetPin = 6,
  PinPukStatePhNetPuk = 7,
  PinPukStatePhNetSubPin = 8,
  PinPukStatePhNetSubPuk = 9,
  PinPukStatePhSpPin = 10,
  PinPukStatePhSpPuk = 11,
  PinPukStatePhCorpPin = 12,
  PinPukStatePhCorpPuk = 13,
};

// The radio state of "AT+CFUN?".
enum RadioState : uint32_t {
  RadioStateOff = 0,         // off or unknown: any value but 1 and 4
  RadioStateOn = 1,          // +CFUN: 1
  RadioStateFlightMode = 2,  // +CFUN: 4
};

// Removability types of a card (kept by the device; the application picks
// its "SIM card is not inserted" text by them).
inline constexpr int kRemovabilityUndeterminable = 0;

// The card's text compared with each state's text exactly (case and every
// character count); no match is PinPukStateUnknown.
PinPukState PinPukStateFromText(std::u16string_view text);
// The card's text of a state ("SIM PIN"); empty for PinPukStateUnknown and
// any value outside the table.
std::u16string_view PinPukStateCardText(PinPukState state);

struct CpinAnswer {
  std::u16string text;  // the rest of the line, as the card wrote it
  PinPukState state = PinPukStateUnknown;
};
// "+CPIN: " rest. Always DV_S_OK: an unknown text is state 0, not a failure.
DvResult ParseCpinAnswer(std::u16string_view fields, CpinAnswer& out);

// "+CLCK:" int; the PIN request is on when the int is not 0.
DvResult ParseClckAnswer(std::u16string_view fields, bool& enabled);

// "+CFUN:" int: 1 → RadioStateOn, 4 → RadioStateFlightMode, else RadioStateOff.
DvResult ParseCfunAnswer(std::u16string_view fields, RadioState& state);

struct PinPukRetries {
  int pin = 0;
  int puk = 0;
};
// "_OERCN:" int (PIN retries), comma, int (PUK retries).
DvResult ParseOercnAnswer(std::u16string_view fields, PinPukRetries& out);

// "_OBLS:" int, comma, int, comma, int: the SIM is initialised when all three
// are 1. A first value other than 1 settles it (not initialised) without
// reading the others.
DvResult ParseOblsAnswer(std::u16string_view fields, bool& initialised);

struct CrsmAnswer {
  int sw1 = 0;
  int sw2 = 0;
  std::u16string response;  // the quoted data as the card sent it, not decoded
};
// "+CRSM:" int, comma, int, comma, quoted string (required).
DvResult ParseCrsmAnswer(std::u16string_view fields, CrsmAnswer& out);

// "+CNUM:" rest, the blank after the colon kept: the first own-number entry
// in the card's text form, for the application to take apart. Always DV_S_OK.
DvResult ParseCnumAnswer(std::u16string_view fields, std::u16string& entry);

struct CgsnAnswer {
  std::u16string imei;    // the text before the first comma (all of it without one)
  std::u16string serial;  // the text after the first comma (empty without one)
  bool has_comma = false;
};
// The whole "AT+CGSN" line of a card that answers "IMEI,serial". Always
// DV_S_OK; a line without a comma leaves the caller to decide (both the IMEI
// and the serial-number call then report an empty text).
DvResult ParseCgsnAnswer(std::u16string_view line, CgsnAnswer& out);

// The whole "AT+CGSN" line of a model 0x0C00 card: no ',' →
// kRemovabilityUndeterminable; ",Z" anywhere → 3; otherwise 1. Always DV_S_OK.
DvResult ParseRemovabilityAnswer(std::u16string_view line, int& type);

// "_OHWV: " and "_OGSN: " rest of the line. Always DV_S_OK.
DvResult ParseOhwvAnswer(std::u16string_view fields, std::u16string& hardware_version);
DvResult ParseOgsnAnswer(std::u16string_view fields, std::u16string& serial_number);

}  // namespace GSM
