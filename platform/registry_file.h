// The text forms of the registry store (registry.h has the layout): the
// values file of one key and the folder name of a key. Pure functions over
// text; the store does the file I/O.
//
// Values file grammar (UTF-8, lines end with "\n"; a "\r" before it is
// tolerated, blank lines and lines starting with "#" are skipped):
//   file   := "vombel-registry 1" "\n" { line "\n" }
//   line   := name "=" kind ":" data
//   kind   := "sz" | "expand_sz" | "multi_sz"   data: escaped text; the value
//                                                is its UTF-16 form plus one
//                                                terminating zero unit
//           | "dword"                            data: 1 to 8 hex digits
//           | "binary"                           data: hex byte pairs
//           | "hex(" decimal type ")"            data: hex byte pairs
// A name or text is UTF-8 where "%XX" (two hex digits) stands for one byte;
// the writer escapes "%", control characters, DEL, "=" in names and a leading
// "#" of a name. A value is written in its text form only when that gives its
// bytes back exactly; every other value (odd length, no terminator, an
// unpaired surrogate) is written as hex, so any bytes survive a round trip.
//
// A line that does not follow the grammar, a repeated name, or a last line
// without its "\n" (a cut-off file) is dropped and counted as damaged; a file
// without the first line counts every line as damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RegistryValue {
  std::u16string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;

  bool operator==(const RegistryValue&) const = default;
};

struct RegistryFileContent {
  std::vector<RegistryValue> values;
  size_t damaged_lines = 0;
  bool header_ok = false;

  bool damaged() const { return damaged_lines > 0 || !header_ok; }
};

inline constexpr std::string_view kRegistryFileHeader = "vombel-registry 1";

RegistryFileContent ParseRegistryFile(std::string_view text);
std::string SerializeRegistryFile(const std::vector<RegistryValue>& values);

// A key's folder name. Encoding is defined for names that hold no "\" and no
// zero unit; decoding answers nullopt for every folder name that is not the
// exact encoding of such a name (the store's own "." entries included).
std::string EncodeRegistryKeyName(std::u16string_view name);
std::optional<std::u16string> DecodeRegistryKeyName(std::string_view folder_name);

// Key and value names compare ignoring case: ASCII, Latin-1, Greek and
// Cyrillic letters fold to upper case; other units compare as they are.
char16_t FoldRegistryChar(char16_t c);
bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b);
// Order of enumeration: by folded name, then by the name as written.
bool RegistryNameLess(std::u16string_view a, std::u16string_view b);

}  // namespace platform
