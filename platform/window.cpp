#include "platform/window.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <new>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/ready_descriptor.h"
#include "platform/thread.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// Shorter periods are raised to this, as the system does; a zero period
// would otherwise fall due forever.
constexpr uint32_t kMinimumTimerPeriodMs = 10;

struct Timer {
  uint32_t period_ms;
  uint64_t due_ms;
};

// A message sent from another thread: queued on the owner's queue until the
// owner's loop runs it. Shared between the two threads, so a sender that gave
// up (time-out) leaves nothing dangling: the owner still runs it and writes a
// result nobody reads.
struct SentMessage {
  MSG msg;
  bool done = false;
  bool failed = false;  // the window went before it ran
  LRESULT result = 0;
};

struct ThreadQueue {
  // Sent messages run before anything posted is retrieved.
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<MSG> posted;
  bool ended = false;  // the owning thread is gone; nothing is read any more
  bool quit = false;
  int quit_code = 0;
  // Keyed by (window, timer id), so one window's timers stay together.
  std::map<std::pair<HWND, uintptr_t>, Timer> timers;
  // Made by QueueDescriptor() for loops that wait on descriptors; null
  // otherwise. Kept in step with the queue by UpdateReadyLocked.
  std::unique_ptr<ReadyDescriptor> ready;
};

struct Window {
  std::shared_ptr<const WindowProcedure> procedure;
  uint32_t thread_id;
  std::shared_ptr<ThreadQueue> queue;
};

// Everything below is guarded by the dispatcher lock, so a thread waiting in
// GetMessage sleeps on the same condition (and the same clock) as every other
// wait of the program.
struct Windowing {
  std::map<std::u16string, std::shared_ptr<const WindowProcedure>> classes;
  std::map<HWND, Window> windows;
  std::map<uint32_t, std::shared_ptr<ThreadQueue>> queues;
  uintptr_t next_window = 0x10;
};

Windowing& State() {
  static auto* state = new Windowing;  // outlives every thread's queue holder
  return *state;
}

std::u16string ClassKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& c : key) {
    c = AsciiToLower(c);
  }
  return key;
}

// Marks a sent message as never run and wakes its sender. Dispatcher lock held.
void FailSentLocked(SentMessage& sent) {
  sent.failed = true;
  sent.done = true;
  GetDispatcher().cv.notify_all();
}

// Drops the thread's queue from the table when the thread ends; windows it
// left behind keep the queue alive but nobody reads it any more, so senders
// waiting on it are released and later sends fail at once.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  uint32_t thread_id = 0;
  ~QueueHolder() {
    if (!queue) return;
    std::lock_guard lock(GetDispatcher().mutex);
    queue->ended = true;
    for (auto& sent : queue->sent) FailSentLocked(*sent);
    queue->sent.clear();
    queue->ready.reset();  // the thread's loop is gone, and so is its descriptor
    auto& queues = State().queues;
    auto it = queues.find(thread_id);
    if (it != queues.end() && it->second == queue) queues.erase(it);
  }
};

thread_local QueueHolder t_queue;

// The calling thread's queue, made on first use. Dispatcher lock held.
ThreadQueue& OwnQueueLocked() {
  if (!t_queue.queue) {
    t_queue.queue = std::make_shared<ThreadQueue>();
    t_queue.thread_id = GetCurrentThreadId();
    State().queues[t_queue.thread_id] = t_queue.queue;
  }
  return *t_queue.queue;
}

const Window* FindLocked(HWND hwnd) {
  auto& windows = State().windows;
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : &it->second;
}

std::shared_ptr<const WindowProcedure> ProcedureOf(HWND hwnd) {
  std::lock_guard lock(GetDispatcher().mutex);
  const Window* window = FindLocked(hwnd);
  return window ? window->procedure : nullptr;
}

using TimerIterator = std::map<std::pair<HWND, uintptr_t>, Timer>::iterator;

// The timer that falls due first; timers.end() when there is none.
TimerIterator EarliestTimerLocked(ThreadQueue& queue) {
  auto earliest = queue.timers.end();
  for (auto it = queue.timers.begin(); it != queue.timers.end(); ++it) {
    if (earliest == queue.timers.end() || it->second.due_ms < earliest->second.due_ms) {
      earliest = it;
    }
  }
  return earliest;
}

