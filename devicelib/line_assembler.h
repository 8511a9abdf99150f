// The byte-level state machine that cuts the card's byte stream into answer
// lines. It knows nothing of the port and nothing of what a line means: it
// hands every completed, non-empty line to its owner, who answers whether the
// line is the header of an unsolicited +CMT:/+CDS: message whose PDU line must
// be joined to it.
//
// The rules the card's framing needs:
// - A line ends with CR LF. A CR followed by anything but LF stays in the line
//   (a CR that turns out to be part of the text is put back before the byte
//   that follows it). Empty lines complete nothing.
// - After an empty line, '>' followed by a blank completes the line "> " at
//   once: the card sends its PDU prompt without a line end.
// - A held message header waits for the next non-empty line, which is joined
//   to it with ';' so that the owner sees "+CMT: ,24;0791...".
// - With quote tracking on, everything between double quotes is text, CR and
//   LF included (an operator name may contain them). A quote the card never
//   closes (it cut the field short) ends at a line end inside it when the
//   line after that is a final result (as the owner's test says): the text
//   before it completes as one line (without trailing blank lines), then the
//   final result as another, and the quote is over.
// - A line that reaches 1024 bytes without its end is dropped with a warning;
//   the byte that found the line full starts the next one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace GSM {

class LineAssembler {
 public:
  static constexpr size_t kMaxLineLength = 1024;

  // Called with each completed non-empty line and whether a message header is
  // being held (the line then is that header, ';' and the next line). Returns
  // true to hold this line as a message header. When it throws, the line is
  // dropped and the exception passes on.
  using CompleteFn = std::function<bool(std::span<const uint8_t> line, bool header_pending)>;

  // Whether a line is a final result ("OK", "ERROR", ...).
  using IsFinalFn = std::function<bool(std::span<const uint8_t> line)>;

  explicit LineAssembler(CompleteFn on_line, IsFinalFn is_final = nullptr)
      : on_line_(std::move(on_line)), is_final_(std::move(is_final)) {}

  void Feed(uint8_t byte);
  void Feed(std::span<const uint8_t> bytes) {
    for (uint8_t byte : bytes) Feed(byte);
  }

  // Forgets the line being assembled and every framing state.
  void Reset();
  void SetQuoteTracking(bool on) { quote_tracking_ = on; }
  // A new command starts clean: a line the previous answer left inside an
  // open quote is dropped with the quote.
  void ClearInsideQuotes();

  size_t PendingLength() const { return length_; }

 private:
  void Append(uint8_t byte);
  void ClearLine();
  // Completes the line in the buffer (CR LF seen). Returns true when the
  // line stays in the buffer as a held message header.
  bool CompleteLine();
  // Inside quotes, right after a CR LF: when the line since the previous
  // CR LF inside the quote is a final result, completes the text before it
  // and then it, and returns true.
  bool EndQuoteAtFinalResult();

  CompleteFn on_line_;
  IsFinalFn is_final_;
  std::array<uint8_t, kMaxLineLength> buffer_{};
  std::array<uint8_t, kMaxLineLength> final_line_{};
  size_t length_ = 0;
  bool cr_pending_ = false;
  bool after_empty_line_ = false;
  bool header_pending_ = false;
  bool quote_tracking_ = false;
  bool inside_quotes_ = false;
  size_t quoted_break_ = 0;  // after the last CR LF inside the open quote, 0 for none
};

}  // namespace GSM
