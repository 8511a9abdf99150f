// A text cut into the messages that carry it: one message when it fits, else
// the parts of a long message (TS 23.040 9.2.3.24.1), whose concatenation
// header takes six of the 140 user-data octets. Pure; the SMS editor counts
// with it and the sender cuts with it, so both agree on every boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace SMS {

// The 8-bit reference of the header numbers at most 255 parts.
inline constexpr size_t kMaxConcatenatedParts = 255;

// What a message carries alone, and as a part of a long one: septets of the
// GSM alphabet (the header and its fill bit take seven), octets of code page
// 949, UCS2 units.
inline constexpr size_t kSingleSeptets = 160;
inline constexpr size_t kPartSeptets = 153;
inline constexpr size_t kSingleOctets = 140;
inline constexpr size_t kPartOctets = 134;
inline constexpr size_t kSingleUcs2Units = 70;
inline constexpr size_t kPartUcs2Units = 67;

struct TextParts {
  // The messages' texts in order; empty when the text needs more than 255
  // parts (refused: nothing of it is to be sent).
  std::vector<std::u16string> parts;
  // How many UTF-16 units from the start of the text fit: all of them, or,
  // when refused, what 255 parts would hold.
  size_t fitting = 0;
  // What each message holds in the alphabet's unit (160 for one GSM
  // message, 153 for each part of a long one ...), and how much of that the
  // last message uses.
  size_t capacity = 0;
  size_t last_used = 0;

  bool Refused() const { return parts.empty(); }
};

// Cuts `text` for `alphabet` (0 GSM 7-bit, 1 8-bit, 2 UCS2; another value
// counts as UCS2). Parts are filled in order and a character is never cut:
// an extension-table character (ESC and its code), a surrogate pair and a
// double-byte character of code page 949 go whole into the next part when
// the current one has no room for all of it. A character the GSM alphabet
// cannot carry costs nothing (the encoder drops it) and stays where it
// stands. An empty text is one empty message. The 8-bit count raises what
// the code-page conversion raises (no code page 949, no memory).
TextParts SplitText(std::u16string_view text, uint32_t alphabet);

}  // namespace SMS
