#include "platform/system_info.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "platform/text.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

std::string TempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
  if (path.back() != '/') path.push_back('/');
  return path;
}

// The target of a symbolic link, however long; false with the last error set.
bool ReadLink(const char* link, std::string& target) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink(link, buffer.data(), buffer.size());
    if (n < 0) {
      SetLastErrorFromErrno();
      return false;
    }
    // A full buffer may have cut the name: readlink does not say.
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      target = std::move(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string Expand(const char* source) {
  std::string out;
  const char* at = source;
  while (*at != '\0') {
    if (*at != '%') {
      out.push_back(*at++);
      continue;
    }
    const char* close = std::strchr(at + 1, '%');
    if (close == nullptr) {
      out.append(at);
      break;
    }
    const std::string name(at + 1, close);
    const char* value = name.empty() || name.find('=') != std::string::npos
                            ? nullptr
                            : std::getenv(name.c_str());
    if (value != nullptr) {
      out.append(value);
      at = close + 1;
    } else {
      // Not a variable: keep "%NAME" and look at the '%' again, it may open
      // the next name ("%not a name%PATH%").
      out.append(at, close);
      at = close;
    }
  }
  return out;
}

}  // namespace

uint32_t GetTempPath(uint32_t buffer_size, char* buffer) {
  if (buffer == nullptr && buffer_size != 0) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  try {
    const std::string path = TempPath();
    const auto length = static_cast<uint32_t>(path.size());
    if (buffer_size < length + 1) return length + 1;
    std::memcpy(buffer, path.c_str(), length + 1);
    return length;
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
}

uint32_t GetModuleFileName(HMODULE module, char* buffer, uint32_t size) {
  if (module != nullptr) {
    SetLastError(kErrorModNotFound);
    return 0;
  }
  if (buffer == nullptr && size != 0) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  try {
    std::string path;
    if (!ReadLink("/proc/self/exe", path)) return 0;
    if (path.size() >= size) {
      if (size > 0) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
      }
      SetLastError(kErrorInsufficientBuffer);
      return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<uint32_t>(path.size());
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
}

bool GetVersionEx(OSVERSIONINFO* info) {
  if (info == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFO)) {
    SetLastError(kErrorInsufficientBuffer);
    return false;
  }
  info->dwMajorVersion = kReportedMajorVersion;
  info->dwMinorVersion = kReportedMinorVersion;
  info->dwBuildNumber = kReportedBuildNumber;
  info->dwPlatformId = kVerPlatformWin32Nt;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  // The kernel's name is a courtesy for diagnostics: without it the record is
  // still complete, so a failing uname (or no memory) leaves the text empty.
  utsname names{};
  if (uname(&names) == 0) {
    try {
      const std::u16string text =
          Utf8ToUtf16(std::string(names.sysname) + " " + names.release);
      const size_t n = std::min(text.size(), std::size(info->szCSDVersion) - 1);
      std::memcpy(info->szCSDVersion, text.data(), n * sizeof(char16_t));
    } catch (const std::bad_alloc&) {
    }
  }
  return true;
}

uint32_t ExpandEnvironmentStrings(const char* source, char* destination, uint32_t size) {
  if (source == nullptr || (destination == nullptr && size != 0)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  try {
    const std::string text = Expand(source);
    if (text.size() >= UINT32_MAX) {
      SetLastError(kErrorInsufficientBuffer);
      return 0;
    }
    const auto needed = static_cast<uint32_t>(text.size() + 1);
    if (needed <= size) std::memcpy(destination, text.c_str(), needed);
    return needed;
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
}

}  // namespace platform
