// Custom resources (the settings file, the automatic-profile table) as text.
// They are single-byte text in the ANSI code page; the conversion happens here
// so the parsers only ever see UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "platform/module.h"

class CResourceHelper {
 public:
  // The text of resource `identifier` of `type` in `module` (null: the
  // program). A resource that cannot be found, loaded or locked gives an empty
  // text and one error line naming the step that failed; callers then run on
  // their built-in defaults.
  static std::u16string GetResource(int identifier, const char* type,
                                    platform::HMODULE module = nullptr);

  // Single-byte ANSI text to UTF-16. Every byte maps to one character (zero
  // bytes included), so the result has as many characters as `bytes`.
  static std::u16string AnsiToText(std::string_view bytes);
};
