// Every answer parser on any text. The first byte picks the variants
// (bit 0 Broadcom-based card, bit 1 operator type wanted) and how the rest
// becomes text: with bit 7 clear each byte is one UTF-16 unit, with it set
// each pair of bytes (little-endian) is one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devicelib/network_answers.h"
#include "devicelib/sim_answers.h"
#include "devicelib/sms_answers.h"
#include "devicelib/unsolicited_answers.h"
#include "foundation/xlog.h"

namespace {

void Discard(const char*, void*) {}

void Check(DvResult result) {
  if (result != DV_S_OK && result != DV_E_UNEXPECTED_ANSWER) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XLogSetSink(&Discard, nullptr);
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const bool broadcom = flags & 0x01;
  const bool want_type = flags & 0x02;
  std::u16string text;
  if (flags & 0x80) {
    for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  } else {
    for (size_t i = 1; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
  }
  using namespace GSM;

  CpinAnswer cpin;
  Check(ParseCpinAnswer(text, cpin));
  if (cpin.text != text || cpin.state > PinPukStatePhCorpPuk) std::abort();
  bool flag = false;
  Check(ParseClckAnswer(text, flag));
  RadioState radio = RadioStateOff;
  Check(ParseCfunAnswer(text, radio));
  if (radio > RadioStateFlightMode) std::abort();
  PinPukRetries retries;
  Check(ParseOercnAnswer(text, retries));
  Check(ParseOblsAnswer(text, flag));
  CrsmAnswer crsm;
  Check(ParseCrsmAnswer(text, crsm));
  std::u16string rest;
  Check(ParseCnumAnswer(text, rest));
  Check(ParseOhwvAnswer(text, rest));
  Check(ParseOgsnAnswer(text, rest));
  CgsnAnswer cgsn;
  Check(ParseCgsnAnswer(text, cgsn));
  if (cgsn.has_comma ? cgsn.imei + u"," + cgsn.serial != text : cgsn.imei != text) std::abort();
  int removability = 2;
  Check(ParseRemovabilityAnswer(text, removability));

  int value = 0;
  Check(ParseCopsModeAnswer(text, value));
  CopsNameAnswer cops_name;
  Check(ParseCopsNameAnswer(text, cops_name, want_type));
  if (cops_name.network_type == NetworkTypeNone) std::abort();
  CopsNumericAnswer cops_numeric;
  Check(ParseCopsNumericAnswer(text, broadcom, cops_numeric));
  if (cops_numeric.operator_code < 0) std::abort();
  OponAnswer opon;
  Check(ParseOponAnswer(text, opon));
  if (opon.name.size() * 2 != (opon.name.empty() ? 0 : opon.encoded.size())) std::abort();
  std::u16string decoded;
  if (DecodeHexPairs(text, decoded) ? decoded.size() * 2 != text.size() : !decoded.empty()) std::abort();
  Check(ParseOpsysAnswer(text, value));
  OpsysTestAnswer opsys;
  Check(ParseOpsysTestAnswer(text, opsys));
  AccessTechnology technology = PacketSwitchedTechnologyNone;
  Check(ParseOssysAnswer(text, technology));
  uint32_t number = 0;
  Check(ParseCgattAnswer(text, number));
  Check(ParseOhcipAnswer(text, number));
  if (number > 1) std::abort();
  SignalQuality signal;
  Check(ParseCsqAnswer(text, signal));
  Check(ParseOwctiAnswer(text, value));
  CgdcontAnswer cgdcont;
  Check(ParseCgdcontAnswer(text, cgdcont));
  WanCallAnswer wan_call;
  Check(ParseOwancallAnswer(text, wan_call));
  Check(ParseOpcmenableAnswer(text, flag));

  Check(ParseRegistrationAnswer(text, value));
  Check(ParseOctiAnswer(text, value));
  Check(ParseSignalQualityAnswer(text, signal));
  Check(ParseOeantAnswer(text, value));
  PdpContextReport context;
  Check(ParseOgactAnswer(text, context));
  Check(ParseOidletextAnswer(text, rest));
  int edge = 0;
  Check(ParseMrinfoAnswer(text, edge));
  if (edge != 0 && edge != 1) std::abort();
  Check(ParseOssysiAnswer(text, technology));
  NewMessageReport new_message;
  Check(ParseCmtiAnswer(text, new_message));
  UssdReport ussd;
  Check(ParseCusdAnswer(text, ussd));
  // Decoded or not, the shown text is never longer than what came.
  if (UssdDisplayText(ussd).size() > ussd.text.size()) std::abort();
  CallerNumber caller;
  Check(ParseClipAnswer(text, caller));
  if (caller.unknown && !caller.number.empty()) std::abort();
  Check(ParseCscaAnswer(text, rest));
  StorageUse storage;
  Check(ParseCpmsAnswer(text, storage));
  if (storage.used < 0 || storage.total < 0) std::abort();
  StoredMessageHeader stored;
  Check(ParseCmgrHeader(text, stored));
  Check(ParseCmglHeader(text, stored));
  if (stored.index < 0 || stored.status < 0 || stored.length < 0) std::abort();
  Check(ParseSubmitAnswer(text, value));
  for (bool status_report : {false, true}) {
    TemporaryMessage message;
    Check(ParseTemporaryMessageAnswer(text, status_report, broadcom, message));
    if (message.pdu.size() > text.size()) std::abort();
  }
  return 0;
}
