// Registry helpers with the helpers' one convention: each returns the
// platform error (0 success) and leaves the same number in the thread's last
// error, so callers may test either. Texts and blocks they hand out come from
// XAlloc and go back with XFree; on failure the out pointer is null.
#pragma once

#include <cstdint>

#include "platform/registry.h"

// Closes the key; a failed close is logged and the caller's last error
// survives.
void XRegCloseKey(platform::HKEY key);

// Reads a value of any type into a new block (two passes: size, then data).
// `type` and `size` may be null; null `data` gives 87.
uint32_t XRegQueryValue(platform::HKEY key, const char16_t* name, uint8_t** data, uint32_t* type,
                        uint32_t* size);

// A REG_SZ or REG_EXPAND_SZ value as a zero-terminated text, even when the
// stored bytes lack the terminator. With `expand`, %NAME% references in a
// REG_EXPAND_SZ value are replaced from the environment. Another type gives
// 13 (invalid data).
uint32_t XRegQueryString(platform::HKEY key, const char16_t* name, char16_t** text, bool expand);

// Opens `subkey` of `root` for reading, XRegQueryString, closes.
uint32_t XRegQueryStringKey(platform::HKEY root, const char16_t* subkey, const char16_t* name,
                            char16_t** text, bool expand);

// Writes `text` with its terminator as a REG_SZ value; with `create`, makes
// the key when it does not exist yet.
uint32_t XRegWriteString(platform::HKEY root, const char16_t* subkey, const char16_t* name,
                         const char16_t* text, bool create);

// Gives the key the null access list: everyone may do everything.
uint32_t XRegRemoveKeyDacl(platform::HKEY root, const char16_t* subkey);

// Deletes the key; with `recurse`, every key below it first. A deletion
// refused for lack of access is retried once after removing the access list.
uint32_t XRegDeleteKeyTree(platform::HKEY root, const char16_t* subkey, bool recurse);
