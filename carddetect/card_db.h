// The supported-card database: a single-byte text resource (type "NW_DATA",
// id 101) parsed into a table of at most kMaxCardDbEntries cards. The parser
// (GetNextLine, ReadCardDb) takes text and returns records; InitializeCardDb
// is the only part that touches resources. resources/card_db.txt documents
// the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carddetect/card_info.h"
#include "carddetect/os_type.h"
#include "platform/module.h"

inline constexpr const char* kCardDbResourceType = "NW_DATA";
inline constexpr uint16_t kCardDbResourceId = 101;

// The library's card table and the module it was loaded from.
struct CardDb {
  std::vector<CardDbEntry> entries;  // file order; the index is the priority
  // An explicit module given once is used again by later calls with null.
  platform::HMODULE module = nullptr;
};

// The next line of `text` from `cursor`, each byte one character (code page
// 1252, so every byte maps to exactly one unit). Empty lines and lines whose
// first byte is '#' are skipped. On return the cursor rests on the line end
// that closed the line (or at the end of the text). Nullopt at the end of the
// data, and also when the line cannot be allocated ("Nw: GetNextLine(): not
// enough memory" at level 3): the parse then ends as if the data had.
std::optional<std::u16string> GetNextLine(std::string_view text, size_t& cursor);
// The same on text already converted to UTF-16 (one unit per byte, so the
// cursor means the same offset in both); ReadCardDb converts the whole text
// once and splits the result, instead of converting line by line.
std::optional<std::u16string> GetNextLine(std::u16string_view text, size_t& cursor);

// Parses `text` for `os` and appends the valid sections to `entries`, up to
// kMaxCardDbEntries in all; later sections are dropped with a warning. Bad
// sections are dropped or repaired and never stop the parse. Returns 0, or
// 0x80004005 for kNwOsUnknown (nothing is read then).
uint32_t ReadCardDb(std::string_view text, NwOsType os, std::vector<CardDbEntry>& entries);

// Empties the table and loads it from the NW_DATA resource 101 of `module`
// (null: the module remembered from an earlier call, else the program). 0 on
// success; on failure the system error of the failing resource step (or
// 0x80004005 when there is none), or 21 when the OS type is unknown, and the
// table stays empty.
uint32_t InitializeCardDb(CardDb& db, platform::HMODULE module);

// Frees every entry and empties the table. Returns 0.
uint32_t ReleaseCardDb(CardDb& db);
