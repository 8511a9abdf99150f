// The build's feature switches: the INI text compiled into the program
// (resource "SETTINGS_DB" 172). Only the section "Application" is consulted.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/module.h"

class CIniHelper {
 public:
  using Section = std::map<std::u16string, std::u16string, std::less<>>;
  using Sections = std::map<std::u16string, Section, std::less<>>;

  static constexpr int kSettingsResourceId = 172;
  static constexpr const char* kSettingsResourceType = "SETTINGS_DB";

  // The program's own settings text, parsed on first use. A missing resource
  // leaves every value at the caller's default.
  static const CIniHelper& Instance();

  // The settings text of `module` (null: the program).
  explicit CIniHelper(platform::HMODULE module);
  // Already loaded text.
  explicit CIniHelper(std::u16string_view text);

  // Lines split at CR or LF and trimmed; "[name]" opens a section (a repeated
  // name starts that section over), "key = value" lines inside a section set
  // values (the last one wins). Everything else is ignored, so no input can
  // make parsing fail. Names compare exactly.
  static Sections Parse(std::u16string_view text);

  // The value of `key` in section "Application", or `default_value` when the
  // section or the key is missing.
  std::u16string GetValue(std::u16string_view default_value, std::u16string_view key) const;

 private:
  Sections sections_;
};
