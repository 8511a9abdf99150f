#include "app/string_loader.h"

#include <utility>

#include "app/text_util.h"

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
  return app_text::ReplaceFirst(std::move(text), u"%s", insert);
}
