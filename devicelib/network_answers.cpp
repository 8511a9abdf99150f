#include "devicelib/network_answers.h"

#include <climits>

#include "devicelib/answer_fields.h"

namespace GSM {

namespace {

int HexValue(char16_t ch) {
  if (ch >= u'0' && ch <= u'9') return ch - u'0';
  if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
  if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
  return -1;
}

// A quoted operator code: decimal digits only, at least one, fitting an int.
// Anything else would turn into a made-up code (0, or a prefix of the text).
int OperatorCodeFromText(std::u16string_view text) {
  if (text.empty()) DvRaise(DV_E_UNEXPECTED_ANSWER);
  int64_t value = 0;
  for (char16_t ch : text) {
    if (ch < u'0' || ch > u'9') DvRaise(DV_E_UNEXPECTED_ANSWER);
    value = value * 10 + (ch - u'0');
    if (value > INT_MAX) DvRaise(DV_E_UNEXPECTED_ANSWER);
  }
  return static_cast<int>(value);
}

}  // namespace

DvResult ParseCopsModeAnswer(std::u16string_view fields, int& mode) {
  return ReadAnswerFields(fields, [&](Line& line) { mode = line.ReadInt(); });
}

DvResult ParseCopsNameAnswer(std::u16string_view fields, CopsNameAnswer& out, bool want_type) {
  return ReadAnswerFields(fields, [&](Line& line) {
    CopsNameAnswer answer;
    answer.mode = line.ReadInt();
    if (line.ExpectChar(u',', true)) {
      line.ReadInt();  // the format, 0 after AT+COPS=3,0
      line.ExpectChar(u',');
      answer.name = line.ReadQuoted();
      answer.has_name = true;
      if (want_type && line.ExpectChar(u',', true)) {
        answer.network_type = line.ReadInt() != 0 ? NetworkTypeUmts : NetworkTypeGsm;
      }
    }
    out = std::move(answer);
  });
}

DvResult ParseCopsNumericAnswer(std::u16string_view fields, bool broadcom, CopsNumericAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    CopsNumericAnswer answer;
    answer.mode = line.ReadInt();
    line.ExpectChar(u',');
    answer.format = line.ReadInt();
    line.ExpectChar(u',');
    // Broadcom-based cards write the numeric operator without quotes.
    answer.operator_code = broadcom ? line.ReadInt() : OperatorCodeFromText(line.ReadQuoted());
    out = answer;
  });
}

bool DecodeHexPairs(std::u16string_view hex, std::u16string& out) {
  out.clear();
  if (hex.size() % 2 != 0) return false;
  std::u16string decoded;
  decoded.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    decoded.push_back(static_cast<char16_t>(high * 16 + low));
  }
  out = std::move(decoded);
  return true;
}

DvResult ParseOponAnswer(std::u16string_view fields, OponAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    OponAnswer answer;
    line.ReadInt();
    line.ExpectChar(u',');
    answer.encoded = line.ReadRest();
    const size_t comma = answer.encoded.find(u',');
    if (comma != std::u16string::npos) answer.encoded.resize(comma);
    if (!answer.encoded.empty()) DecodeHexPairs(answer.encoded, answer.name);
    out = std::move(answer);
  });
}

DvResult ParseOpsysAnswer(std::u16string_view fields, int& mode) {
  return ReadAnswerFields(fields, [&](Line& line) { mode = line.ReadInt(); });
}

DvResult ParseOpsysTestAnswer(std::u16string_view fields, OpsysTestAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    line.SkipSpaces();
    out.modes = line.ReadRest();
    // A card that offers only mode 1 has nothing to choose between.
    out.supported = !std::u16string_view(out.modes).starts_with(u"(1),");
  });
}

DvResult ParseOssysAnswer(std::u16string_view fields, AccessTechnology& technology) {
  return ReadAnswerFields(fields, [&](Line& line) {
    line.ReadInt();
    line.ExpectChar(u',');
    switch (line.ReadInt()) {
      case 0: technology = PacketSwitchedTechnologyGprs; break;
      case 2: technology = PacketSwitchedTechnologyUmts; break;
      default: technology = PacketSwitchedTechnologyNone; break;
    }
  });
}

DvResult ParseCgattAnswer(std::u16string_view fields, uint32_t& attached) {
  return ReadAnswerFields(fields, [&](Line& line) { attached = line.ReadInt() == 1 ? 1 : 0; });
}

DvResult ParseCsqAnswer(std::u16string_view fields, SignalQuality& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    const int value = line.ReadInt();
    line.ExpectChar(u',');
    out.extended = line.ReadInt();
    out.value = value;
  });
}

DvResult ParseOhcipAnswer(std::u16string_view fields, uint32_t& hsdpa) {
  return ReadAnswerFields(fields, [&](Line& line) { hsdpa = line.ReadInt() == 1 ? 1 : 0; });
}

DvResult ParseOwctiAnswer(std::u16string_view fields, int& cell_type) {
  return ReadAnswerFields(fields, [&](Line& line) { cell_type = line.ReadInt(); });
}

DvResult ParseCgdcontAnswer(std::u16string_view fields, CgdcontAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    CgdcontAnswer answer;
    answer.cid = line.ReadInt();
    line.ExpectChar(u',');
    answer.pdp_type = line.ReadQuoted();
    line.ExpectChar(u',');
    answer.apn = line.ReadQuoted();
    out = std::move(answer);
  });
}

DvResult ParseOwancallAnswer(std::u16string_view fields, WanCallAnswer& out) {
  return ReadAnswerFields(fields, [&](Line& line) {
    const int cid = line.ReadInt();
    line.ExpectChar(u',');
    out.state = line.ReadInt();
    out.cid = cid;
  });
}

DvResult ParseOpcmenableAnswer(std::u16string_view fields, bool& capable) {
  return ReadAnswerFields(fields, [&](Line& line) { capable = line.ReadInt() == 1; });
}

}  // namespace GSM
