// The AT command engine. The receiver thread feeds it the card's bytes; it
// cuts them into lines, drops the echo of the command just sent, hands
// unsolicited results to the Unsolicited handler and queues everything else
// for the transaction that runs on the client thread.
//
// A transaction: SetTimeout (optional; 10 s otherwise), compose the command
// text, SendCommand, then read the answer with ExpectLine, the field readers
// and DropLine, and end with WaitFinal, which turns the final result into a
// result code. Every failure is raised as a DvException carrying the code.
// Transactions never overlap: they all run on one thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "devicelib/answer_queue.h"
#include "devicelib/line.h"
#include "devicelib/line_assembler.h"
#include "devicelib/port.h"
#include "devicelib/quoted_string.h"
#include "devicelib/unsolicited.h"
#include "platform/critical_section.h"

namespace GSM {

enum SendMode : int {
  SendModeNormal = 0,
  // The text is never logged (it carries a PIN, a PUK or a password); the
  // caller logs a masked copy with LogMaskedCommand (command_log.h).
  SendModeSensitive = 1,
  // No terminator and no echo expected: a message body after the "> " prompt.
  SendModeRaw = 3,
};

class Modem : public Port {
 public:
  static constexpr uint32_t kDefaultTimeoutMs = 10000;
  // The card needs a moment between the end of one answer and the next
  // command; answers that came in that moment belong to the old command.
  static constexpr uint32_t kWriteSettleMs = 10;
  // Conversion into the transmit buffer stops once more than this many bytes
  // are written; a last escaped character may take the count to the buffer's
  // 1024.
  static constexpr size_t kMaxCommandBytes = 1022;

  explicit Modem(Unsolicited* unsolicited = nullptr);
  // Closes the port while OnRxChar still exists.
  ~Modem() override;

  // The receiver of unsolicited results; null drops them (after logging).
  void SetUnsolicitedHandler(Unsolicited* handler) { unsolicited_.store(handler); }

  // Forgets everything of the previous session: line state, echo (and a
  // secret one still awaited), command text, quote tracking, queued answers
  // and the queue's aborted state. Only while the port is closed.
  void ResetState();
  // Closes an open port, then ResetState and Port::Open.
  void Open(const std::string& name, bool serial);
  // Makes every waiting or later transaction read fail with 0x84000008 at
  // once, then closes the port ("Dv: Port closed successfully"). The queue
  // stays aborted until the next Open.
  void Close();

  // The time budget of the next transaction (all its waits together), or of
  // the running one when called after its command was sent.
  void SetTimeout(uint32_t ms);

  // The command text being composed.
  void SetCommand(std::u16string_view text) { command_.assign(text); }
  void AppendCommand(std::u16string_view text) { command_.append(text); }
  void AppendCommand(char16_t ch) { command_.push_back(ch); }
  // printf-style, in UTF-8.
  void AppendCommandFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  const std::u16string& CommandText() const { return command_; }

  // Sends the command text in `mode` (SendMode) and clears it, also when the
  // write fails. Normal and sensitive commands are registered for echo
  // detection and sent with CR LF; any other mode sends nothing.
  void SendCommand(int mode);

  // Writes `text` as it stands (no terminator, no echo registration); empties
  // the answer queue first. Inside double quotes the text is sent in the GSM
  // default alphabet. A text that would not fit the transmit buffer is not
  // sent at all: 0x84000005. Does nothing while the port is going down.
  // A sensitive text withholds the receive dump until the card's echo of the
  // registered command has come back, or the next text is written, or the
  // port closes; a non-sensitive text ends that at once, so a secret written
  // in pieces must send every piece as sensitive.
  void Write(std::u16string_view text, bool sensitive);

  // Frees every queued answer (what nobody read of an earlier command).
  void EmptyAnswerQueue() { queue_.Clear(); }
  // Answer lines received and not yet read, and received in all.
  size_t QueuedAnswers() const { return queue_.Size(); }
  uint64_t AnswersReceived() const { return queue_.Pushed(); }

  // While on, text between double quotes in answers is taken verbatim, CR
  // and LF included (the operator name of AT+COPS? may hold them).
  void SetQuoteTracking(bool on) { quote_tracking_.store(on); }
  bool QuoteTracking() const { return quote_tracking_.load(); }

  // Transaction readers; see AnswerQueue for the waiting rules. A field
  // reader that finds its field missing flushes the queue to the final
  // result before it raises 0x84000004.
  void ExpectLine(std::u16string_view prefix) { queue_.ExpectLine(prefix); }
  void SkipSpaces();
  int ReadInt(bool absent_ok = false, int default_value = 0);
  std::u16string ReadQuoted(bool absent_ok = false);
  std::u16string ReadRest();
  int ExpectChar(char16_t ch, bool absent_ok = false);
  std::u16string QuotedString(QuotedStringMode mode, bool absent_ok = false);
  // Waits for a line; true when it is the final result (which stays queued).
  bool NextIsFinal() { return queue_.NextIsFinal(); }
  void DropLine() { queue_.DropLine(); }
  void WaitFinal();
  void FlushToFinal() { queue_.FlushToFinal(); }

 protected:
  void OnRxChar(uint8_t byte) override;
  bool ReceiveIsSensitive() const override { return receive_sensitive_.load(); }
  // Wakes every waiting transaction with 0x84000008: what the device does,
  // on the receiver thread, when its port has died under it.
  void AbortAnswerQueue() { queue_.Abort(); }

 private:
  // A completed line from the assembler; true to hold it as a message header.
  bool OnLine(std::span<const uint8_t> bytes, bool header_pending);
  void Dispatch(uint32_t type, AnswerLine& line);
  // Converts `text` into the transmit buffer; the byte count.
  size_t Encode(std::u16string_view text);

  // Receiver side.
  LineAssembler assembler_;
  std::atomic<bool> quote_tracking_{false};
  std::atomic<bool> clear_rx_quotes_{false};  // set by Write, applied by the receiver
  std::atomic<Unsolicited*> unsolicited_;

  AnswerQueue queue_;

  // Transaction side.
  std::u16string command_;
  bool tx_inside_quotes_ = false;  // under write_lock_
  platform::CriticalSection write_lock_;
  platform::CriticalSection echo_lock_;
  std::u16string echo_;  // under echo_lock_
  bool echo_sensitive_ = false;  // under echo_lock_: the echo carries a secret
  // The card may still echo a secret: the receiver withholds its dumps. Read
  // by the receiver without the lock; changed only under echo_lock_, so that
  // the echo matched for one command cannot clear what the next one set.
  std::atomic<bool> receive_sensitive_{false};
  bool timeout_set_ = false;
  uint32_t timeout_ms_ = kDefaultTimeoutMs;
};

}  // namespace GSM
