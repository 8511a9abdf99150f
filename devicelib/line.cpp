#include "devicelib/line.h"

#include <climits>
#include <new>

#include "devicelib/gsm_alphabet.h"
#include "platform/win32_error.h"

namespace GSM {

void Line::SkipSpaces() {
  while (cursor_ < text_.size() && text_[cursor_] == u' ') ++cursor_;
}

int Line::ReadInt(bool absent_ok, int default_value) {
  SkipSpaces();
  if (cursor_ >= text_.size() || text_[cursor_] < u'0' || text_[cursor_] > u'9') {
    if (absent_ok) return default_value;
    DvRaise(DV_E_UNEXPECTED_ANSWER);
  }
  int64_t value = 0;
  bool overflow = false;
  while (cursor_ < text_.size() && text_[cursor_] >= u'0' && text_[cursor_] <= u'9') {
    if (!overflow) {
      value = value * 10 + (text_[cursor_] - u'0');
      overflow = value > INT_MAX;
    }
    ++cursor_;
  }
  if (overflow) DvRaise(DV_E_UNEXPECTED_ANSWER);
  return static_cast<int>(value);
}

std::u16string Line::ReadQuoted(bool absent_ok) {
  SkipSpaces();
  if (cursor_ >= text_.size() || text_[cursor_] != u'"') {
    if (absent_ok) return {};
    DvRaise(DV_E_UNEXPECTED_ANSWER);
  }
  const size_t start = cursor_ + 1;
  size_t end = text_.find(u'"', start);
  if (end == std::u16string::npos) end = text_.size();
  cursor_ = end < text_.size() ? end + 1 : end;
  return text_.substr(start, end - start);
}

std::u16string Line::ReadRest() {
  std::u16string rest = text_.substr(cursor_ < text_.size() ? cursor_ : text_.size());
  cursor_ = text_.size();
  return rest;
}

int Line::ExpectChar(char16_t ch, bool absent_ok) {
  if (cursor_ < text_.size() && text_[cursor_] == ch) {
    ++cursor_;
    return 1;
  }
  if (absent_ok) return 0;
  DvRaise(DV_E_UNEXPECTED_ANSWER);
}

std::u16string Line::QuotedString(QuotedStringMode mode, bool absent_ok) {
  return GSM::QuotedString::Decode(ReadQuoted(absent_ok), mode);
}

std::u16string DecodeAnswerBytes(std::span<const uint8_t> bytes) {
  std::u16string text;
  try {
    text.reserve(bytes.size());
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  bool inside_quotes = false;
  bool follows_escape = false;
  for (uint8_t byte : bytes) {
    if (byte == '"') {
      inside_quotes = !inside_quotes;
      follows_escape = false;
      text.push_back(u'"');
    } else if (!inside_quotes) {
      text.push_back(static_cast<char16_t>(byte));
    } else if (!follows_escape && (byte & 0x7F) == kGsmEscape) {
      follows_escape = true;
    } else {
      text.push_back(GsmToUnicode(byte, follows_escape));
      follows_escape = false;
    }
  }
  return text;
}

}  // namespace GSM
