// The simulated card's reading of an SMS-SUBMIT typed after AT+CMGS.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sim/sms_submit_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view hex(reinterpret_cast<const char*>(data), size);
  const auto submit = sim::ParseSubmitPdu(hex);
  if (submit && (submit->tpdu_length < 0 || static_cast<size_t>(submit->tpdu_length) * 2 > size ||
                 submit->recipient.size() > 21)) {
    std::abort();
  }
  return 0;
}
