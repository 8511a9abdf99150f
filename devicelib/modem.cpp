#include "devicelib/modem.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "devicelib/command_log.h"
#include "devicelib/gsm_alphabet.h"
#include "devicelib/line_classifier.h"
#include "foundation/xlog.h"
#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

// One character of command text in the byte form the card expects: the low
// byte outside quotes, the GSM default alphabet inside (ESC + code for an
// extension character, nothing for a character the alphabet lacks).
class CommandEncoder {
 public:
  explicit CommandEncoder(bool inside_quotes) : inside_quotes_(inside_quotes) {}

  // Writes the bytes of `c` to `out` (room for 2) and returns their count.
  size_t Encode(char16_t c, uint8_t* out) {
    if (c == u'\n') {
      inside_quotes_ = false;
    } else if (c == u'"') {
      inside_quotes_ = !inside_quotes_;
    }
    if (!inside_quotes_) {
      out[0] = static_cast<uint8_t>(c & 0xFF);
      return 1;
    }
    bool escaped = false;
    const uint8_t code = UnicodeToGsm(c, escaped);
    if (code == kGsmNoCode) return 0;
    if (!escaped) {
      out[0] = code;
      return 1;
    }
    out[0] = kGsmEscape;
    out[1] = code;
    return 2;
  }

  bool InsideQuotes() const { return inside_quotes_; }

 private:
  bool inside_quotes_;
};

}  // namespace

Modem::Modem(Unsolicited* unsolicited)
    : assembler_([this](std::span<const uint8_t> bytes,
                        bool header_pending) { return OnLine(bytes, header_pending); },
                 [](std::span<const uint8_t> bytes) {
                   return ClassifyLine(DecodeAnswerBytes(bytes)).kind == AnswerKindFinal;
                 }),
      unsolicited_(unsolicited) {}

Modem::~Modem() {
  if (IsOpen()) Close();
}

void Modem::ResetState() {
  assembler_.Reset();
  quote_tracking_.store(false);
  clear_rx_quotes_.store(false);
  {
    std::lock_guard lock(echo_lock_);
    echo_.clear();
    receive_sensitive_.store(false);
  }
  command_.clear();
  {
    std::lock_guard lock(write_lock_);
    tx_inside_quotes_ = false;
  }
  queue_.Reset();
  timeout_set_ = false;
}

void Modem::Open(const std::string& name, bool serial) {
  // The receiver of an open port must be gone before its state is reset.
  if (IsOpen()) Close();
  ResetState();
  Port::Open(name, serial);
}

void Modem::Close() {
  SetGoingDown(true);
  queue_.Abort();
  ClosePort();
  {
    // No receiver is left to read an echo that never came.
    std::lock_guard lock(echo_lock_);
    receive_sensitive_.store(false);
  }
  SetGoingDown(false);
}

void Modem::SetTimeout(uint32_t ms) {
  timeout_ms_ = ms;
  timeout_set_ = true;
  queue_.SetBudget(ms);
}

void Modem::AppendCommandFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
  }
  va_end(args);
  command_.append(platform::Utf8ToUtf16(text));
}

void Modem::SendCommand(int mode) {
  std::u16string text = std::move(command_);
  command_.clear();
  if (mode != SendModeNormal && mode != SendModeSensitive && mode != SendModeRaw) return;

  const bool registers_echo = mode != SendModeRaw;
  if (registers_echo) {
    // Registered before the bytes go out: the echo may come back before the
    // write call returns.
    std::lock_guard lock(echo_lock_);
    echo_ = text + u'\r';
    echo_sensitive_ = mode == SendModeSensitive;
    text.append(u"\r\n");
  }
  try {
    Write(text, mode == SendModeSensitive);
  } catch (...) {
    if (registers_echo) {
      std::lock_guard lock(echo_lock_);
      echo_.clear();
    }
    throw;
  }
}

size_t Modem::Encode(std::u16string_view text) {
  const std::span<uint8_t, kTransmitBufferSize> buffer = TransmitBuffer();
  CommandEncoder encoder(tx_inside_quotes_);
  size_t count = 0;
  size_t next = 0;
  while (next < text.size() && count <= kMaxCommandBytes) {
    count += encoder.Encode(text[next++], buffer.data() + count);
  }
  // What did not fit would be cut off, and half a command (a PDU without its
  // end, a command without its CR) is worse than none.
  uint8_t scratch[2];
  for (size_t rest = next; rest < text.size(); ++rest) {
    if (encoder.Encode(text[rest], scratch) != 0) {
      XLogLevel(kXLogError,
                "Dv: Modem::Write(): command of %zu characters does not fit the transmit buffer, not sent",
                text.size());
      DvRaise(DV_E_INVALID_ARGUMENT);
    }
  }
  tx_inside_quotes_ = encoder.InsideQuotes();
  return count;
}

