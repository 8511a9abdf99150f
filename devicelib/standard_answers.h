// Readers of the answers of a card that knows only the standard commands of
// 3GPP TS 27.007: registration with its location and access technology, the
// operator with its access technology, the PIN state and the retry counters.
// Each takes the text after the answer's prefix and returns DV_S_OK or
// DV_E_UNEXPECTED_ANSWER (0x84000004) when a mandatory field is missing or
// unreadable; an optional field that does not read is left absent, so a
// quirk in a trailing field never costs the state the answer carries. They
// never throw and touch nothing but their outputs, which keep their old
// values on failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "devicelib/device_states.h"
#include "devicelib/line_classifier.h"
#include "devicelib/network_answers.h"
#include "devicelib/result_codes.h"
#include "devicelib/sim_answers.h"

namespace GSM {

inline constexpr std::u16string_view kCeregPrefix = kUnsolicitedPrefixes[UnsolicitedTypeCereg];
inline constexpr std::u16string_view kCpinrPrefix = u"+CPINR:";
inline constexpr std::u16string_view kCmgdPrefix = u"+CMGD:";

// The radio technology a display shows, from the 27.007 access technology
// (AcT) of "+COPS?", "+CREG:", "+CGREG:" and "+CEREG:". AcT has no GPRS of
// its own: a GSM cell with packet registration is GPRS (WithPacketService).
enum RadioTechnology : int {
  RadioTechnologyUnknown = 0,  // no AcT, or one this table does not know
  RadioTechnologyGsm = 1,
  RadioTechnologyGprs = 2,
  RadioTechnologyEdge = 3,
  RadioTechnologyUmts = 4,
  RadioTechnologyHsdpa = 5,
  RadioTechnologyHsupa = 6,
  RadioTechnologyHspa = 7,
  RadioTechnologyLte = 8,
  RadioTechnology5g = 9,
};

// 0 GSM, 1 GSM compact → GSM; 2 UTRAN → UMTS; 3 GSM w/EGPRS, 8 EC-GSM-IoT
// (which runs on EGPRS) → EDGE; 4 HSDPA; 5 HSUPA; 6 HSDPA+HSUPA → HSPA;
// 7 E-UTRAN, 9 E-UTRAN NB-S1, 10 E-UTRA-5GCN (an LTE radio on the 5G core)
// → LTE; 11 NR-5GCN, 12 NG-RAN, 13 E-UTRA-NR dual connectivity → 5G; any
// other value → Unknown.
RadioTechnology RadioTechnologyOfAct(int act);
// GSM becomes GPRS when the card is registered for packet data; any other
// technology stays.
RadioTechnology WithPacketService(RadioTechnology technology, bool packet_registered);
// "GSM", "GPRS", ..., "5G"; "Unknown" for Unknown and any value outside.
const char* RadioTechnologyName(int technology);

// What the device's older states make of a technology, for the clients that
// know only those: the packet technology (GSM, GPRS and EDGE are GPRS; UMTS
// and HSPA are UMTS; LTE; 5G; Unknown is None), the network type of
// DvGetNetworkInfo (GSM, GPRS, EDGE and Unknown are GSM, as a database
// card's answer without AcT is), and whether it is one of the HSPA family.
AccessTechnology AccessTechnologyOfRadio(RadioTechnology technology);
NetworkType NetworkTypeOfRadio(RadioTechnology technology);
bool IsHspaTechnology(RadioTechnology technology);

// The NetworkState of a 27.007 registration stat: the later stats 6 and 9
// (home, SMS only / CSFB not preferred) are Registered, 7 and 10 their
// roaming forms RegisteredRoaming; 8 and 11 (emergency services only) and
// anything unknown are NotRegistered; 0 to 5 stay.
int NetworkStateOfStat(int stat);

// One "+CREG:", "+CGREG:" or "+CEREG:" answer.
struct RegistrationRecord {
  int stat = 0;                  // NetworkState values; 6 to 11 as the card gave them
  std::optional<uint32_t> lac;   // the location area (the tracking area of +CEREG)
  std::optional<uint32_t> ci;    // the cell
  std::optional<int> act;        // the access technology
};
// The query form "n,stat[,lac,ci[,AcT[,...]]]" and the spontaneous form
// "stat[,lac,ci[,AcT[,...]]]" alike, for what real cards send is not always
// the form its place calls for: some report spontaneously with n in front,
// and after AT+CREG=2 the query's "n,stat,lac,ci" and the report's
// "stat,lac,ci,AcT" have the same number of fields. So the form is told by
// the fields themselves: the line starts with n when its first two fields
// are both small unquoted decimals (at most three digits; the first at most
// 5, an n, the second at most 11, a stat); a location area is quoted,
// hexadecimal or longer. lac and ci
// are hexadecimal, quoted or not, at most 8 digits; an empty, garbled or
// overlong one is absent. Fields after AcT (+CGREG's rac, +CEREG's
// cause) are ignored. Only a missing or non-decimal stat fails.
DvResult ParseRegistrationRecord(std::u16string_view fields, RegistrationRecord& out);

struct CopsAnswer {
  int mode = 0;
  std::optional<int> format;  // 0 long name, 1 short name, 2 numeric
  std::u16string oper;        // empty without one
  std::optional<int> act;
  RadioTechnology technology = RadioTechnologyUnknown;  // of `act`
};
// "+COPS:" of "AT+COPS?": "mode[,format,oper[,AcT]]". The operator is read
// quoted or, as some cards write it, bare up to the next comma; a format
// without an operator fails. A trailing AcT that is no decimal is absent.
DvResult ParseCopsAnswer(std::u16string_view fields, CopsAnswer& out);

// "+CPIN: " rest, as ParseCpinAnswer, but a state the card puts in double
// quotes ("+CPIN: \"SIM PIN\"") is recognised too; `text` keeps the quotes
// as the card wrote them. Always DV_S_OK.
DvResult ParseStandardCpinAnswer(std::u16string_view fields, CpinAnswer& out);

// One "+CPINR:" line of "AT+CPINR": "code,retries[,default retries]", the
// code bare or quoted ("SIM PIN,3,3"). A "SIM PIN" line sets `retries.pin`,
// a "SIM PUK" line `retries.puk`; the lines of the other codes (PIN2, the
// network locks) are read and leave the record as it was. A caller that must
// know both counters came presets them (-1).
DvResult ParseCpinrAnswer(std::u16string_view fields, PinPukRetries& retries);

// "+CMGD:" of "AT+CMGD=?": "(list of indices)[,(list of delete flags)]".
// `lowest` is the first index of the first list ("(1-20)" gives 1, "(0,3)"
// 0). Many cards list only the indices in use, so only a 0 tells for sure
// that the storage counts from 0. An empty list, or one that does not start
// with a decimal of at most nine digits, fails.
DvResult ParseCmgdTestAnswer(std::u16string_view fields, int& lowest);

}  // namespace GSM
