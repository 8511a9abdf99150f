// The standard cards' answer readers on any text. With the first byte's bit
// 7 clear each further byte is one UTF-16 unit, with it set each pair of
// bytes (little-endian) is one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devicelib/standard_answers.h"

namespace {

void Check(DvResult result) {
  if (result != DV_S_OK && result != DV_E_UNEXPECTED_ANSWER) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::u16string text;
  if (data[0] & 0x80) {
    for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  } else {
    for (size_t i = 1; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
  }
  using namespace GSM;

  GSM::RegistrationRecord record{-1, {}, {}, {}};
  const DvResult registration = ParseRegistrationRecord(text, record);
  Check(registration);
  // A read record has a stat that was a decimal in the text.
  if (registration == DV_S_OK && record.stat < 0) std::abort();
  if (registration != DV_S_OK && (record.stat != -1 || record.lac || record.ci || record.act)) std::abort();

  CopsAnswer cops;
  Check(ParseCopsAnswer(text, cops));
  if (cops.oper.size() > text.size() || cops.mode < 0) std::abort();
  if (cops.technology != (cops.act ? RadioTechnologyOfAct(*cops.act) : RadioTechnologyUnknown)) std::abort();
  if (RadioTechnologyName(cops.technology) == nullptr) std::abort();

  CpinAnswer cpin;
  if (ParseStandardCpinAnswer(text, cpin) != DV_S_OK || cpin.text != text || cpin.state > PinPukStatePhCorpPuk) {
    std::abort();
  }

  PinPukRetries retries{-1, -1};
  Check(ParseCpinrAnswer(text, retries));
  if (retries.pin < -1 || retries.puk < -1 || (retries.pin != -1 && retries.puk != -1)) std::abort();

  int lowest = -1;
  const DvResult cmgd = ParseCmgdTestAnswer(text, lowest);
  Check(cmgd);
  if ((cmgd == DV_S_OK) != (lowest >= 0)) std::abort();
  return 0;
}
