#include "app/sms_text_rules.h"

#include <algorithm>
#include <iterator>

#include "app/string_loader.h"
#include "app/text_util.h"
#include "devicelib/sms_text_split.h"
#include "devicelib/valid_char.h"

namespace sms_text {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

constexpr unsigned kCounterStringId = 1049;
constexpr unsigned kLongCounterStringId = 1200;
constexpr unsigned kOnePartMissingStringId = 1201;
constexpr unsigned kPartsMissingStringId = 1202;

uint32_t Alphabet(bool unicode) { return unicode ? kDvAlphabetUcs2 : kDvAlphabetGsm7Bit; }

std::u16string WithNumber(std::u16string text, uint32_t value) {
  return app_text::ReplaceFirst(std::move(text), u"%d", app_text::Decimal(value));
}

// A refused character still takes room until it is dropped.
int CountedCost(char16_t character, bool unicode) {
  const int cost = CharacterCost(character, unicode);
  return cost == 0 ? 1 : cost;
}

}  // namespace

int Limit(bool unicode) { return unicode ? kUcs2Limit : kGsmLimit; }

int CharacterCost(char16_t character, bool unicode) {
  return DvIsValidChar(unicode ? kDvAlphabetUcs2 : kDvAlphabetGsm7Bit, character);
}

int CountedLength(std::u16string_view text, bool unicode) {
  int length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    length += CountedCost(text[i], unicode);
    if (text[i] == u'\n' && i > 0 && text[i - 1] == u'\r') --length;
  }
  return length;
}

int Remaining(std::u16string_view text, bool unicode) { return Limit(unicode) - CountedLength(text, unicode); }

std::u16string DropUncodable(std::u16string_view text, bool unicode) {
  if (unicode) return std::u16string(text);
  std::u16string kept;
  kept.reserve(text.size());
  for (char16_t c : text) {
    if (CharacterCost(c, false) != 0) kept.push_back(c);
  }
  return kept;
}

std::u16string Shorten(std::u16string_view text, bool unicode) {
  std::u16string shortened(text);
  int length = CountedLength(shortened, unicode);
  const int limit = Limit(unicode);
  while (length > limit && !shortened.empty()) {
    const char16_t last = shortened.back();
    shortened.pop_back();
    // The LF of a CR LF pair was counted in the pair's one unit, which the
    // CR keeps until it goes too.
    const bool pair = last == u'\n' && !shortened.empty() && shortened.back() == u'\r';
    if (!pair) length -= CountedCost(last, unicode);
    if (!shortened.empty() && IsHighSurrogate(shortened.back())) {
      length -= CountedCost(shortened.back(), unicode);
      shortened.pop_back();
    }
  }
  return shortened;
}

std::u16string Conform(std::u16string_view text, bool unicode) {
  return Shorten(DropUncodable(text, unicode), unicode);
}

bool InsertionAccepted(std::u16string_view kept, std::u16string_view inserted, bool unicode) {
  int remaining = Remaining(kept, unicode);
  for (char16_t c : inserted) {
    const int cost = CharacterCost(c, unicode);
    if (cost == 0 || cost > remaining) return false;
    remaining -= cost;
  }
  return true;
}

Extent Measure(std::u16string_view text, bool unicode) {
  const SMS::TextParts split = SMS::SplitText(WithLineFeeds(text), Alphabet(unicode));
  if (split.Refused()) return {0, 0};
  return {static_cast<int>(split.parts.size()), static_cast<int>(split.capacity - split.last_used)};
}

std::u16string ShortenToLongest(std::u16string_view text, bool unicode) {
  std::u16string shortened = WithLineFeeds(text);
  const SMS::TextParts split = SMS::SplitText(shortened, Alphabet(unicode));
  shortened.resize(split.fitting);
  return shortened;
}

std::u16string ConformLong(std::u16string_view text, bool unicode) {
  return ShortenToLongest(DropUncodable(text, unicode), unicode);
}

bool LongInsertionAccepted(std::u16string_view inserted, std::u16string_view result, bool unicode) {
  for (char16_t c : inserted) {
    if (CharacterCost(c, unicode) == 0) return false;
  }
  return Measure(result, unicode).messages > 0;
}

