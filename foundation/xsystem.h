// Helpers over the system queries: version tests, the program's file name, the
// temporary folder and environment expansion. They follow the helpers' error
// convention (xmemory.h): success sets the last error to 0, failure returns
// null (or false) with the reason in the last error. Paths are UTF-8 in blocks
// the caller releases with XFree.
#pragma once

#include "platform/module.h"
#include "platform/system_info.h"

// Sets the record's size field and fills it. On failure logs
// "GetVersionInfo, GetVersionEx: 0x%x. Very suspicious." and returns false.
bool GetVersionInfo(platform::OSVERSIONINFO* info);

// Each asks GetVersionInfo and answers false when it fails. The overloads that
// take a record answer for that record.
bool IsWin9xPlatform();
bool IsNtPlatform();
bool IsWin98();
bool IsWin9xVersion490OrLater();
bool IsNt4OrLower();
bool IsNt50();
bool IsNtLaterThan50();
bool IsNtMajorAbove5();

bool IsWin9xPlatform(const platform::OSVERSIONINFO& info);
bool IsNtPlatform(const platform::OSVERSIONINFO& info);
bool IsWin98(const platform::OSVERSIONINFO& info);
bool IsWin9xVersion490OrLater(const platform::OSVERSIONINFO& info);
bool IsNt4OrLower(const platform::OSVERSIONINFO& info);
bool IsNt50(const platform::OSVERSIONINFO& info);
bool IsNtLaterThan50(const platform::OSVERSIONINFO& info);
bool IsNtMajorAbove5(const platform::OSVERSIONINFO& info);

// The module's file name, however long (buffers of 261, 325, 389 … bytes
// until the name fits). Null with the platform's error for a module without a
// file.
char* XGetModuleFileName(platform::HMODULE module);

// The temporary folder with its trailing '/'. When the folder changed between
// asking for its length and reading it, logs "GetTempPath: Suspicious state."
// and still returns it if it fitted; otherwise null with last error
// 0x80004005. (platform::GetTempPath is the system query this one wraps.)
char* GetTempPath();

// `text` with its "%NAME%" references replaced (see
// platform::ExpandEnvironmentStrings); null text gives 87.
char* XExpandEnvironmentStrings(const char* text);
