// One answer line of the card and the field readers that walk it.
//
// The readers work on the line from its read cursor and never look past its
// end. A field that is not there raises DvException 0x84000004; they do not
// touch any queue, so the same readers serve the unsolicited dispatcher (which
// reads a line it was handed) and the transaction readers of GSM::Modem (which
// flush the answer queue before passing the failure on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "devicelib/quoted_string.h"
#include "devicelib/result_codes.h"

namespace GSM {

class Line {
 public:
  explicit Line(std::u16string text) : text_(std::move(text)) {}
  virtual ~Line() = default;
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  const std::u16string& Text() const { return text_; }
  size_t Length() const { return text_.size(); }
  size_t Cursor() const { return cursor_; }
  // Beyond the end means "at the end".
  void SetCursor(size_t cursor) { cursor_ = cursor < text_.size() ? cursor : text_.size(); }
  bool AtEnd() const { return cursor_ >= text_.size(); }
  bool StartsWith(std::u16string_view prefix) const { return std::u16string_view(text_).starts_with(prefix); }

  // Skips blanks.
  void SkipSpaces();
  // Skips blanks, then reads decimal digits (no sign). Without a digit at the
  // cursor: `default_value` when `absent_ok`, else 0x84000004. A number that
  // does not fit an int is no number the card can mean and raises 0x84000004
  // even with `absent_ok` (its digits are consumed).
  int ReadInt(bool absent_ok = false, int default_value = 0);
  // Skips blanks; with a '"' at the cursor returns the text up to the closing
  // quote (or to the end of a line that lacks it) and moves past that quote.
  // Without a quote: empty when `absent_ok`, else 0x84000004.
  std::u16string ReadQuoted(bool absent_ok = false);
  // The rest of the line (empty at the end); the cursor moves to the end.
  std::u16string ReadRest();
  // 1 after moving past `ch` when it stands at the cursor; otherwise 0 when
  // `absent_ok`, else 0x84000004. Blanks are not skipped.
  int ExpectChar(char16_t ch, bool absent_ok = false);
  // ReadQuoted, then the field decoded as `mode` says (an undecodable field
  // is logged and gives an empty text).
  std::u16string QuotedString(QuotedStringMode mode, bool absent_ok = false);

 private:
  std::u16string text_;
  size_t cursor_ = 0;
};

// What a line is to the engine.
enum AnswerKind : uint32_t {
  AnswerKindIntermediate = 0,  // part of the answer to the running command
  AnswerKindFinal = 1,         // ends the running command with a result code
  AnswerKindUnsolicited = 2,   // reported by the card on its own
};

class AnswerLine final : public Line {
 public:
  AnswerLine(std::u16string text, AnswerKind kind, DvResult result_code, uint32_t unsolicited_type)
      : Line(std::move(text)), kind_(kind), result_code_(result_code), unsolicited_type_(unsolicited_type) {}

  AnswerKind Kind() const { return kind_; }
  bool IsFinal() const { return kind_ == AnswerKindFinal; }
  // For a final result: 0 for "OK", else the failure it reports.
  DvResult ResultCode() const { return result_code_; }
  // For an unsolicited result: its index in the unsolicited prefix table.
  uint32_t UnsolicitedType() const { return unsolicited_type_; }

 private:
  AnswerKind kind_;
  DvResult result_code_;
  uint32_t unsolicited_type_;
};

// The text of a line as the card sent it: outside double quotes each byte is
// the character of the same code; inside them each byte is a GSM default
// alphabet code (its low 7 bits; the card speaks that alphabet after
// AT+CSCS="GSM"), an ESC making the next byte use the extension table and
// producing no character itself. A quote ends a pending escape. Raises
// 0x8007000E when the text cannot be allocated.
std::u16string DecodeAnswerBytes(std::span<const uint8_t> bytes);

}  // namespace GSM
