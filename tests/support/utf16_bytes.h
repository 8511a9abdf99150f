// The bytes of a UTF-16 text as the registry stores a string value: each
// unit little-endian, no terminator added.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace testing_support {

std::vector<uint8_t> Utf16Bytes(std::u16string_view text);

}  // namespace testing_support
