#include "foundation/xfile_version.h"

#include <sys/stat.h>

#include <bit>
#include <cstring>

#include "foundation/xmemory.h"
#include "platform/resources.h"
#include "platform/win32_error.h"
#include "resources/resource_image.h"

using platform::SetLastError;

// The record is copied out of the little-endian block as it stands.
static_assert(std::endian::native == std::endian::little);

namespace {

struct VersionResource {
  const unsigned char* data = nullptr;
  size_t size = 0;
};

uint16_t ReadU16(const unsigned char* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

bool IsOwnExecutable(const struct stat& file) {
  struct stat own;
  return ::stat("/proc/self/exe", &own) == 0 && own.st_dev == file.st_dev && own.st_ino == file.st_ino;
}

// The version resource of `file`; false with the last error set when there is
// none.
bool FindVersionResource(const char* file, VersionResource& out) {
  if (file != nullptr) {
    struct stat status;
    if (::stat(file, &status) != 0) {
      platform::SetLastErrorFromErrno();
      return false;
    }
    // Executables here are plain ELF files without a version block; only the
    // program's own file has one, compiled into it.
    if (!IsOwnExecutable(status)) {
      SetLastError(platform::kErrorResourceTypeNotFound);
      return false;
    }
  }
  platform::HRSRC resource = platform::FindResource(nullptr, platform::kVsVersionInfo, platform::kRtVersion);
  if (resource == nullptr) return false;
  platform::HGLOBAL loaded = platform::LoadResource(nullptr, resource);
  if (loaded == nullptr) return false;
  out.data = static_cast<const unsigned char*>(platform::LockResource(loaded));
  if (out.data == nullptr) return false;
  out.size = platform::SizeofResource(nullptr, resource);
  return true;
}

}  // namespace

uint32_t QueryFixedFileInfo(const void* block, size_t size, FixedFileInfo* out) {
  static constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr size_t kHeader = 6;
  const auto* data = static_cast<const unsigned char*>(block);
  if (data == nullptr || size < kHeader) return platform::kErrorInvalidData;
  const size_t length = ReadU16(data);
  const size_t value_length = ReadU16(data + 2);
  // The block may be followed by padding, never cut short.
  if (length < kHeader || length > size) return platform::kErrorInvalidData;
  if (length < resources::kFixedFileInfoOffset) return platform::kErrorInvalidData;
  for (size_t i = 0; i < std::size(kKey); ++i) {
    if (ReadU16(data + kHeader + 2 * i) != kKey[i]) return platform::kErrorInvalidData;
  }
  if (value_length == 0) return platform::kErrorResourceTypeNotFound;
  if (value_length != sizeof(FixedFileInfo) || length < resources::kFixedFileInfoOffset + sizeof(FixedFileInfo)) {
    return platform::kErrorInvalidData;
  }
  FixedFileInfo info;
  std::memcpy(&info, data + resources::kFixedFileInfoOffset, sizeof info);
  if (info.signature != resources::kFixedFileInfoSignature) return platform::kErrorInvalidData;
  if (out != nullptr) *out = info;
  return platform::kErrorSuccess;
}

void* XGetFileVersionInfo(const char* file) {
  VersionResource resource;
  if (!FindVersionResource(file, resource)) return nullptr;
  void* copy = XAlloc(resource.size);
  if (copy != nullptr) std::memcpy(copy, resource.data, resource.size);
  return copy;
}

bool XGetFixedFileInfo(const char* file, FixedFileInfo* out) {
  if (out == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  VersionResource resource;
  if (!FindVersionResource(file, resource)) return false;
  const uint32_t error = QueryFixedFileInfo(resource.data, resource.size, out);
  SetLastError(error);
  return error == platform::kErrorSuccess;
}
