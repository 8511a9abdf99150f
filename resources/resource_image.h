// The binary images of the generated resources: string-table blocks and the
// version block. The resource compiler and the test modules of the platform
// layer both build their images here, so a test module holds exactly what the
// program ships.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace resources {

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kFixedFileInfoStructVersion = 0x00010000;
inline constexpr uint32_t kFixedFileInfoFlagsMask = 0x3F;
inline constexpr uint32_t kFileOsNtWindows32 = 0x40004;
inline constexpr uint32_t kFileTypeApp = 1;
inline constexpr size_t kFixedFileInfoSize = 52;
// Header (three 16-bit words), the key "VS_VERSION_INFO" with its terminator,
// padding to a 32-bit boundary, then the fixed record.
inline constexpr size_t kFixedFileInfoOffset = 40;

inline constexpr size_t kStringsPerBlock = 16;
inline constexpr size_t kMaxStringUnits = 0xFFFF;

// String-table block that holds string `id`.
constexpr uint32_t StringBlockOf(uint32_t id) { return id / kStringsPerBlock + 1; }

// One block per group of 16 ids of which at least one is present; each block
// holds all 16 entries in order, every entry a little-endian 16-bit length
// followed by that many UTF-16 units (little-endian, no terminator). Ids of a
// block that are not present are empty entries, the same as a present empty
// text. Throws std::length_error for a text longer than 65535 units: its
// length would not fit the length word.
std::map<uint16_t, std::vector<uint8_t>> BuildStringTableBlocks(
    const std::map<uint16_t, std::u16string>& strings);

struct FileVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t patch = 0;
  uint16_t tweak = 0;
};

// A version block with the key "VS_VERSION_INFO" and the fixed record (file
// and product version both `version`, an application for 32-bit NT), and no
// string or translation children.
std::vector<uint8_t> BuildVersionInfo(const FileVersion& version);

}  // namespace resources
