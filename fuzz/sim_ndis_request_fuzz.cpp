// The simulated WWAN driver's reading of the requests the library sends it:
// the connect request of either port and the text fields of any record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/wwan_ndis.h"
#include "sim/ndis_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  for (sim::NdisPort port : {sim::NdisPort::kControlDevice, sim::NdisPort::kApplicationPort}) {
    if (auto request = sim::ParseNdisConnectRequest(bytes, port)) {
      if (request->dial_string.size() >= platform::kNdisDialStringSize ||
          request->user_name.size() >= platform::kNdisCredentialSize ||
          request->password.size() >= platform::kNdisCredentialSize) {
        std::abort();
      }
    }
  }
  // Field positions from the input's first bytes, anywhere in or past it.
  if (size >= 4) {
    const size_t offset = static_cast<size_t>(data[0]) << 8 | data[1];
    const size_t length = static_cast<size_t>(data[2]) << 8 | data[3];
    if (auto text = sim::NdisTextField(bytes, offset, length); text && text->size() >= length) std::abort();
  }
  return 0;
}