// Brings the queue's descriptor (if it has one) in line with the queue:
// readable while anything is sent, posted, a quit or a due timer waits. With
// the real clock the kernel's timer stands for the next deadline; a virtual
// clock cannot drive a kernel timer, so its moves come here instead
// (TimeMovedLocked). Only changes make system calls. Dispatcher lock held.
void UpdateReadyLocked(ThreadQueue& queue) {
  ReadyDescriptor* ready = queue.ready.get();
  if (!ready) return;
  Clock& clock = CurrentClock();
  const auto earliest = EarliestTimerLocked(queue);
  const uint64_t next_due = earliest == queue.timers.end() ? kNoDeadline : earliest->second.due_ms;
  const bool busy = !queue.sent.empty() || !queue.posted.empty() || queue.quit ||
                    (next_due != kNoDeadline && next_due <= clock.NowMs());
  ready->SetReady(busy);
  const bool kernel_timer = dynamic_cast<RealClock*>(&clock) != nullptr;
  ready->ArmTimer(kernel_timer ? next_due : kNoDeadline);  // a call only when it moved
}

// The dispatcher's hook for moves of the clock (and swaps of it): timers of
// queues with a descriptor may have fallen due. Dispatcher lock held.
void TimeMovedLocked() {
  for (auto& [thread_id, queue] : State().queues) UpdateReadyLocked(*queue);
}

// The next message for `queue` at `now`, taken out when `remove`; otherwise
// false with `wake_at` set to the next timer's due time (kNoDeadline when
// there is none). Dispatcher lock held.
bool NextLocked(ThreadQueue& queue, uint64_t now, bool remove, MSG& msg, uint64_t& wake_at) {
  if (!queue.posted.empty()) {
    msg = queue.posted.front();
    if (remove) queue.posted.pop_front();
    return true;
  }
  if (queue.quit) {
    msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, now};
    if (remove) queue.quit = false;
    return true;
  }
  const auto earliest = EarliestTimerLocked(queue);
  if (earliest != queue.timers.end() && earliest->second.due_ms <= now) {
    msg = MSG{earliest->first.first, WM_TIMER, earliest->first.second, 0, now};
    if (remove) earliest->second.due_ms = now + earliest->second.period_ms;
    return true;
  }
  wake_at = earliest == queue.timers.end() ? kNoDeadline : earliest->second.due_ms;
  return false;
}

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

// Runs the messages other threads sent to the calling thread, oldest first;
// the lock is let go while a procedure runs. Returns the number run.
size_t RunSentLocked(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
  size_t count = 0;
  while (!queue.sent.empty()) {
    std::shared_ptr<SentMessage> sent = std::move(queue.sent.front());
    queue.sent.pop_front();
    const Window* window = FindLocked(sent->msg.hwnd);
    if (!window) {
      FailSentLocked(*sent);
      continue;
    }
    std::shared_ptr<const WindowProcedure> procedure = window->procedure;
    lock.unlock();
    const MSG& m = sent->msg;
    const LRESULT result = (*procedure)(m.hwnd, m.message, m.wParam, m.lParam);
    lock.lock();
    sent->result = result;
    sent->done = true;
    GetDispatcher().cv.notify_all();
    ++count;
  }
  if (count > 0) UpdateReadyLocked(queue);
  return count;
}

}  // namespace

bool RegisterClass(std::u16string_view class_name, WindowProcedure procedure) {
  if (class_name.empty() || !procedure) return Fail(kErrorInvalidParameter);
  try {
    auto shared = std::make_shared<const WindowProcedure>(std::move(procedure));
    std::lock_guard lock(GetDispatcher().mutex);
    if (!State().classes.emplace(ClassKey(class_name), std::move(shared)).second) {
      return Fail(kErrorClassAlreadyExists);
    }
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNotEnoughMemory);
  }
  return true;
}

bool UnregisterClass(std::u16string_view class_name) {
  std::lock_guard lock(GetDispatcher().mutex);
  if (State().classes.erase(ClassKey(class_name)) == 0) return Fail(kErrorClassDoesNotExist);
  return true;
}

HWND CreateWindow(std::u16string_view class_name) {
  HWND hwnd = nullptr;
  {
    std::lock_guard lock(GetDispatcher().mutex);
    Windowing& state = State();
    auto it = state.classes.find(ClassKey(class_name));
    if (it == state.classes.end()) {
      SetLastError(kErrorCannotFindWndClass);
      return nullptr;
    }
    OwnQueueLocked();
    hwnd = reinterpret_cast<HWND>(state.next_window++);
    state.windows[hwnd] = Window{it->second, t_queue.thread_id, t_queue.queue};
  }
  SendMessage(hwnd, WM_CREATE, 0, 0);
  return hwnd;
}

