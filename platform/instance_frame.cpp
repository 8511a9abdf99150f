#include "platform/instance_frame.h"

#include <algorithm>

namespace platform {
namespace {

uint64_t ReadLittleEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

void WriteLittleEndian(uint8_t* bytes, uint64_t value, size_t count) {
  for (size_t i = 0; i < count; ++i, value >>= 8) bytes[i] = static_cast<uint8_t>(value);
}

}  // namespace

std::array<uint8_t, kInstanceFrameSize> EncodeInstanceFrame(const InstanceFrame& frame) {
  std::array<uint8_t, kInstanceFrameSize> bytes{};
  WriteLittleEndian(bytes.data(), frame.message, 4);
  WriteLittleEndian(bytes.data() + 4, frame.wparam, 8);
  WriteLittleEndian(bytes.data() + 12, static_cast<uint64_t>(frame.lparam), 8);
  return bytes;
}

size_t DecodeInstanceFrames(std::span<const uint8_t> bytes, std::vector<InstanceFrame>* frames) {
  size_t used = 0;
  for (; bytes.size() - used >= kInstanceFrameSize; used += kInstanceFrameSize) {
    const uint8_t* p = bytes.data() + used;
    InstanceFrame frame;
    frame.message = static_cast<uint32_t>(ReadLittleEndian(p, 4));
    frame.wparam = ReadLittleEndian(p + 4, 8);
    frame.lparam = static_cast<int64_t>(ReadLittleEndian(p + 12, 8));
    frames->push_back(frame);
  }
  return used;
}

void InstanceFrameReader::Feed(std::span<const uint8_t> bytes, std::vector<InstanceFrame>* frames) {
  if (pending_size_ > 0) {
    const size_t take = std::min(kInstanceFrameSize - pending_size_, bytes.size());
    std::copy_n(bytes.begin(), take, pending_.begin() + pending_size_);
    pending_size_ += take;
    bytes = bytes.subspan(take);
    if (pending_size_ < kInstanceFrameSize) return;
    DecodeInstanceFrames(pending_, frames);
    pending_size_ = 0;
  }
  const size_t used = DecodeInstanceFrames(bytes, frames);
  pending_size_ = bytes.size() - used;
  std::copy(bytes.begin() + used, bytes.end(), pending_.begin());
}

}  // namespace platform
