#include "app/string_loader.h"

#include "foundation/xlog.h"
#include "foundation/xmemory.h"
#include "foundation/xresource.h"

std::u16string LoadProgramString(unsigned id) {
  char16_t* text = XLoadString(nullptr, id);
  if (text == nullptr) {
    XLogLevel(kXLogWarning, "LoadProgramString, LoadString, %u: NOK.", id);
    return {};
  }
  std::u16string result(text);
  XFree(text);
  return result;
}

std::u16string ReplaceFirstPlaceholder(std::u16string text, std::u16string_view insert) {
  const size_t at = text.find(u"%s");
  if (at != std::u16string::npos) text.replace(at, 2, insert);
  return text;
}
