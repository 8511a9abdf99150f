#include "foundation/xresource.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "platform/resources.h"
#include "platform/win32_error.h"
#include "resources/resource_image.h"

using platform::SetLastError;

// String-table blocks are little-endian and callers read the entries in place
// as native 16-bit units.
static_assert(std::endian::native == std::endian::little);

namespace {

uint16_t ReadUnit(const unsigned char* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

}  // namespace

const char16_t* GetStringResourceImage(platform::HMODULE module, unsigned id) {
  const uint32_t block = resources::StringBlockOf(id);
  // Ids above 65535 would need a block number no resource can carry.
  if (block > 0xFFFF) {
    SetLastError(platform::kErrorResourceNameNotFound);
    return nullptr;
  }
  platform::HRSRC resource = platform::FindResource(module, block, platform::kRtString);
  if (resource == nullptr) return nullptr;
  platform::HGLOBAL loaded = platform::LoadResource(module, resource);
  if (loaded == nullptr) return nullptr;
  const auto* data = static_cast<const unsigned char*>(platform::LockResource(loaded));
  if (data == nullptr) return nullptr;
  const size_t size = platform::SizeofResource(module, resource);

  // The block comes from whoever built the module; its lengths are checked
  // against its size before anything behind them is touched.
  size_t offset = 0;
  for (unsigned skip = id % resources::kStringsPerBlock;; --skip) {
    if (size - offset < 2) {
      XLogLevel(kXLogWarning, "GetStringResourceImage: invalid resources.");
      SetLastError(platform::kErrorInvalidData);
      return nullptr;
    }
    const size_t length = ReadUnit(data + offset);
    if (skip == 0) {
      if (size - offset - 2 < 2 * length) {
        XLogLevel(kXLogWarning, "GetStringResourceImage: invalid resources [2].");
        SetLastError(platform::kErrorInvalidData);
        return nullptr;
      }
      if (length == 0) {
        SetLastError(platform::kErrorResourceNameNotFound);
        return nullptr;
      }
      break;
    }
    // An entry that runs past the end leaves no room for the next length
    // word, which the check above catches on the next round.
    offset += 2 + 2 * length;
    if (offset > size) offset = size;
  }
  SetLastError(0);
  // Resource bytes are at least 4-byte aligned and every entry starts at an
  // even offset, so the entry can be read as 16-bit units in place.
  return reinterpret_cast<const char16_t*>(data + offset);
}

char16_t* XLoadString(platform::HMODULE module, unsigned id) {
  const char16_t* image = GetStringResourceImage(module, id);
  if (image == nullptr) return nullptr;
  const size_t length = image[0];
  char16_t* copy = XAllocChars(length + 1);
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, image + 1, length * sizeof(char16_t));
  copy[length] = u'\0';
  return copy;
}
