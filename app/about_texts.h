// What the about box says: its title, the application name, the program's
// file version and the company line. Pure functions but for reading the
// program's own version block.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/xfile_version.h"

struct AboutTexts {
  std::u16string title;         // "About <application name>"
  std::u16string name;          // the application name
  std::u16string version;       // "major.minor.build.revision", or "-" when unknown
  std::u16string company_line;  // the company line with the CompanyName setting
};

// The texts for `application_name` and `company_name` (both data, copied as
// they are); `version` null gives the version "-".
AboutTexts MakeAboutTexts(std::u16string_view application_name, std::u16string_view company_name,
                          const std::optional<FixedFileInfo>& version);

// The fixed record of the program's version block; null (and a warning in the
// trace) when it cannot be read.
std::optional<FixedFileInfo> ReadProgramVersion();
