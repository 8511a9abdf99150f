#include "devicelib/thread.h"

#include <mutex>

#include "devicelib/result_codes.h"
#include "foundation/xlog.h"
#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

// One lock shared by every Thread: held while a thread starts and while its
// running flag is cleared.
platform::CriticalSection& SharedThreadLock() {
  static platform::CriticalSection lock;
  return lock;
}

}  // namespace

Thread::~Thread() = default;

bool Thread::IsRunning() const {
  std::lock_guard lock(SharedThreadLock());
  return running_ != 0;
}

void Thread::Start() {
  std::lock_guard lock(SharedThreadLock());
  if (running_) return;

  thread_handle_.reset();
  started_event_.reset(platform::CreateEvent(false, false));
  if (started_event_) {
    // The new thread gets what it needs by value: after a failed start or a
    // timed-out Stop these members may be released while it still runs.
    thread_handle_.reset(platform::CreateThread(
        [this, started = started_event_.get(), com = com_apartment_ != 0] {
          return ThreadFn(started, com);
        },
        &thread_id_));
  }
  running_ = thread_handle_ ? 1 : 0;
  if (running_) {
    const uint32_t wait = platform::WaitForSingleObject(started_event_.get(), kStartTimeoutMs);
    running_ = wait == platform::kWaitObject0;
    if (wait == platform::kWaitTimeout) platform::SetLastError(platform::kErrorWaitTimeout);
  }
  if (!running_) DvRaise(platform::ResultFromError(platform::GetLastError()));
}

uint32_t Thread::ThreadFn(platform::HANDLE started_event, bool com_apartment) {
  // Joining a COM apartment cannot fail here; there is none to join.
  platform::SetEvent(started_event);
  Run();
  {
    std::lock_guard lock(SharedThreadLock());
    running_ = 0;
  }
  // Nothing of the object is touched past this point, so an owner whose Stop
  // timed out may let the object go once this thread has logged its last line.
  if (com_apartment) {
    XLogLevel(kXLogTrace, "Dv: Thread::ThreadFn: CoUninitializing...");
    XLogLevel(kXLogTrace, "Dv: Thread::ThreadFn: CoUninitialized");
  }
  XLogLevel(kXLogTrace, "Dv: Thread 0x%x's loop is returning", platform::GetCurrentThreadId());
  return 0;
}

void Thread::Stop() {
  if (com_apartment_) {
    if (!thread_handle_) {
      XLog("thread was not created - nothing to terminate");
      return;
    }
    if (RequestStop() &&
        platform::WaitForSingleObject(thread_handle_.get(), kStopTimeoutMs) != platform::kWaitObject0) {
      XLog("thread termination timed out");
    }
    XLog("closing handle for thread 0x%x", thread_id_);
    ReleaseHandles();
    return;
  }

  if (!thread_handle_) {
    XLogLevel(kXLogTrace, "Dv: Thread was not created - nothing to terminate");
    return;
  }
  XLogLevel(kXLogTrace, "Dv: Stopping thread 0x%x...", thread_id_);
  if (RequestStop()) {
    const uint32_t wait = platform::WaitForSingleObject(thread_handle_.get(), kStopTimeoutMs);
    if (wait == platform::kWaitTimeout) {
      XLogLevel(kXLogError, "Dv: Thread termination timed out");
    } else if (wait != platform::kWaitObject0) {
      XLogLevel(kXLogError, "Dv: Waiting for the thread failed with 0x%x", wait);
    }
  }
  XLogLevel(kXLogTrace, "Dv: Closing handle for thread 0x%x", thread_id_);
  ReleaseHandles();
}

void Thread::ReleaseHandles() {
  thread_handle_.reset();
  started_event_.reset();
  std::lock_guard lock(SharedThreadLock());
  thread_id_ = 0;
  running_ = 0;
}
