// The queue between the receiver thread, which appends the card's answer
// lines, and the one thread that runs transactions, which consumes them.
//
// A transaction has one time budget for all its waits: each wait draws the
// time it took from what is left. Time is the platform clock's, so the
// budget follows a test's virtual clock. Aborting the queue (the port is
// closing) makes every wait, present or future, fail with 0x84000008 until
// the queue is reset.
//
// Only the consuming thread removes lines, so the head line it reads stays
// where it is while the receiver appends behind it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>

#include "devicelib/line.h"
#include "devicelib/result_codes.h"
#include "platform/handle.h"

namespace GSM {

class AnswerQueue {
 public:
  AnswerQueue();
  AnswerQueue(const AnswerQueue&) = delete;
  AnswerQueue& operator=(const AnswerQueue&) = delete;

  // Receiver side: appends a line and wakes the waiter.
  void Push(std::unique_ptr<AnswerLine> line);

  // Frees every queued line and forgets a pending wake-up.
  void Clear();
  // Every wait fails with 0x84000008 from now on, a running one at once.
  void Abort();
  // Clear, and no longer aborted.
  void Reset();
  bool Aborted() const;
  bool Empty() const;
  size_t Size() const;
  // Lines appended since the queue was made.
  uint64_t Pushed() const;

  // The time budget left for the running transaction, in milliseconds.
  void SetBudget(uint32_t ms);
  uint32_t Budget() const;

  // Returns once a line is queued. Raises 0x84000008 when the queue is
  // aborted, 0x84000002 when the budget runs out (or the wait fails in an
  // unexpected way), and the system error when the wait itself fails. A
  // wake-up that finds the queue still empty (the signal of a line that was
  // taken without waiting) waits again for the rest of the budget.
  void WaitForLine();

  // Waits for a line and returns the head for reading. A final result at the
  // head raises its code when that is a failure; a final "OK" flushes it and
  // raises 0x84000004 (the answer line the caller wanted never came).
  AnswerLine& HeadForReading();

  // Waits for a line and reports whether it is a final result (it stays).
  bool NextIsFinal();

  // Waits for the first line; unless it starts with `prefix` (case-sensitive;
  // an empty prefix matches any line) flushes up to the next final result and
  // raises 0x84000004. On success the head's cursor stands after the prefix.
  void ExpectLine(std::u16string_view prefix);

  // Waits for a line, then removes it.
  void DropLine();

  // Removes lines up to a final result, waiting as needed, removes that too
  // and raises its code when it is a failure.
  void WaitFinal();

  // Removes lines up to and including the next final result, without
  // waiting. A final result that has not arrived stays behind.
  void FlushToFinal();

  // Runs `read` on the head line (after HeadForReading). A missing field
  // (0x84000004) flushes the queue to the final result before it passes on.
  template <typename Read>
  auto ReadHead(Read&& read) -> decltype(read(std::declval<Line&>())) {
    AnswerLine& head = HeadForReading();
    try {
      return read(static_cast<Line&>(head));
    } catch (const DvException& e) {
      if (e.code == DV_E_UNEXPECTED_ANSWER) FlushToFinal();
      throw;
    }
  }

 private:
  // WaitForLine, returning the head it found.
  AnswerLine& WaitForHead();

  mutable std::mutex mutex_;
  std::deque<std::unique_ptr<AnswerLine>> lines_;
  bool aborted_ = false;
  uint64_t pushed_ = 0;
  platform::UniqueHandle event_;  // auto-reset: a line arrived, or aborted

  // Read and written by the transaction thread only.
  uint32_t budget_ms_ = 1;
};

}  // namespace GSM
