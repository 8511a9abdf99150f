// The frames a program posts to another instance's window over the class
// socket: fixed-size, little-endian {uint32 message, uint64 wParam,
// int64 lParam}. The bytes come from another process, so decoding takes
// whatever arrives and only ever yields whole frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

inline constexpr size_t kInstanceFrameSize = 20;

struct InstanceFrame {
  uint32_t message = 0;
  uint64_t wparam = 0;
  int64_t lparam = 0;
  bool operator==(const InstanceFrame&) const = default;
};

std::array<uint8_t, kInstanceFrameSize> EncodeInstanceFrame(const InstanceFrame& frame);

// Decodes every whole frame at the start of `bytes` into `frames`; returns
// the number of bytes used (a multiple of the frame size). The rest is the
// beginning of a frame still on its way.
size_t DecodeInstanceFrames(std::span<const uint8_t> bytes, std::vector<InstanceFrame>* frames);

// The frames of one connection, as its bytes arrive in pieces of any size.
// Holds at most one partial frame; a partial frame left when the connection
// ends is dropped by whoever drops the reader.
class InstanceFrameReader {
 public:
  void Feed(std::span<const uint8_t> bytes, std::vector<InstanceFrame>* frames);
  size_t Pending() const { return pending_size_; }

 private:
  std::array<uint8_t, kInstanceFrameSize> pending_{};
  size_t pending_size_ = 0;
};

}  // namespace platform
