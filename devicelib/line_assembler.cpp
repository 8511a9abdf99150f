#include "devicelib/line_assembler.h"

#include <algorithm>

#include "foundation/xlog.h"

namespace GSM {
namespace {

constexpr uint8_t kCr = '\r';
constexpr uint8_t kLf = '\n';
constexpr uint8_t kQuote = '"';
constexpr uint8_t kBlank = ' ';
constexpr uint8_t kPrompt = '>';
constexpr uint8_t kHeaderJoint = ';';

}  // namespace

void LineAssembler::Reset() {
  ClearLine();
  after_empty_line_ = false;
}

void LineAssembler::ClearLine() {
  length_ = 0;
  cr_pending_ = false;
  after_empty_line_ = false;
  header_pending_ = false;
  inside_quotes_ = false;
  quoted_break_ = 0;
}

void LineAssembler::ClearInsideQuotes() {
  if (!inside_quotes_) return;
  if (length_ > 0) {
    XLogLevel(kXLogTrace, "Dv: Modem::OnRxChar(): %d byte(s) left inside an open quote are dropped",
              static_cast<int>(length_));
  }
  ClearLine();
}

bool LineAssembler::EndQuoteAtFinalResult() {
  if (!is_final_ || quoted_break_ < 2 || length_ < quoted_break_ + 2) return false;
  const size_t final_length = length_ - 2 - quoted_break_;
  const std::span<const uint8_t> last(buffer_.data() + quoted_break_, final_length);
  if (final_length == 0 || !is_final_(last)) return false;
  std::copy(last.begin(), last.end(), final_line_.begin());

  // The cut field, without the CR LF before the final result and any blank
  // lines in between.
  size_t cut = quoted_break_ - 2;
  while (cut >= 2 && buffer_[cut - 2] == kCr && buffer_[cut - 1] == kLf) cut -= 2;
  XLogLevel(kXLogWarning, "Dv: Modem::OnRxChar(): a quote the card left open ends at the final result");
  length_ = cut;
  inside_quotes_ = false;
  quoted_break_ = 0;
  if (CompleteLine()) Append(kHeaderJoint);
  for (size_t i = 0; i < final_length; ++i) Append(final_line_[i]);
  if (CompleteLine()) Append(kHeaderJoint);
  return true;
}

void LineAssembler::Append(uint8_t byte) {
  // Every path checks the length before it appends; this guard only keeps a
  // future slip from writing past the buffer.
  if (length_ < buffer_.size()) buffer_[length_++] = byte;
}

bool LineAssembler::CompleteLine() {
  cr_pending_ = false;
  // An empty line between a message header and its PDU joins nothing: take
  // the joint back so the header is completed, and held, once more.
  if (header_pending_ && length_ > 0 && buffer_[length_ - 1] == kHeaderJoint) {
    --length_;
    header_pending_ = false;
  }
  const bool empty = length_ == 0;
  if (!empty) {
    try {
      header_pending_ = on_line_(std::span<const uint8_t>(buffer_.data(), length_), header_pending_);
    } catch (...) {
      ClearLine();
      throw;
    }
  }
  if (header_pending_) return true;
  ClearLine();
  after_empty_line_ = empty;
  return false;
}

void LineAssembler::Feed(uint8_t byte) {
  for (;;) {
    if (length_ >= kMaxLineLength) {
      ClearLine();
      XLogLevel(kXLogWarning, "Dv: Modem::OnRxChar(): too long line (>=%d) received, skipping it",
                static_cast<int>(kMaxLineLength));
    }

    if (quote_tracking_ && (inside_quotes_ || byte == kQuote)) {
      // A CR held back before an opening quote belongs in front of it.
      if (cr_pending_) {
        Append(kCr);
        cr_pending_ = false;
        continue;
      }
      if (byte == kQuote) {
        inside_quotes_ = !inside_quotes_;
        quoted_break_ = 0;
      }
      if (inside_quotes_) {
        Append(byte);
        if (byte == kLf && length_ >= 2 && buffer_[length_ - 2] == kCr) {
          if (EndQuoteAtFinalResult()) return;
          quoted_break_ = length_;
        }
        return;
      }
    }

    if (after_empty_line_ && byte == kBlank && length_ == 1 && buffer_[0] == kPrompt && !cr_pending_) {
      // The prompt has no line end: the blank finishes it as CR LF would.
      Append(kBlank);
      if (CompleteLine()) Append(kHeaderJoint);
      return;
    }

    if (byte == kLf && cr_pending_) {
      if (CompleteLine()) Append(kHeaderJoint);
      return;
    }

    if (byte == kCr) {
      if (cr_pending_) {
        Append(kCr);
      } else {
        cr_pending_ = true;
      }
      return;
    }

    if (cr_pending_) {
      Append(kCr);
      cr_pending_ = false;
      continue;
    }
    Append(byte);
    return;
  }
}

}  // namespace GSM
