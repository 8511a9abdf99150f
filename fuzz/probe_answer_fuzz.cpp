// Arbitrary bytes as a port's answer to the standard card probe's "AT\r" and
// as a device's instance ID. The answer reader must settle on OK only when
// an "OK" line has ended, and be unmoved by bytes after that line; the
// interface number is two hex digits, so never above 0xFF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "carddetect/device_text.h"
#include "carddetect/port_probe.h"
#include "carddetect/standard_card.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ProbeAnswer answer = ReadProbeAnswer(text);
  if (answer == ProbeAnswer::kOk) {
    if (text.find("OK") == std::string::npos) std::abort();
    if (ReadProbeAnswer(text + "ERROR\r\n\x01\xff") != ProbeAnswer::kOk) std::abort();
  }
  if (ReadProbeAnswer(text + "\r\nOK\r\n") != ProbeAnswer::kOk) std::abort();

  if (const auto number = InterfaceNumberInId(OemToUtf16(text)); number && *number > 0xFF) std::abort();
  return 0;
}
