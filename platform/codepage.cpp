#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char kReplacementCharacterUtf8[] = "\xEF\xBF\xBD";

// char16_t in the host's byte order. A plain "UTF-16" would write a byte-order
// mark on output and eat a leading U+FEFF of the caller's text on input.
constexpr const char* kUtf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

enum class Kind { kSingleByte, kDoubleByte, kUtf8 };

struct CodePage {
  uint32_t number;
  const char* iconv_name;
  Kind kind;
};

constexpr CodePage kCodePages[] = {
    {kCp437, "CP437", Kind::kSingleByte},
    {kCp949, "CP949", Kind::kDoubleByte},
    {kCp1252, "CP1252", Kind::kSingleByte},
    {kCpUtf8, "UTF-8", Kind::kUtf8},
};

const CodePage* FindCodePage(uint32_t code_page) {
  if (code_page == kCpAcp) {
    code_page = AnsiCodePage();
  } else if (code_page == kCpOemCp) {
    code_page = OemCodePage();
  }
  for (const auto& entry : kCodePages) {
    if (entry.number == code_page) return &entry;
  }
  return nullptr;
}

// iconv's table for 1252 leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D unassigned;
// the system code page these texts come from maps them to the C1
// controls of the same value, so a byte string survives a round trip.
bool IsUnassignedIn1252(uint32_t code_point) {
  return code_point == 0x81 || code_point == 0x8D || code_point == 0x8F || code_point == 0x90 ||
         code_point == 0x9D;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

class IconvDescriptor {
 public:
  IconvDescriptor(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvDescriptor() {
    if (valid()) iconv_close(cd_);
  }
  IconvDescriptor(const IconvDescriptor&) = delete;
  IconvDescriptor& operator=(const IconvDescriptor&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of the input as iconv accepts and appends the result to
  // `out`. Returns the number of input bytes consumed: all of them, or up to
  // the first sequence iconv refuses (invalid, unmappable or cut off at the
  // end), which the caller deals with before calling again.
  template <typename Unit>
  size_t ConvertRun(const char* in, size_t in_bytes, std::basic_string<Unit>& out) {
    // iconv's signature wants a mutable pointer; it never writes the input.
    char* in_at = const_cast<char*>(in);
    size_t in_left = in_bytes;
    while (in_left > 0) {
      // iconv writes straight into `out`, through a window as large as the
      // input left (one unit per byte covers the usual case in one call).
      // A small fixed window made glibc redo its intermediate step each time
      // the window filled, which made long texts far slower per byte than
      // short ones.
      const size_t kept = out.size();
      const size_t room = std::max<size_t>(in_left, kMinimumWindow);
      out.resize(kept + room);
      char* out_at = reinterpret_cast<char*>(out.data() + kept);
      size_t out_left = room * sizeof(Unit);
      const size_t rc = iconv(cd_, &in_at, &in_left, &out_at, &out_left);
      // iconv writes whole characters only, so no unit is left half written.
      out.resize(kept + room - out_left / sizeof(Unit));
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    // Forget any shift state the refused sequence may have left behind.
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return in_bytes - in_left;
  }

 private:
  // Room for the longest single character in any output (4 bytes) with
  // plenty to spare, so that every window makes progress.
  static constexpr size_t kMinimumWindow = 16;

  iconv_t cd_;
};

// How many bytes at `p` (with `left` bytes remaining, at least 1) one U+FFFD
// stands for, after iconv refused the sequence there.
size_t BrokenSequenceLength(Kind kind, const unsigned char* p, size_t left) {
  switch (kind) {
    case Kind::kSingleByte:
      return 1;
    case Kind::kDoubleByte: {
      // A lead byte with a byte that could be its trail is one (unassigned)
      // character. With anything else after it, the lead byte goes alone: a
      // broken lead byte must not swallow the quote or line end after it.
      const bool lead = p[0] >= 0x81 && p[0] <= 0xFE;
      if (!lead || left < 2) return 1;
      const unsigned char trail = p[1];
      const bool could_be_trail = (trail >= 0x41 && trail <= 0x5A) ||
                                  (trail >= 0x61 && trail <= 0x7A) ||
                                  (trail >= 0x81 && trail <= 0xFE);
      return could_be_trail ? 2 : 1;
    }
    case Kind::kUtf8: {
      // The maximal subpart of the ill-formed sequence: the lead byte and
      // the continuation bytes that still could have completed it.
      unsigned char low = 0x80;
      unsigned char high = 0xBF;
      size_t needed;
      const unsigned char lead = p[0];
      if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
      } else if (lead == 0xE0) {
        needed = 2, low = 0xA0;
      } else if (lead == 0xED) {
        needed = 2, high = 0x9F;
      } else if (lead >= 0xE1 && lead <= 0xEF) {
        needed = 2;
      } else if (lead == 0xF0) {
        needed = 3, low = 0x90;
      } else if (lead == 0xF4) {
        needed = 3, high = 0x8F;
      } else if (lead >= 0xF1 && lead <= 0xF3) {
        needed = 3;
      } else {
        return 1;
      }
      size_t length = 1;
      while (length <= needed && length < left && p[length] >= low && p[length] <= high) {
        low = 0x80;
        high = 0xBF;
        ++length;
      }
      return length;
    }
  }
  return 1;
}

std::string DefaultCharacter(const CodePage& code_page, const char* default_char) {
  if (default_char == nullptr) return "?";
  const auto lead = static_cast<unsigned char>(default_char[0]);
  if (code_page.kind == Kind::kDoubleByte && lead >= 0x81 && lead <= 0xFE &&
      default_char[1] != '\0') {
    return std::string(default_char, 2);
  }
  return std::string(1, default_char[0]);
}

// The size query and the copy of both directions.
template <typename Unit>
int Deliver(const std::basic_string<Unit>& text, Unit* out, int out_size) {
  // No buffer an int can describe holds more.
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  const int length = static_cast<int>(text.size());
  if (out_size == 0) return length;
  if (length > out_size) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  std::memcpy(out, text.data(), text.size() * sizeof(Unit));
  return length;
}

bool BadArguments(const void* in, int in_length, const void* out, int out_size) {
  return in == nullptr || in_length == 0 || in_length < -1 || out_size < 0 ||
         (out_size > 0 && out == nullptr);
}

}  // namespace

uint32_t AnsiCodePage() { return kCp1252; }
uint32_t OemCodePage() { return kCp437; }

bool IsValidCodePage(uint32_t code_page) {
  const CodePage* entry = FindCodePage(code_page);
  return entry != nullptr && IconvDescriptor(kUtf16, entry->iconv_name).valid();
}

int MultiByteToWideChar(uint32_t code_page, uint32_t flags, const char* in, int in_length,
                        char16_t* out, int out_size) {
  const CodePage* entry = FindCodePage(code_page);
  if (entry == nullptr || BadArguments(in, in_length, out, out_size)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  // A code page whose conversion module is not installed counts as unknown.
  IconvDescriptor cd(kUtf16, entry->iconv_name);
  if (!cd.valid()) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  const size_t length = in_length == -1 ? std::strlen(in) + 1 : static_cast<size_t>(in_length);
  std::u16string wide;
  try {
    wide.reserve(length);
    size_t at = 0;
    while (at < length) {
      at += cd.ConvertRun(in + at, length - at, wide);
      if (at == length) break;
      const auto* p = reinterpret_cast<const unsigned char*>(in + at);
      if (entry->number == kCp1252 && IsUnassignedIn1252(*p)) {
        wide.push_back(*p);
        ++at;
        continue;
      }
      if (flags & kMbErrInvalidChars) {
        SetLastError(kErrorNoUnicodeTranslation);
        return 0;
      }
      wide.push_back(kReplacementCharacter);
      at += BrokenSequenceLength(entry->kind, p, length - at);
    }
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
  return Deliver(wide, out, out_size);
}

int WideCharToMultiByte(uint32_t code_page, uint32_t flags, const char16_t* in, int in_length,
                        char* out, int out_size, const char* default_char, bool* used_default) {
  const CodePage* entry = FindCodePage(code_page);
  if (entry == nullptr || BadArguments(in, in_length, out, out_size)) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  IconvDescriptor cd(entry->iconv_name, kUtf16);
  if (!cd.valid()) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  const size_t length = in_length == -1 ? std::char_traits<char16_t>::length(in) + 1
                                        : static_cast<size_t>(in_length);
  std::string bytes;
  bool used = false;
  try {
    const std::string fallback = DefaultCharacter(*entry, default_char);
    bytes.reserve(length);
    size_t at = 0;
    while (at < length) {
      // iconv stops only between units, so the byte count is even.
      at += cd.ConvertRun(reinterpret_cast<const char*>(in + at), (length - at) * sizeof(char16_t),
                          bytes) /
            sizeof(char16_t);
      if (at == length) break;
      const char16_t unit = in[at];
      if (entry->number == kCp1252 && IsUnassignedIn1252(unit)) {
        bytes.push_back(static_cast<char>(unit));
        ++at;
        continue;
      }
      if (entry->kind == Kind::kUtf8) {
        // Only a lone surrogate has no UTF-8 form.
        if (flags & kWcErrInvalidChars) {
          SetLastError(kErrorNoUnicodeTranslation);
          return 0;
        }
        bytes.append(kReplacementCharacterUtf8);
      } else {
        bytes.append(fallback);
        used = true;
      }
      // An unmappable character outside the BMP is one character: one default.
      const bool pair = IsHighSurrogate(unit) && at + 1 < length && IsLowSurrogate(in[at + 1]);
      at += pair ? 2 : 1;
    }
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
  const int result = Deliver(bytes, out, out_size);
  if (result != 0 && used_default != nullptr) *used_default = used;
  return result;
}

}  // namespace platform
