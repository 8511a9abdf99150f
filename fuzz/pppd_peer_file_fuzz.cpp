// Arbitrary bytes as an entry's peer file (a user may edit it). Parsing must
// finish without faults; an entry whose texts the program could write must
// come back unchanged from the file the program writes for it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/pppd_peer_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const platform::PeerFileEntry entry = platform::ParsePeerFile(text);
  if (platform::IsDialString(entry.phone_number) && platform::IsCommentText(entry.device_type) &&
      platform::IsCommentText(entry.device_name)) {
    if (platform::ParsePeerFile(platform::FormatPeerFile("fuzz", entry)) != entry) std::abort();
  }
  return 0;
}