bool DestroyWindow(HWND hwnd) {
  std::shared_ptr<const WindowProcedure> procedure;
  {
    std::lock_guard lock(GetDispatcher().mutex);
    const Window* window = FindLocked(hwnd);
    if (!window) return Fail(kErrorInvalidWindowHandle);
    if (window->thread_id != GetCurrentThreadId()) return Fail(kErrorAccessDenied);
    procedure = window->procedure;
  }
  (*procedure)(hwnd, WM_DESTROY, 0, 0);  // the window still exists meanwhile
  std::lock_guard lock(GetDispatcher().mutex);
  auto& windows = State().windows;
  auto it = windows.find(hwnd);
  if (it == windows.end()) return true;  // destroyed again from WM_DESTROY
  ThreadQueue& queue = *it->second.queue;
  std::erase_if(queue.sent, [hwnd](const std::shared_ptr<SentMessage>& sent) {
    if (sent->msg.hwnd != hwnd) return false;
    FailSentLocked(*sent);
    return true;
  });
  std::erase_if(queue.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
  std::erase_if(queue.timers, [hwnd](const auto& t) { return t.first.first == hwnd; });
  windows.erase(it);
  UpdateReadyLocked(queue);
  return true;
}

bool IsWindow(HWND hwnd) {
  std::lock_guard lock(GetDispatcher().mutex);
  return FindLocked(hwnd) != nullptr;
}

uint32_t GetWindowThreadId(HWND hwnd) {
  std::lock_guard lock(GetDispatcher().mutex);
  const Window* window = FindLocked(hwnd);
  return window ? window->thread_id : 0;
}

bool PostMessage(HWND hwnd, uint32_t message, WPARAM wparam, LPARAM lparam) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  const Window* window = FindLocked(hwnd);
  if (!window) return Fail(kErrorInvalidWindowHandle);
  try {
    window->queue->posted.push_back(MSG{hwnd, message, wparam, lparam, CurrentClock().NowMs()});
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNotEnoughMemory);
  }
  UpdateReadyLocked(*window->queue);
  d.cv.notify_all();
  return true;
}

bool PostThreadMessage(uint32_t thread_id, uint32_t message, WPARAM wparam, LPARAM lparam) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  auto& queues = State().queues;
  auto it = queues.find(thread_id);
  if (it == queues.end()) return Fail(kErrorInvalidThreadId);
  try {
    it->second->posted.push_back(MSG{nullptr, message, wparam, lparam, CurrentClock().NowMs()});
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNotEnoughMemory);
  }
  UpdateReadyLocked(*it->second);
  d.cv.notify_all();
  return true;
}

void PostQuitMessage(int exit_code) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  ThreadQueue& queue = OwnQueueLocked();
  queue.quit = true;
  queue.quit_code = exit_code;
  UpdateReadyLocked(queue);
  d.cv.notify_all();
}

bool GetMessage(MSG& msg) {
  Dispatcher& d = GetDispatcher();
  std::unique_lock lock(d.mutex);
  ThreadQueue& queue = OwnQueueLocked();
  Clock& clock = CurrentClock();
  for (;;) {
    if (RunSentLocked(lock, queue) > 0) continue;  // they may have posted or sent more
    uint64_t wake_at = kNoDeadline;
    if (NextLocked(queue, clock.NowMs(), true, msg, wake_at)) {
      UpdateReadyLocked(queue);
      return msg.message != WM_QUIT;
    }
    // Waiting for a timer is no wait that began now: its fall was set when
    // the timer was.
    clock.WaitUntil(d.cv, lock, wake_at, 0);
  }
}

bool PeekMessage(MSG& msg, bool remove) {
  std::unique_lock lock(GetDispatcher().mutex);
  ThreadQueue& queue = OwnQueueLocked();
  RunSentLocked(lock, queue);
  uint64_t wake_at = kNoDeadline;
  const bool got = NextLocked(queue, CurrentClock().NowMs(), remove, msg, wake_at);
  if (got && remove) UpdateReadyLocked(queue);
  return got;
}

LRESULT DispatchMessage(const MSG& msg) {
  if (!msg.hwnd) return 0;
  auto procedure = ProcedureOf(msg.hwnd);
  return procedure ? (*procedure)(msg.hwnd, msg.message, msg.wParam, msg.lParam) : 0;
}

