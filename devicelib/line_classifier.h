// Sorting an answer line: a final result (with its result code), an
// unsolicited result (with its type), or an intermediate answer.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "devicelib/line.h"
#include "devicelib/result_codes.h"

namespace GSM {

// The unsolicited types: the index of the prefix in kUnsolicitedPrefixes.
enum UnsolicitedType : uint32_t {
  UnsolicitedTypeRing = 0,
  UnsolicitedTypeClip = 1,
  UnsolicitedTypeColp = 2,
  UnsolicitedTypeBusy = 3,
  UnsolicitedTypeNoCarrier = 4,
  UnsolicitedTypeCreg = 5,
  UnsolicitedTypeCgreg = 6,
  UnsolicitedTypeCmti = 7,
  UnsolicitedTypeSignalQuality = 8,       // _OSIGQ:
  UnsolicitedTypeWcdmaSignal = 9,         // _OEANT:
  UnsolicitedTypeCcwa = 10,
  UnsolicitedTypeCds = 11,
  UnsolicitedTypeCmt = 12,
  UnsolicitedTypeOgcvi = 13,
  UnsolicitedTypeSystemInfo = 14,         // _OSSYSI:
  UnsolicitedTypeCusd = 15,
  UnsolicitedTypeStc = 16,
  UnsolicitedTypeStud = 17,
  UnsolicitedTypeSttone = 18,
  UnsolicitedTypeCellType = 19,           // _OCTI:
  UnsolicitedTypePdpContext = 20,         // _OGACT:
  UnsolicitedTypeRadioSwitch = 21,        // _OWSTAT:
  UnsolicitedTypeIdleText = 22,           // _OIDLETEXT:
  UnsolicitedTypeBcmReady = 23,           // *MRDY:
  UnsolicitedTypeBcmSignalQuality = 24,   // *MCSQ:
  UnsolicitedTypeBcmRadioInfo = 25,       // *MRINFO:
  UnsolicitedTypeMtz = 26,
  UnsolicitedTypeMstkev = 27,
  UnsolicitedTypeMtsmenu = 28,
  UnsolicitedTypeMtitem = 29,
  UnsolicitedTypeMtsms = 30,
  UnsolicitedTypeMtss = 31,
  UnsolicitedTypeMtussd = 32,
  UnsolicitedTypeMtdisp = 33,
  UnsolicitedTypeMtkey = 34,
  UnsolicitedTypeMtgin = 35,
  UnsolicitedTypeMtitxt = 36,
  UnsolicitedTypeMttone = 37,
  UnsolicitedTypeMtrsh = 38,
  UnsolicitedTypeMtcall = 39,
  UnsolicitedTypeMtlbr = 40,
  UnsolicitedTypeCereg = 41,              // +CEREG: (a standard card's EPS registration)
};

inline constexpr size_t kUnsolicitedTypeCount = 42;

// Tried in index order; the first prefix a line starts with gives its type.
inline constexpr std::array<std::u16string_view, kUnsolicitedTypeCount> kUnsolicitedPrefixes{
    u"RING",      u"+CLIP:",    u"+COLP:",      u"BUSY",     u"NO CARRIER", u"+CREG:",
    u"+CGREG:",   u"+CMTI:",    u"_OSIGQ:",     u"_OEANT:",  u"+CCWA:",     u"+CDS:",
    u"+CMT:",     u"_OGCVI:",   u"_OSSYSI:",    u"+CUSD:",   u"+STC:",      u"+STUD:",
    u"+STTONE:",  u"_OCTI:",    u"_OGACT:",     u"_OWSTAT:", u"_OIDLETEXT:", u"*MRDY:",
    u"*MCSQ:",    u"*MRINFO:",  u"*MTZ:",       u"*MSTKEV:", u"*MTSMENU:",  u"*MTITEM:",
    u"*MTSMS:",   u"*MTSS:",    u"*MTUSSD:",    u"*MTDISP:", u"*MTKEY:",    u"*MTGIN:",
    u"*MTITXT:",  u"*MTTONE:",  u"*MTRSH:",     u"*MTCALL:", u"*MTLBR:",    u"+CEREG:",
};

struct LineClass {
  AnswerKind kind = AnswerKindIntermediate;
  DvResult result_code = DV_S_OK;  // final results only
  uint32_t unsolicited_type = 0;   // unsolicited results only
};

// Final results first: exactly "OK" (0), "+CME ERROR: " N (0x8401NNNN),
// "+CMS ERROR: " N (0x8402NNNN), exactly "ERROR" (0x84000003). N is one or
// more decimal digits with nothing after them; a number above 65535 does not
// fit the code and makes the line no final result (it would otherwise pose
// as an unrelated error number), and so does a number with anything after
// it. Then the verbose forms of a card left in verbose error mode:
// "+CME ERROR:"/"+CMS ERROR:" followed by words, or by nothing: a known
// 27.007/27.005 text (letter case ignored) gives its number's code, an
// unknown or empty one 0x84000003. Then the card family's worded refusals,
// exactly "COMMAND NOT SUPPORT" or "TOO MANY PARAMETERS" (0x84000003). Then
// the unsolicited prefixes ("NO CARRIER" among them); anything else is an
// intermediate answer. An empty line is never classified (the caller
// drops it before); here it comes out as an intermediate answer.
LineClass ClassifyLine(std::u16string_view text);

}  // namespace GSM
