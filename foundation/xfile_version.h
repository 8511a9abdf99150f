// Version information. The program carries one version block (resource 1 of
// type 16), stamped at build time with the project version; it holds the key
// "VS_VERSION_INFO" and the fixed version record below.
#pragma once

#include <cstddef>
#include <cstdint>

// The fixed version record, laid out as the version block stores it.
struct FixedFileInfo {
  uint32_t signature;         // 0xFEEF04BD
  uint32_t struct_version;    // 0x00010000
  uint32_t file_version_ms;   // major << 16 | minor
  uint32_t file_version_ls;   // patch << 16 | tweak
  uint32_t product_version_ms;
  uint32_t product_version_ls;
  uint32_t file_flags_mask;
  uint32_t file_flags;
  uint32_t file_os;
  uint32_t file_type;
  uint32_t file_subtype;
  uint32_t file_date_ms;
  uint32_t file_date_ls;
};
static_assert(sizeof(FixedFileInfo) == 52);
static_assert(offsetof(FixedFileInfo, file_version_ms) == 8 && offsetof(FixedFileInfo, file_os) == 32);
static_assert(offsetof(FixedFileInfo, file_date_ls) == 48);

// The version block of `file` (a UTF-8 path, as XGetModuleFileName gives) as
// a new block (XFree), or of the program itself when `file` is null or names
// the program's own executable. Other
// executables on this system carry no version block: an existing file fails
// with 1813, a missing one with the system's error (2, 3, 5 …).
void* XGetFileVersionInfo(const char* file);

// Copies the fixed record of `file`'s version block into `out`. Null `out`
// fails with 87; a file without a version block fails as
// XGetFileVersionInfo does (1813 is "no version record"); a block without a
// fixed record also fails with 1813; a damaged block fails with 13.
bool XGetFixedFileInfo(const char* file, FixedFileInfo* out);

// The fixed record inside a version block of `size` bytes: 0 on success,
// 1813 when the block has none, 13 when the block or the record is damaged.
// Never reads outside the block.
uint32_t QueryFixedFileInfo(const void* block, size_t size, FixedFileInfo* out);
