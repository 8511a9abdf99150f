// What the diagnostics window lists: the rows built from one cache snapshot
// (the diagnostics record, the card record, the states and the current
// profile), their text form for the clipboard and the saved file, and the
// file's bytes. Pure functions; the window only shows the rows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/string_loader.h"

struct CachedDravikValues;

struct DiagnosticsRow {
  bool group = false;    // a group title: no value, drawn apart
  std::u16string item;
  std::u16string value;  // empty for the group titles
};

// The 19 rows while the device is ready, and while connected the 6 rows of
// the connection's traffic after them; none otherwise.
std::vector<DiagnosticsRow> MakeDiagnosticsRows(const CachedDravikValues& values,
                                                const StringLoader& strings = LoadProgramString);

// One line per row: the item, then ": " and the value when there is one,
// each line ended by CR LF.
std::u16string MakeDiagnosticsText(const std::vector<DiagnosticsRow>& rows);

// The saved file's contents: UTF-16 little-endian without a byte-order mark;
// for a Japanese user interface the locale's 8-bit text instead, which on
// this platform is UTF-8. No terminating zero either way.
std::string DiagnosticsFileBytes(std::u16string_view text, bool japanese_ui);


// The save dialog's filters from the table's "description|pattern|...||"
// text: "description (pattern)" each, or the description alone when it
// names its pattern already.
std::vector<std::u16string> SaveDialogFilters(std::u16string_view text);
// The suffix a name without one gets, from the table's "*.txt": "txt".
std::u16string SaveDialogSuffix(std::u16string_view pattern);
