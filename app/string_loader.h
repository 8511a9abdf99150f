// Texts of the program's string table by number, behind a function type so
// that the code building texts for the user can be run against any table.
#pragma once

#include <functional>
#include <string>

// The text of string `id`; empty when the table has none.
using StringLoader = std::function<std::u16string(unsigned id)>;

// String `id` of the program's own table (resources/strings.txt); a missing
// string gives an empty text and a warning in the trace.
std::u16string LoadProgramString(unsigned id);

// `text` with its first "%s" replaced by `insert`. `insert` is data, never a
// format: whatever it holds ("%s", "%d", "%%") is copied as it is.
std::u16string ReplaceFirstPlaceholder(std::u16string text, std::u16string_view insert);
