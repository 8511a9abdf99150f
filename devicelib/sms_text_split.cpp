#include "devicelib/sms_text_split.h"

#include "devicelib/sms_codepage.h"
#include "devicelib/valid_char.h"

namespace SMS {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The UTF-16 units of the character at `at` that no part may separate.
size_t CharacterUnits(std::u16string_view text, size_t at) {
  return IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]) ? 2 : 1;
}

size_t Cost(std::u16string_view character, uint32_t alphabet) {
  switch (alphabet) {
    case kDvAlphabetGsm7Bit:
      // A surrogate pair has no GSM code: both halves cost nothing.
      return character.size() == 1 ? static_cast<size_t>(DvIsValidChar(kDvAlphabetGsm7Bit, character[0])) : 0;
    case kDvAlphabet8Bit: {
      bool used_default = false;
      return UnicodeToSms8Bit(character, used_default).size();
    }
    default:
      return character.size();
  }
}

}  // namespace

TextParts SplitText(std::u16string_view text, uint32_t alphabet) {
  size_t single = kSingleUcs2Units;
  size_t part = kPartUcs2Units;
  if (alphabet == kDvAlphabetGsm7Bit) {
    single = kSingleSeptets;
    part = kPartSeptets;
  } else if (alphabet == kDvAlphabet8Bit) {
    single = kSingleOctets;
    part = kPartOctets;
  }

  // Each character with its place and cost, in order.
  auto for_each_character = [&](auto&& visit) {
    for (size_t at = 0; at < text.size();) {
      const size_t units = CharacterUnits(text, at);
      if (!visit(at, Cost(text.substr(at, units), alphabet))) return;
      at += units;
    }
  };
  size_t total = 0;
  for_each_character([&](size_t, size_t cost) {
    total += cost;
    return total <= single;  // beyond one message the parts are counted below
  });

  TextParts result;
  if (total <= single) {
    result.parts.emplace_back(text);
    result.fitting = text.size();
    result.capacity = single;
    result.last_used = total;
    return result;
  }

  result.capacity = part;
  size_t start = 0;
  size_t used = 0;
  bool refused = false;
  for_each_character([&](size_t at, size_t cost) {
    if (used + cost > part) {
      if (result.parts.size() + 1 == kMaxConcatenatedParts) {
        // The next part would be number 256.
        refused = true;
        result.fitting = at;
        return false;
      }
      result.parts.emplace_back(text.substr(start, at - start));
      start = at;
      used = 0;
    }
    used += cost;
    return true;
  });
  if (refused) {
    result.parts.clear();
    result.last_used = 0;
    return result;
  }
  result.parts.emplace_back(text.substr(start));
  result.fitting = text.size();
  result.last_used = used;
  return result;
}

}  // namespace SMS
