// Reading a sysfs (or udev database) file whole: attribute files are at most
// a page, so a bounded read of a few kilobytes takes them in one go.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

inline constexpr size_t kSysfsAttributeLimit = 4096;

// At most `limit` bytes of the file; nullopt when it cannot be opened or
// read (the device or interface went away meanwhile).
std::optional<std::string> ReadSysfsFile(const std::string& path, size_t limit = kSysfsAttributeLimit);

}  // namespace platform
