// Heap blocks and handle closing with one error convention: a helper that
// succeeds sets the last error to 0; one that fails returns null and leaves the
// reason in the last error. Every block comes from platform::LocalAlloc and
// goes back with XFree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handle.h"

// The last error, or 0x80004005 when none is recorded.
uint32_t XLastErrorOrFail();

void* XAlloc(size_t bytes);
char16_t* XAllocChars(size_t count);
char16_t* XStrDup(const char16_t* text);
char* XStrDup(const char* text);
// `format` with its one "%s" replaced by `text` ("%%" gives "%"); a new block
// of length(format) + length(text) + 1 characters. Other conversions are kept
// as they stand: there is only ever one argument to apply.
char16_t* XFormatString(const char16_t* format, const char16_t* text);

// Null is accepted. The caller's last error survives both.
void XRelease(void* block);
void XFree(void* block);
void XCloseHandle(platform::HANDLE handle);

// Length of a zero-terminated UTF-16 text.
size_t XStrLen(const char16_t* text);
