// The number conversions the card database uses, read the way the C
// library's "%x" and "%d" read them: white space skipped, an optional sign, for
// "%x" an optional "0x" prefix, then at least one digit; reading stops at the
// first character that cannot continue the number and leaves `pos` there.
// Unlike the C library, a value that does not fit 32 bits is a failure rather
// than a silently clipped number: a capability word or model code that was
// mistyped must not turn into a different, valid-looking one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// A minus sign negates modulo 2^32, as "%x" does.
std::optional<uint32_t> ScanHex(std::u16string_view text, size_t& pos);
std::optional<int32_t> ScanDecimal(std::u16string_view text, size_t& pos);
