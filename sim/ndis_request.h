// What the simulated WWAN driver reads in the requests the library sends it:
// the sizes each request takes and gives on each of the two ports that carry
// them, and the fields of the connect request and of the configuration
// record. Pure: never reads beyond what it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sim {

// Where the driver answers: its NDIS control device, or (Broadcom-type
// cards) the card's application port.
enum class NdisPort { kControlDevice, kApplicationPort };

// The dial string each port's connect request carries.
inline constexpr std::string_view kNdisControlDialString = "ATDT*99***1#";
inline constexpr std::string_view kNdisPortDialString = "*99***1#";

// The exact input size of a request and the least output it needs.
struct NdisRequestShape {
  size_t input = 0;
  size_t output = 0;
};

// Nothing for a code that the driver does not answer on `port`.
std::optional<NdisRequestShape> NdisRequestShapeOf(uint32_t code, NdisPort port);

// 0 when the buffers fit the shape; 87 (invalid parameter) when the input
// is not exactly its size, else 122 (insufficient buffer) when the output is
// too small. A larger output buffer is fine; only the record is written.
uint32_t CheckNdisRequestSize(const NdisRequestShape& shape, size_t input, size_t output);

struct NdisConnectRequest {
  std::string dial_string;
  std::string user_name;  // 8-bit text as sent (OEM code page)
  std::string password;
};

// The connect request of `port`'s form. Nothing when its size is not that
// port's, a field lacks its terminating zero, or a byte outside the fields
// (or after a field's zero) is not zero.
std::optional<NdisConnectRequest> ParseNdisConnectRequest(std::span<const uint8_t> request, NdisPort port);

// The zero-terminated text at `offset` in a field of `size` bytes; nothing
// when the field lies outside `record` or holds no zero.
std::optional<std::string> NdisTextField(std::span<const uint8_t> record, size_t offset, size_t size);

}  // namespace sim