void Modem::Write(std::u16string_view text, bool sensitive) {
  if (IsGoingDown()) return;
  std::lock_guard lock(write_lock_);
  platform::Sleep(kWriteSettleMs);
  queue_.Clear();
  // A budget set for this command is used once; a command that comes
  // without one gets the default, whatever the last transaction left over.
  queue_.SetBudget(timeout_set_ ? timeout_ms_ : kDefaultTimeoutMs);
  timeout_set_ = false;
  if (text.empty()) return;

  clear_rx_quotes_.store(true);
  size_t length = Encode(text);
  if (!sensitive) {
    XLogLevel(kXLogTrace, "Dv: Modem write: [%s]", platform::Utf16ToUtf8(text).c_str());
  }
  {
    // Set before the bytes go out: the echo may be read before the write
    // call returns. A write that then fails may still have sent part of the
    // secret, so the flag stays until the next write or Close.
    std::lock_guard echo(echo_lock_);
    receive_sensitive_.store(sensitive);
  }
  Port::Write(sensitive, length);
}

void Modem::SkipSpaces() {
  queue_.ReadHead([](Line& line) { line.SkipSpaces(); });
}

int Modem::ReadInt(bool absent_ok, int default_value) {
  return queue_.ReadHead([&](Line& line) { return line.ReadInt(absent_ok, default_value); });
}

std::u16string Modem::ReadQuoted(bool absent_ok) {
  return queue_.ReadHead([&](Line& line) { return line.ReadQuoted(absent_ok); });
}

std::u16string Modem::ReadRest() {
  return queue_.ReadHead([](Line& line) { return line.ReadRest(); });
}

int Modem::ExpectChar(char16_t ch, bool absent_ok) {
  return queue_.ReadHead([&](Line& line) { return line.ExpectChar(ch, absent_ok); });
}

std::u16string Modem::QuotedString(QuotedStringMode mode, bool absent_ok) {
  return queue_.ReadHead([&](Line& line) { return line.QuotedString(mode, absent_ok); });
}

void Modem::WaitFinal() {
  timeout_set_ = false;
  queue_.WaitFinal();
}

void Modem::OnRxChar(uint8_t byte) {
  assembler_.SetQuoteTracking(quote_tracking_.load());
  if (clear_rx_quotes_.exchange(false)) assembler_.ClearInsideQuotes();
  try {
    assembler_.Feed(byte);
  } catch (...) {
    // Only a line that could not be built (out of memory) gets here; it is
    // lost, the receiver goes on with the next one.
    XLogLevel(kXLogError, "Dv: Modem::OnRxChar(): a received line was dropped (0x%x)",
              DvCodeOfCurrentException());
  }
}

bool Modem::OnLine(std::span<const uint8_t> bytes, bool header_pending) {
  std::u16string text = DecodeAnswerBytes(bytes);
  const LineClass line_class = ClassifyLine(text);

  bool is_echo = false;
  bool mask = false;
  if (line_class.kind != AnswerKindUnsolicited) {
    std::lock_guard lock(echo_lock_);
    is_echo = platform::AsciiEqualsIgnoreCase(text, echo_);
    // While the echo of a secret is still due, any line may be it: a late
    // answer to the previous command can use up the echo registration, and
    // the echo then arrives unrecognised.
    mask = (is_echo && echo_sensitive_) || receive_sensitive_.load();
    echo_.clear();
    // Only the echo itself ends the wait for it: a late answer to the
    // previous command may come first, and the echo after it still carries
    // the secret. What follows the echo is the card's answer.
    if (is_echo) receive_sensitive_.store(false);
  }
  // The echo of a command that carries a PIN would put it in the log.
  XLogLevel(kXLogTrace, "Dv: Modem read: [%s]",
            platform::Utf16ToUtf8(mask ? MaskQuotedText(text) : text).c_str());

  if (line_class.kind == AnswerKindUnsolicited) {
    const uint32_t type = line_class.unsolicited_type;
    // A message header: its PDU is on the next line, and the dispatcher
    // wants both in one.
    if (!header_pending && (type == UnsolicitedTypeCmt || type == UnsolicitedTypeCds)) return true;
    AnswerLine line(std::move(text), line_class.kind, line_class.result_code, type);
    Dispatch(type, line);
    return false;
  }
  if (is_echo) {
    XLogLevel(kXLogTrace, "Dv: Echo line was detected, discarding it");
    return false;
  }
  std::unique_ptr<AnswerLine> line;
  try {
    line = std::make_unique<AnswerLine>(std::move(text), line_class.kind, line_class.result_code,
                                        line_class.unsolicited_type);
  } catch (const std::bad_alloc&) {
    DvRaise(platform::kResultOutOfMemory);
  }
  queue_.Push(std::move(line));
  return false;
}

void Modem::Dispatch(uint32_t type, AnswerLine& line) {
  Unsolicited* handler = unsolicited_.load();
  if (handler == nullptr) return;
  try {
    handler->HandleUnsolicited(type, line);
  } catch (...) {
    XLogLevel(kXLogError,
              "Dv: An exception 0x%x occured during processing the previous unsolicited response (type %d)",
              DvCodeOfCurrentException(), static_cast<int>(type));
  }
}

}  // namespace GSM
