// Parsers of the texts the kernel and udev leave in sysfs and the udev
// database: attribute files ("0x8086\n", "12d1\n"), uevent files
// ("KEY=value" lines), udev data records ("E:KEY=value" lines among others)
// and version texts ("2.2.1", "6.1.0-18-amd64"). Text in, values out; the
// device tree does the file I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An attribute file's text without its trailing line end and blanks.
std::string_view TrimAttribute(std::string_view text);

// A hexadecimal attribute with an optional "0x" and 1 to `max_digits` digits
// ("12d1", "0x060000"); anything else, or a value above 32 bits, is nullopt.
std::optional<uint32_t> ParseHexAttribute(std::string_view text, size_t max_digits);

// "KEY=value" lines of a uevent file. Lines without '=' or with an empty key
// are skipped; a repeated key keeps its first value.
std::map<std::string, std::string, std::less<>> ParseUevent(std::string_view text);

// The properties ("E:KEY=value" lines) of a udev data record; the other
// record lines (S:, L:, I:, G:, ...) are skipped. A repeated key keeps its
// first value.
std::map<std::string, std::string, std::less<>> ParseUdevData(std::string_view text);

// A version as major << 48 | minor << 32 | build << 16 | revision, read from
// two to four decimal numbers at the start of the text separated by '.' or
// '-' ("2.2" → 2.2.0.0, "1.2.3-k" → 1.2.3.0, "6.1.0-18-amd64" → 6.1.0.18).
// Reading stops at the first text that is not such a number; fewer than two
// numbers, or a number above 65535, is nullopt.
std::optional<uint64_t> ParseVersionNumbers(std::string_view text);

}  // namespace platform
