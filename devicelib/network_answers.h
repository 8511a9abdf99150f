// Readers of the card's answers about the network: operator, selection and
// technology modes, attach state, signal, cell indications and the packet
// data contexts. Each takes the text after the answer's prefix (what is left
// once ExpectLine matched it) and returns DV_S_OK or DV_E_UNEXPECTED_ANSWER
// (0x84000004) when a field is missing. They never throw and touch nothing
// but their outputs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "devicelib/device_states.h"
#include "devicelib/result_codes.h"

namespace GSM {

inline constexpr std::u16string_view kCopsPrefix = u"+COPS:";
inline constexpr std::u16string_view kOponPrefix = u"_OPON:";
inline constexpr std::u16string_view kOpsysPrefix = u"_OPSYS:";
inline constexpr std::u16string_view kOssysPrefix = u"_OSSYS:";
inline constexpr std::u16string_view kCgattPrefix = u"+CGATT:";
inline constexpr std::u16string_view kCsqPrefix = u"+CSQ:";
inline constexpr std::u16string_view kOhcipPrefix = u"_OHCIP:";
inline constexpr std::u16string_view kOwctiPrefix = u"_OWCTI:";
inline constexpr std::u16string_view kCgdcontPrefix = u"+CGDCONT: ";
inline constexpr std::u16string_view kOwancallPrefix = u"_OWANCALL: ";
inline constexpr std::u16string_view kOpcmenablePrefix = u"_OPCMENABLE:";

// The network type of DvGetNetworkInfo.
enum NetworkType : uint32_t {
  NetworkTypeNone = 0,  // not registered (no query made)
  NetworkTypeGsm = 1,   // no access technology in the answer, or 0
  NetworkTypeUmts = 2,  // any other access technology
  // A standard card's LTE and 5G networks; the database cards' answers never
  // give these.
  NetworkTypeLte = 3,
  NetworkType5g = 4,
};


// "+COPS:" of "AT+COPS?": the selection mode int (0 automatic, 1 manual, ...).
DvResult ParseCopsModeAnswer(std::u16string_view fields, int& mode);

struct CopsNameAnswer {
  int mode = 0;
  bool has_name = false;  // a format and a quoted name followed the mode
  std::u16string name;    // the long alphanumeric name, empty without one
  NetworkType network_type = NetworkTypeGsm;
};
// "+COPS:" of "AT+COPS=3,0;+COPS?": mode int; if a comma follows: format int,
// comma, quoted name; then, when `want_type`, if a comma follows the access
// technology int gives NetworkTypeUmts (non-zero) or NetworkTypeGsm (0).
// Without that comma (or without a name) the type is NetworkTypeGsm. When
// the type is not wanted nothing after the name is read.
DvResult ParseCopsNameAnswer(std::u16string_view fields, CopsNameAnswer& out, bool want_type = true);

struct CopsNumericAnswer {
  int mode = 0;
  int format = 0;
  int operator_code = 0;  // MCC and MNC written together as one decimal number
};
// "+COPS:" of "AT+COPS=3,2;+COPS?": mode int, comma, format int, comma, the
// operator: an unquoted int on a Broadcom-based card, a quoted decimal text on
// the others. A quoted text that is not a decimal number that fits an int
// (empty, letters, too long) is no operator code: 0x84000004.
DvResult ParseCopsNumericAnswer(std::u16string_view fields, bool broadcom, CopsNumericAnswer& out);

struct OponAnswer {
  std::u16string encoded;  // the text after the comma, up to a further comma
  std::u16string name;     // `encoded` decoded; empty when it does not decode
};
// "_OPON:" int, comma, rest. The kept text is hexadecimal pairs, each pair one
// character (0-255); an odd count or a non-hexadecimal digit leaves the name
// empty (still DV_S_OK); only a missing int or comma fails.
DvResult ParseOponAnswer(std::u16string_view fields, OponAnswer& out);

// Hexadecimal pairs (either case) into one character each; false (and `out`
// empty) on an odd length or a character that is no hexadecimal digit.
bool DecodeHexPairs(std::u16string_view hex, std::u16string& out);

// "_OPSYS:" of "AT_OPSYS?": the technology selection mode int.
DvResult ParseOpsysAnswer(std::u16string_view fields, int& mode);

struct OpsysTestAnswer {
  std::u16string modes;  // the rest of the line, leading blanks removed
  bool supported = false;
};
// "_OPSYS:" of "AT_OPSYS=?": technology selection is supported unless the
// modes begin with "(1),". Always DV_S_OK.
DvResult ParseOpsysTestAnswer(std::u16string_view fields, OpsysTestAnswer& out);

// "_OSSYS:" int, comma, int v: v = 0 → PacketSwitchedTechnologyGprs, v = 2 →
// PacketSwitchedTechnologyUmts, else PacketSwitchedTechnologyNone.
DvResult ParseOssysAnswer(std::u16string_view fields, AccessTechnology& technology);

// "+CGATT:" int: attached (1) when it is 1, else 0.
DvResult ParseCgattAnswer(std::u16string_view fields, uint32_t& attached);

struct SignalQuality {
  int value = 0;
  int extended = 0;
};
// "+CSQ:" int, comma, int.
DvResult ParseCsqAnswer(std::u16string_view fields, SignalQuality& out);

// "_OHCIP:" int: 1 when it is 1, else 0.
DvResult ParseOhcipAnswer(std::u16string_view fields, uint32_t& hsdpa);

// "_OWCTI:" int, as the card gave it.
DvResult ParseOwctiAnswer(std::u16string_view fields, int& cell_type);

struct CgdcontAnswer {
  int cid = 0;
  std::u16string pdp_type;
  std::u16string apn;
};
// "+CGDCONT: " int cid, comma, quoted PDP type, comma, quoted APN.
DvResult ParseCgdcontAnswer(std::u16string_view fields, CgdcontAnswer& out);

struct WanCallAnswer {
  int cid = 0;
  int state = 0;
};
// "_OWANCALL: " int cid, comma, int state.
DvResult ParseOwancallAnswer(std::u16string_view fields, WanCallAnswer& out);

// "_OPCMENABLE:" int: voice-capable when it is 1.
DvResult ParseOpcmenableAnswer(std::u16string_view fields, bool& capable);

}  // namespace GSM
