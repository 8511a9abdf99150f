#include "devicelib/answer_queue.h"

#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace GSM {

AnswerQueue::AnswerQueue() : event_(platform::CreateEvent(false, false)) {}

void AnswerQueue::Push(std::unique_ptr<AnswerLine> line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
  ++pushed_;
  platform::SetEvent(event_.get());
}

void AnswerQueue::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  platform::ResetEvent(event_.get());
}

void AnswerQueue::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  platform::SetEvent(event_.get());
}

void AnswerQueue::Reset() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  aborted_ = false;
  platform::ResetEvent(event_.get());
}

bool AnswerQueue::Aborted() const {
  std::lock_guard lock(mutex_);
  return aborted_;
}

bool AnswerQueue::Empty() const {
  std::lock_guard lock(mutex_);
  return lines_.empty();
}

size_t AnswerQueue::Size() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

uint64_t AnswerQueue::Pushed() const {
  std::lock_guard lock(mutex_);
  return pushed_;
}

void AnswerQueue::SetBudget(uint32_t ms) { budget_ms_ = ms; }

uint32_t AnswerQueue::Budget() const { return budget_ms_; }

AnswerLine& AnswerQueue::WaitForHead() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!lines_.empty()) return *lines_.front();
      if (aborted_) DvRaise(DV_E_NO_DEVICE);
    }
    const uint32_t start = platform::GetTickCount();
    const uint32_t result = platform::WaitForSingleObject(event_.get(), budget_ms_);
    if (result == platform::kWaitFailed) DvRaise(platform::ResultFromError(platform::GetLastError()));
    // Whatever woke us, the time spent is gone from the transaction's budget;
    // at least 1 ms is left so that a later wait still looks at the queue.
    const uint32_t elapsed = platform::GetTickCount() - start;
    budget_ms_ = elapsed < budget_ms_ ? budget_ms_ - elapsed : 1;
    if (Aborted()) DvRaise(DV_E_NO_DEVICE);
    if (result == platform::kWaitTimeout) {
      XLogLevel(kXLogError, "Dv: Wait timeout for answer");
      DvRaise(DV_E_NO_ANSWER);
    }
    if (result != platform::kWaitObject0) {
      XLogLevel(kXLogError, "Dv: Wait for answer failed with 0x%x", result);
      DvRaise(DV_E_NO_ANSWER);
    }
    // Woken with the queue empty: the event still carried the signal of a
    // line that was read without waiting. Wait again for what is left.
  }
}

void AnswerQueue::WaitForLine() { WaitForHead(); }

AnswerLine& AnswerQueue::HeadForReading() {
  AnswerLine& head = WaitForHead();
  if (head.IsFinal()) {
    if (DvFailed(head.ResultCode())) DvRaise(head.ResultCode());
    FlushToFinal();
    DvRaise(DV_E_UNEXPECTED_ANSWER);
  }
  return head;
}

bool AnswerQueue::NextIsFinal() { return WaitForHead().IsFinal(); }

void AnswerQueue::ExpectLine(std::u16string_view prefix) {
  AnswerLine& head = HeadForReading();
  if (!head.StartsWith(prefix)) {
    FlushToFinal();
    DvRaise(DV_E_UNEXPECTED_ANSWER);
  }
  head.SetCursor(prefix.size());
}

void AnswerQueue::DropLine() {
  WaitForHead();
  std::lock_guard lock(mutex_);
  lines_.pop_front();
}

void AnswerQueue::WaitFinal() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      while (!lines_.empty() && !lines_.front()->IsFinal()) lines_.pop_front();
      if (!lines_.empty()) {
        const DvResult code = lines_.front()->ResultCode();
        lines_.pop_front();
        if (DvFailed(code)) DvRaise(code);
        return;
      }
    }
    // Raises once the queue is aborted: a final result that never came is
    // no success.
    WaitForLine();
  }
}

void AnswerQueue::FlushToFinal() {
  std::lock_guard lock(mutex_);
  while (!lines_.empty()) {
    const bool final = lines_.front()->IsFinal();
    lines_.pop_front();
    if (final) break;
  }
}

}  // namespace GSM
