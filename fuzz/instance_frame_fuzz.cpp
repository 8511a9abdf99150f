// The frames another instance posts arrive from another process in pieces of
// any size. Whatever the bytes and however they are cut, the reader must
// yield exactly the frames that a decode of the whole stream yields, keep
// less than one frame, and every frame must encode back to its bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "platform/instance_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the piece size the stream is cut into.
  const size_t piece = data[0] % 31 + 1;
  const std::span<const uint8_t> stream(data + 1, size - 1);

  std::vector<platform::InstanceFrame> whole;
  const size_t used = platform::DecodeInstanceFrames(stream, &whole);
  if (used % platform::kInstanceFrameSize != 0 || stream.size() - used >= platform::kInstanceFrameSize) {
    __builtin_trap();
  }

  platform::InstanceFrameReader reader;
  std::vector<platform::InstanceFrame> pieces;
  for (size_t at = 0; at < stream.size(); at += piece) {
    reader.Feed(stream.subspan(at, std::min(piece, stream.size() - at)), &pieces);
    if (reader.Pending() >= platform::kInstanceFrameSize) __builtin_trap();
  }
  if (pieces != whole || reader.Pending() != stream.size() - used) __builtin_trap();

  for (size_t i = 0; i < whole.size(); ++i) {
    const auto bytes = platform::EncodeInstanceFrame(whole[i]);
    if (std::memcmp(bytes.data(), stream.data() + i * platform::kInstanceFrameSize, bytes.size()) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}