std::u16string CounterText(std::u16string_view text, bool unicode) {
  const Extent extent = Measure(text, unicode);
  const auto remaining = static_cast<uint32_t>(std::max(extent.remaining, 0));
  if (extent.messages <= 1) return WithNumber(LoadProgramString(kCounterStringId), remaining);
  return WithNumber(WithNumber(LoadProgramString(kLongCounterStringId), static_cast<uint32_t>(extent.messages)),
                    remaining);
}

std::u16string MissingPartsText(const std::vector<uint32_t>& missing, uint32_t total) {
  if (missing.empty()) return {};
  if (missing.size() == 1) {
    return WithNumber(WithNumber(LoadProgramString(kOnePartMissingStringId), missing.front()), total);
  }
  std::u16string list;
  for (size_t i = 0; i + 1 < missing.size(); ++i) {
    if (i > 0) list += u", ";
    list += app_text::Decimal(missing[i]);
  }
  std::u16string text = ReplaceFirstPlaceholder(LoadProgramString(kPartsMissingStringId), list);
  return WithNumber(WithNumber(std::move(text), missing.back()), total);
}

std::u16string WithLineFeeds(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r') {
      out.push_back(text[i]);
    } else if (i + 1 >= text.size() || text[i + 1] != u'\n') {
      out.push_back(u'\n');
    }
  }
  return out;
}

bool IsRecipient(std::u16string_view text) {
  if (text.size() > kRecipientMax) return false;
  size_t digits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'+' && i == 0) continue;
    if (!((c >= u'0' && c <= u'9') || c == u'#')) return false;
    ++digits;
  }
  return digits <= kRecipientMaxDigits;
}

bool RecipientEditAccepted(std::u16string_view before, std::u16string_view after) {
  if (IsRecipient(after)) return true;
  if (after.size() >= before.size()) return false;
  size_t prefix = 0;
  while (prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
  return before.substr(before.size() - (after.size() - prefix)) == after.substr(prefix);
}

std::u16string CommandName(std::u16string_view text) { return std::u16string(text.substr(0, text.find(u'\n'))); }

std::u16string CommandTip(std::u16string_view text) {
  const size_t brk = text.find(u'\n');
  if (brk == std::u16string_view::npos) return {};
  return std::u16string(text.substr(brk + 1, kToolTipMax));
}

DeliveryStatus DeliveryStatusOf(uint8_t tp_st) {
  // The reasons' strings, in the order of TP-ST's values within each group.
  static constexpr unsigned kCompleted[] = {0, 1164, 1165};                        // 0x00..0x02
  static constexpr unsigned kTrying[] = {1166, 1167, 1168, 1169, 1170, 1171};      // 0x20..0x25, 0x60..0x65
  static constexpr unsigned kPermanent[] = {1172, 1173, 1174, 1175, 1170, 1176,    // 0x40..0x49
                                            1177, 1178, 1179, 1180};
  constexpr unsigned kServiceRejected = 1169;
  constexpr unsigned kPermanentError = 1181;
  constexpr unsigned kTemporaryError = 1182;
  constexpr unsigned kStillTrying = 1183;
  using enum DeliveryOutcome;
  const unsigned group = tp_st & 0x1F;
  switch (tp_st >> 5) {
    case 0:  // transaction completed
      if (group < std::size(kCompleted)) return {kDelivered, kCompleted[group]};
      if (group >= 0x10) return {kDelivered, 0};  // service-centre specific
      break;
    case 1:  // temporary error, the service centre still tries
      if (group < std::size(kTrying)) return {kPending, kTrying[group]};
      if (group >= 0x10) return {kPending, kStillTrying};
      break;
    case 2:  // permanent error
      if (group < std::size(kPermanent)) return {kFailed, kPermanent[group]};
      if (group >= 0x10) return {kFailed, kPermanentError};
      break;
    case 3:  // temporary error, the service centre has given up
      if (group < std::size(kTrying)) return {kFailed, kTrying[group]};
      if (group >= 0x10) return {kFailed, kTemporaryError};
      break;
    default:
      break;
  }
  return {kFailed, kServiceRejected};
}

int64_t TimeStampToUnixSeconds(uint64_t time_stamp) {
  if (time_stamp == 0) return 0;
  constexpr int64_t kUnitsPerSecond = 10000000;
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  return static_cast<int64_t>(time_stamp / kUnitsPerSecond) - kSecondsFrom1601To1970;
}

}  // namespace sms_text
