#include "foundation/xcodepage.h"

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "platform/codepage.h"
#include "platform/win32_error.h"

using platform::SetLastError;

// Both helpers convert the text with its terminator (length -1), so the block
// they return is terminated even when the second pass came out shorter than
// the first; a second pass that failed outright fails the helper with its
// error.

char16_t* XMultiByteToWideChar(uint32_t code_page, uint32_t flags, const char* text) {
  if (text == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  const int needed = platform::MultiByteToWideChar(code_page, flags, text, -1, nullptr, 0);
  if (needed == 0) return nullptr;
  char16_t* wide = XAllocChars(static_cast<size_t>(needed));
  if (wide == nullptr) return nullptr;
  const int written = platform::MultiByteToWideChar(code_page, flags, text, -1, wide, needed);
  if (written != needed) {
    XLog("MultiByteToWideChar: suspicious state.");
    if (written == 0) {
      XFree(wide);
      return nullptr;
    }
  }
  SetLastError(0);
  return wide;
}

char* XWideCharToMultiByte(uint32_t code_page, uint32_t flags, const char16_t* text,
                           const char* default_char, bool* used_default) {
  if (text == nullptr) {
    SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  const int needed = platform::WideCharToMultiByte(code_page, flags, text, -1, nullptr, 0,
                                                   default_char, nullptr);
  if (needed == 0) return nullptr;
  auto* bytes = static_cast<char*>(XAlloc(static_cast<size_t>(needed)));
  if (bytes == nullptr) return nullptr;
  bool used = false;
  const int written = platform::WideCharToMultiByte(code_page, flags, text, -1, bytes, needed,
                                                    default_char, &used);
  if (written != needed) {
    XLog("WideCharToMultiByte: suspicious state.");
    if (written == 0) {
      XFree(bytes);
      return nullptr;
    }
  }
  if (used_default != nullptr) *used_default = used;
  SetLastError(0);
  return bytes;
}
