#include "sim/ndis_request.h"

#include <algorithm>

#include "platform/win32_error.h"
#include "platform/wwan_ndis.h"

namespace sim {

std::optional<NdisRequestShape> NdisRequestShapeOf(uint32_t code, NdisPort port) {
  const bool control = port == NdisPort::kControlDevice;
  // The Broadcom-type driver writes a word pair for connect and disconnect
  // that nobody reads, and wants room for it all the same.
  const size_t reply = control ? 0 : platform::kBroadcomNdisReplySize;
  switch (code) {
    case platform::IOCTL_VL_NDIS_GPRS_CONNECT:
      return NdisRequestShape{control ? platform::kNdisConnectRequestSize : platform::kBroadcomNdisConnectRequestSize,
                              reply};
    case platform::IOCTL_VL_NDIS_GPRS_DISCONNECT:
      return NdisRequestShape{0, reply};
    case platform::IOCTL_VL_NDIS_GET_STATE:
      return NdisRequestShape{0, sizeof(platform::NdisStateRecord)};
    case platform::IOCTL_VL_NDIS_GET_STATISTICS:
      return NdisRequestShape{0, sizeof(platform::NdisStatisticsRecord)};
    case platform::IOCTL_VL_NDIS_SET_CONFIG:
      return NdisRequestShape{platform::kNdisConfigSize, 0};
    case platform::IOCTL_VL_NDIS_GET_CONFIG:
      return NdisRequestShape{0, platform::kNdisConfigSize};
    default:
      return std::nullopt;
  }
}

uint32_t CheckNdisRequestSize(const NdisRequestShape& shape, size_t input, size_t output) {
  if (input != shape.input) return platform::kErrorInvalidParameter;
  if (output < shape.output) return platform::kErrorInsufficientBuffer;
  return platform::kErrorSuccess;
}

std::optional<std::string> NdisTextField(std::span<const uint8_t> record, size_t offset, size_t size) {
  if (offset > record.size() || size > record.size() - offset) return std::nullopt;
  const auto field = record.subspan(offset, size);
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  if (end == field.end()) return std::nullopt;
  return std::string(field.begin(), end);
}

std::optional<NdisConnectRequest> ParseNdisConnectRequest(std::span<const uint8_t> request, NdisPort port) {
  const size_t size = port == NdisPort::kControlDevice ? platform::kNdisConnectRequestSize
                                                       : platform::kBroadcomNdisConnectRequestSize;
  if (request.size() != size) return std::nullopt;
  NdisConnectRequest out;
  struct Field {
    size_t offset;
    size_t size;
    std::string* text;
  };
  const Field fields[] = {
      {0, platform::kNdisDialStringSize, &out.dial_string},
      {platform::kNdisUserNameOffset, platform::kNdisCredentialSize, &out.user_name},
      {platform::kNdisPasswordOffset, platform::kNdisCredentialSize, &out.password},
  };
  size_t covered = 0;
  for (const Field& field : fields) {
    auto text = NdisTextField(request, field.offset, field.size);
    if (!text) return std::nullopt;
    *field.text = std::move(*text);
    // What follows the text's zero up to the field's end must be zero too.
    const auto rest = request.subspan(field.offset + field.text->size(), field.size - field.text->size());
    if (std::any_of(rest.begin(), rest.end(), [](uint8_t b) { return b != 0; })) return std::nullopt;
    covered = field.offset + field.size;
  }
  const auto tail = request.subspan(covered);
  if (std::any_of(tail.begin(), tail.end(), [](uint8_t b) { return b != 0; })) return std::nullopt;
  return out;
}

}  // namespace sim
