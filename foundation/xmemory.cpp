#include "foundation/xmemory.h"

#include <cstring>

#include "foundation/xlog.h"
#include "platform/heap.h"
#include "platform/win32_error.h"

using platform::GetLastError;
using platform::SetLastError;

uint32_t XLastErrorOrFail() {
  const uint32_t error = GetLastError();
  return error != 0 ? error : platform::kResultFail;
}

size_t XStrLen(const char16_t* text) {
  size_t n = 0;
  while (text[n] != u'\0') ++n;
  return n;
}

void* XAlloc(size_t bytes) {
  void* block = platform::LocalAlloc(bytes);
  if (block != nullptr) SetLastError(0);
  return block;
}

char16_t* XAllocChars(size_t count) {
  if (count > SIZE_MAX / sizeof(char16_t)) {
    SetLastError(platform::kErrorNotEnoughMemory);
    return nullptr;
  }
  return static_cast<char16_t*>(XAlloc(count * sizeof(char16_t)));
}

char16_t* XStrDup(const char16_t* text) {
  if (text == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  const size_t n = XStrLen(text) + 1;
  auto* copy = XAllocChars(n);
  if (copy != nullptr) std::memcpy(copy, text, n * sizeof(char16_t));
  return copy;
}

char* XStrDup(const char* text) {
  if (text == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  const size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(XAlloc(n));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

char16_t* XFormatString(const char16_t* format, const char16_t* text) {
  if (format == nullptr || text == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  const size_t format_length = XStrLen(format);
  const size_t text_length = XStrLen(text);
  auto* out = XAllocChars(format_length + text_length + 1);
  if (out == nullptr) return nullptr;
  // Only one conversion is ever applied; the result is never longer than
  // format + text, so the block cannot overflow.
  size_t at = 0;
  bool applied = false;
  for (size_t i = 0; i < format_length; ++i) {
    if (format[i] == u'%' && i + 1 < format_length) {
      if (format[i + 1] == u'%') {
        out[at++] = u'%';
        ++i;
        continue;
      }
      if (format[i + 1] == u's' && !applied) {
        std::memcpy(out + at, text, text_length * sizeof(char16_t));
        at += text_length;
        applied = true;
        ++i;
        continue;
      }
    }
    out[at++] = format[i];
  }
  out[at] = u'\0';
  return out;
}

void XRelease(void* block) {
  platform::LastErrorPreserver preserve;
  if (!platform::LocalFree(block)) XLog("XRelease, XFree: 0x%x.\n", XLastErrorOrFail());
}

void XFree(void* block) { XRelease(block); }

void XCloseHandle(platform::HANDLE handle) {
  platform::LastErrorPreserver preserve;
  if (!platform::CloseHandle(handle)) XLog("XCloseHandle, CloseHandle: 0x%x.\n", XLastErrorOrFail());
}
