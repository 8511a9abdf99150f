#include "foundation/xsystem.h"

#include <cstring>

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "platform/win32_error.h"

using platform::GetLastError;
using platform::OSVERSIONINFO;
using platform::SetLastError;

namespace {

// The first buffer holds any classic path (260 characters and a terminator);
// each retry adds 64. The limit stops the search at the longest path the
// system's wide-character calls can name, should a module ever keep
// answering "too small".
constexpr uint32_t kFirstModuleNameSize = 261;
constexpr uint32_t kModuleNameSizeStep = 64;
constexpr uint32_t kModuleNameSizeLimit = 32768;

// The environment changing between the size query and the expansion costs a
// retry; a few of them mean it keeps changing, and the helper gives up.
constexpr int kExpandAttempts = 4;

bool Is9x(const OSVERSIONINFO& info) {
  return info.dwPlatformId == platform::kVerPlatformWin32Windows;
}
bool IsNt(const OSVERSIONINFO& info) { return info.dwPlatformId == platform::kVerPlatformWin32Nt; }

template <bool (*Test)(const OSVERSIONINFO&)>
bool AskSystem() {
  OSVERSIONINFO info{};
  return GetVersionInfo(&info) && Test(info);
}

}  // namespace

bool GetVersionInfo(OSVERSIONINFO* info) {
  if (info != nullptr) info->dwOSVersionInfoSize = sizeof(OSVERSIONINFO);
  if (!platform::GetVersionEx(info)) {
    XLog("GetVersionInfo, GetVersionEx: 0x%x. Very suspicious.", XLastErrorOrFail());
    return false;
  }
  SetLastError(0);
  return true;
}

bool IsWin9xPlatform(const OSVERSIONINFO& info) { return Is9x(info); }
bool IsNtPlatform(const OSVERSIONINFO& info) { return IsNt(info); }
bool IsWin98(const OSVERSIONINFO& info) {
  return Is9x(info) && info.dwMajorVersion == 4 && info.dwMinorVersion == 10;
}
bool IsWin9xVersion490OrLater(const OSVERSIONINFO& info) {
  return Is9x(info) &&
         (info.dwMajorVersion > 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion >= 90));
}
bool IsNt4OrLower(const OSVERSIONINFO& info) { return IsNt(info) && info.dwMajorVersion <= 4; }
bool IsNt50(const OSVERSIONINFO& info) {
  return IsNt(info) && info.dwMajorVersion == 5 && info.dwMinorVersion == 0;
}
bool IsNtLaterThan50(const OSVERSIONINFO& info) {
  return IsNt(info) &&
         (info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1));
}
bool IsNtMajorAbove5(const OSVERSIONINFO& info) { return IsNt(info) && info.dwMajorVersion > 5; }

bool IsWin9xPlatform() { return AskSystem<IsWin9xPlatform>(); }
bool IsNtPlatform() { return AskSystem<IsNtPlatform>(); }
bool IsWin98() { return AskSystem<IsWin98>(); }
bool IsWin9xVersion490OrLater() { return AskSystem<IsWin9xVersion490OrLater>(); }
bool IsNt4OrLower() { return AskSystem<IsNt4OrLower>(); }
bool IsNt50() { return AskSystem<IsNt50>(); }
bool IsNtLaterThan50() { return AskSystem<IsNtLaterThan50>(); }
bool IsNtMajorAbove5() { return AskSystem<IsNtMajorAbove5>(); }

char* XGetModuleFileName(platform::HMODULE module) {
  for (uint32_t size = kFirstModuleNameSize; size <= kModuleNameSizeLimit;
       size += kModuleNameSizeStep) {
    auto* buffer = static_cast<char*>(XAlloc(size));
    if (buffer == nullptr) return nullptr;
    const uint32_t length = platform::GetModuleFileName(module, buffer, size);
    if (length == 0) {
      XFree(buffer);  // keeps the call's last error
      return nullptr;
    }
    if (length < size) {
      char* name = XStrDup(buffer);
      XFree(buffer);
      return name;
    }
    XFree(buffer);
  }
  SetLastError(platform::kErrorFilenameExcedRange);
  return nullptr;
}

char* GetTempPath() {
  const uint32_t needed = platform::GetTempPath(0, nullptr);
  if (needed == 0) {
    if (GetLastError() == 0) SetLastError(platform::kResultFail);
    return nullptr;
  }
  const uint32_t size = needed + 2;
  auto* path = static_cast<char*>(XAlloc(size));
  if (path == nullptr) return nullptr;
  const uint32_t length = platform::GetTempPath(size, path);
  if (length != needed - 1) {
    // The variable changed between the two questions.
    XLog("GetTempPath: Suspicious state.");
    if (length == 0 || length >= size) {
      XFree(path);
      SetLastError(platform::kResultFail);
      return nullptr;
    }
  }
  SetLastError(0);
  return path;
}

char* XExpandEnvironmentStrings(const char* text) {
  if (text == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  uint32_t size = platform::ExpandEnvironmentStrings(text, nullptr, 0);
  for (int attempt = 0; attempt < kExpandAttempts && size != 0; ++attempt) {
    auto* expanded = static_cast<char*>(XAlloc(size));
    if (expanded == nullptr) return nullptr;
    const uint32_t needed = platform::ExpandEnvironmentStrings(text, expanded, size);
    if (needed != 0 && needed <= size) {
      SetLastError(0);
      return expanded;
    }
    XFree(expanded);
    size = needed;
  }
  if (size != 0 || GetLastError() == 0) SetLastError(platform::kResultFail);
  return nullptr;
}
