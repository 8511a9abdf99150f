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

  // Each character's place and cost, counted once.
  struct Character {
    size_t at;
    size_t units;
    size_t cost;
  };
  std::vector<Character> characters;
  characters.reserve(text.size());
  size_t total = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t units = CharacterUnits(text, at);
    const size_t cost = Cost(text.substr(at, units), alphabet);
    characters.push_back({at, units, cost});
    total += cost;
    at += units;
  }

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
  for (const Character& c : characters) {
    if (used + c.cost > part) {
      if (result.parts.size() + 1 == kMaxConcatenatedParts) {
        // The next part would be number 256.
        result.parts.clear();
        result.fitting = c.at;
        result.last_used = 0;
        return result;
      }
      result.parts.emplace_back(text.substr(start, c.at - start));
      start = c.at;
      used = 0;
    }
    used += c.cost;
  }
  result.parts.emplace_back(text.substr(start));
  result.fitting = text.size();
  result.last_used = used;
  return result;
}

}  // namespace SMS
