// Reading the resource sources the resource compiler takes: the manifest of
// custom resources (resources/resources.list) and the string table
// (resources/strings.txt). Both are checked strictly, because a slip in them
// would otherwise only show at run time as a missing text or database. Every
// problem is reported with its line, and parsing goes on so that one build
// shows them all.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "resources/resource_image.h"

namespace resources {

struct SourceError {
  size_t line;  // 1-based
  std::string message;
};

// One custom resource: "TYPE ID FILE". TYPE is a name (letters, digits, '_',
// not starting with a digit; kept upper-case, as names compare without
// regard to case) or a number 1..65535 other than the string-table and
// version types, which the compiler makes itself. ID is 1..65535. FILE is
// the rest of the line, relative to the manifest's folder.
struct ManifestEntry {
  std::string type_name;  // empty when the type is a number
  uint16_t type_number = 0;
  uint16_t id = 0;
  std::string file;
  size_t line = 0;
};

// Blank lines and lines whose first non-blank character is '#' are skipped.
// A (type, id) pair given twice is an error.
std::vector<ManifestEntry> ParseManifest(std::string_view text, std::vector<SourceError>& errors);

// Lines "ID<TAB>text", ID 0..65535; text is UTF-8 with the escapes \n, \t,
// \\ and \" and may be empty (a line holding only the ID is an empty entry
// too). Blank lines and lines starting with '#' are skipped; a leading
// UTF-8 byte-order mark and CR before LF are tolerated. Ill-formed UTF-8, an
// unknown escape, a text over 65535 UTF-16 units and an ID given twice are
// errors.
std::map<uint16_t, std::u16string> ParseStringTable(std::string_view text,
                                                    std::vector<SourceError>& errors);

// "1.2.3" or "1.2.3.4" (tweak 0 when absent), each part 0..65535; false for
// anything else.
bool ParseVersion(std::string_view text, FileVersion& version);

}  // namespace resources
