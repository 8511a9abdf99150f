// String resources. The string table is stored in blocks of 16 strings
// (block id / 16 + 1), each entry a 16-bit length followed by that many
// UTF-16 units without terminator; these helpers walk a block to one entry.
// They follow the helper convention: success sets the last error to 0, failure
// returns null with the reason in the last error.
#pragma once

#include "platform/module.h"

// The entry of string `id` inside the resource of `module` (null: the
// program): a pointer to its length word, the text following it. Valid as long
// as the module is. A block too short for the walk, or an entry running past
// the block, is logged at level 2 and fails with 13; an empty entry fails
// with 1814; a missing block fails as FindResource does (1813, 1814).
const char16_t* GetStringResourceImage(platform::HMODULE module, unsigned id);

// Copy of string `id` as a new zero-terminated block, freed with XFree; null
// as GetStringResourceImage fails, or with 8 when out of memory.
char16_t* XLoadString(platform::HMODULE module, unsigned id);