LRESULT SendMessage(HWND hwnd, uint32_t message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  SendMessageTimeout(hwnd, message, wparam, lparam, kInfinite, &result);
  return result;
}

bool SendMessageTimeout(HWND hwnd, uint32_t message, WPARAM wparam, LPARAM lparam,
                        uint32_t timeout_ms, LRESULT* result) {
  if (result) *result = 0;
  Dispatcher& d = GetDispatcher();
  std::unique_lock lock(d.mutex);
  const Window* window = FindLocked(hwnd);
  if (!window || window->queue->ended) return Fail(kErrorInvalidWindowHandle);
  if (window->thread_id == GetCurrentThreadId()) {
    std::shared_ptr<const WindowProcedure> procedure = window->procedure;
    lock.unlock();
    const LRESULT value = (*procedure)(hwnd, message, wparam, lparam);
    if (result) *result = value;
    return true;
  }
  Clock& clock = CurrentClock();
  std::shared_ptr<SentMessage> sent;
  try {
    sent = std::make_shared<SentMessage>();
    sent->msg = MSG{hwnd, message, wparam, lparam, clock.NowMs()};
    window->queue->sent.push_back(sent);
  } catch (const std::bad_alloc&) {
    return Fail(kErrorNotEnoughMemory);
  }
  UpdateReadyLocked(*window->queue);
  d.cv.notify_all();
  const uint64_t begun = clock.NowMs();
  const uint64_t deadline = timeout_ms == kInfinite ? kNoDeadline : begun + timeout_ms;
  // A thread with a queue of its own keeps running what is sent to it while
  // it waits, so two threads sending to each other do not wait forever.
  ThreadQueue* own = t_queue.queue.get();
  while (!sent->done) {
    if (own && RunSentLocked(lock, *own) > 0) continue;
    if (clock.NowMs() >= deadline) return Fail(kErrorTimeout);  // the owner may still run it
    clock.WaitUntil(d.cv, lock, deadline, begun);
  }
  if (sent->failed) return Fail(kErrorInvalidWindowHandle);
  if (result) *result = sent->result;
  return true;
}

size_t PumpMessages() {
  size_t count = 0;
  MSG msg;
  for (;;) {
    {
      std::unique_lock lock(GetDispatcher().mutex);
      ThreadQueue& queue = OwnQueueLocked();
      count += RunSentLocked(lock, queue);
      // What is left decides the descriptor, under the same hold of the lock
      // as the look that found nothing more to run.
      const bool quit_next = queue.posted.empty() ? queue.quit
                                                  : queue.posted.front().message == WM_QUIT;
      if (quit_next) {  // the quit stays queued, for the loop to end on
        UpdateReadyLocked(queue);
        return count;
      }
      uint64_t wake_at = kNoDeadline;
      if (!NextLocked(queue, CurrentClock().NowMs(), true, msg, wake_at)) {
        UpdateReadyLocked(queue);
        return count;
      }
    }
    DispatchMessage(msg);
    ++count;
  }
}

uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t elapse_ms) {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  const Window* window = FindLocked(hwnd);
  if (!window) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  elapse_ms = std::max(elapse_ms, kMinimumTimerPeriodMs);
  try {
    window->queue->timers[{hwnd, id}] = Timer{elapse_ms, CurrentClock().NowMs() + elapse_ms};
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return 0;
  }
  UpdateReadyLocked(*window->queue);
  d.cv.notify_all();  // a loop waiting for a later timer must look again
  return id;
}

bool KillTimer(HWND hwnd, uintptr_t id) {
  std::lock_guard lock(GetDispatcher().mutex);
  const Window* window = FindLocked(hwnd);
  if (!window || window->queue->timers.erase({hwnd, id}) == 0) return Fail(kErrorInvalidTimerId);
  UpdateReadyLocked(*window->queue);
  return true;
}

int QueueDescriptor() {
  Dispatcher& d = GetDispatcher();
  std::lock_guard lock(d.mutex);
  ThreadQueue& queue = OwnQueueLocked();
  if (!queue.ready) {
    queue.ready = ReadyDescriptor::Create();
    if (!queue.ready) return -1;
    d.time_moved = &TimeMovedLocked;
    UpdateReadyLocked(queue);
  }
  return queue.ready->Descriptor();
}

}  // namespace platform
