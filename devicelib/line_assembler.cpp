#include "devicelib/line_assembler.h"

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
      if (byte == kQuote) inside_quotes_ = !inside_quotes_;
      if (inside_quotes_) {
        Append(byte);
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
