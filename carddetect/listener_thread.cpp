#include "carddetect/listener_thread.h"

#include <array>

#include "carddetect/card_state.h"
#include "carddetect/notification_window.h"
#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/named_event.h"
#include "platform/named_object.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace {

constexpr uint32_t kStartTimeoutMs = 10000;
constexpr uint32_t kMutexWaitSliceMs = 1000;
constexpr uint32_t kFailedWaitPauseMs = 333;
constexpr uint32_t kAfterMutexFreeSleepMs = 100;
constexpr uint32_t kBeforeWakeUpSleepMs = 200;

// A duty the thread gives itself. It only replaces the duty it acted on: a
// duty the client's thread stored meanwhile wins.
void SetOwnDuty(uint32_t acted_on, ListenerDuty duty) {
  NwGlobals().listener_duty.compare_exchange_strong(acted_on, duty);
}

// The thread's pauses end early when it is woken, so that a stop (or a new
// duty) never waits for them; the loop reads the duty afresh either way.
void Pause(uint32_t ms) { platform::WaitForSingleObject(NwGlobals().listener_wake.get(), ms); }

void PostToWindow(uint32_t message) {
  platform::PostMessage(NwGlobals().notification_window.load(), message, 0, 0);
}

void LogNewDuty(uint32_t duty) {
  XLogLevel(kXLogTrace, "Nw: New listener thread duty is %s", ListenerDutyName(duty));
}

void RunIdle() {
  LogNewDuty(ListenerDutyIdle);
  if (platform::WaitForSingleObject(NwGlobals().listener_wake.get(), platform::kInfinite) ==
      platform::kWaitFailed) {
    XLogLevel(kXLogError, "Nw: ListenerThreadFn(): WaitForSingleObject failed with %d, GetLastError=0x%x",
              static_cast<int>(platform::kWaitFailed), platform::GetLastError());
    platform::Sleep(kFailedWaitPauseMs);
  }
}

// WaitForSuspend, and WaitForSuspendAndMutex when `with_mutex`.
void RunWaitForSuspend(uint32_t duty, bool with_mutex) {
  NwLibraryGlobals& globals = NwGlobals();
  LogNewDuty(duty);
  platform::UniqueHandle event(platform::CreateNamedEvent(kSuspensionEventName, true, false));
  if (!event) {
    XLogLevel(kXLogError, "Nw: ListenerThreadFn(): Suspension event creation/open failed with 0x%x",
              platform::GetLastError());
    SetOwnDuty(duty, ListenerDutyIdle);
    return;
  }
  // Opened without asking for ownership: the listener must never hold the
  // card for longer than the instant it takes to see the mutex is free.
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, false));
  if (!mutex) {
    XLogLevel(kXLogError, "Nw: ListenerThreadFn()/LdWaitForSuspendXXX: Exclusive mutex creation/open failed with 0x%x",
              platform::GetLastError());
    SetOwnDuty(duty, ListenerDutyIdle);
    return;
  }
  const std::array<platform::HANDLE, 3> handles = {globals.listener_wake.get(), event.get(), mutex.get()};
  const size_t count = with_mutex ? 3 : 2;
  const uint32_t result = platform::WaitForMultipleObjects(std::span(handles.data(), count), false,
                                                           platform::kInfinite);
  if (result == platform::kWaitObject0) return;  // a new duty
  if (result == platform::kWaitObject0 + 1) {
    XLogLevel(kXLogTrace, "Nw: Suspension request has arrived");
    globals.suspension_request_seen = true;
    SetOwnDuty(duty, ListenerDutyIdle);
    PostToWindow(kMsgSuspensionRequest);
    return;
  }
  if (result == platform::kWaitObject0 + 2 || result == platform::kWaitAbandoned0 + 2) {
    platform::ReleaseMutex(mutex.get());
    mutex.reset();
    if (platform::WaitForSingleObject(event.get(), 0) != platform::kWaitObject0) {
      XLogLevel(kXLogTrace, "Nw: Got access to the exclusive mutex during normal mode, grabbing it...");
      SetOwnDuty(duty, ListenerDutyWaitForSuspend);
      PostToWindow(kMsgMutexFree);
      Pause(kAfterMutexFreeSleepMs);
    }
    return;
  }
  XLogLevel(kXLogError, "Nw: ListenerThreadFn(): WaitForMultipleObjects failed with %d, GetLastError=0x%x",
            static_cast<int>(result), platform::GetLastError());
  SetOwnDuty(duty, ListenerDutyIdle);
}

void RunWaitForMutex() {
  NwLibraryGlobals& globals = NwGlobals();
  LogNewDuty(ListenerDutyWaitForMutex);
  platform::UniqueHandle mutex(platform::CreateMutex(kExclusiveMutexName, false));
  if (!mutex) {
    XLogLevel(kXLogError, "Nw: ListenerThreadFn()/LdWaitMutex: Exclusive mutex creation/open failed with 0x%x",
              platform::GetLastError());
    SetOwnDuty(ListenerDutyWaitForMutex, ListenerDutyIdle);
    return;
  }
  const std::array<platform::HANDLE, 2> handles = {globals.listener_wake.get(), mutex.get()};
  for (;;) {
    // A pending request is noted in the flag too, so the flag also holds the
    // request that suspended the library, even when it was withdrawn before
    // this thread first looked.
    const bool pending = IsSuspensionRequested();
    const bool requested_before = globals.suspension_request_seen.exchange(false) || pending;
    const uint32_t result = platform::WaitForMultipleObjects(handles, false, kMutexWaitSliceMs);
    if (result == platform::kWaitObject0) return;
    if (result == platform::kWaitObject0 + 1 || result == platform::kWaitAbandoned0 + 1) {
      XLogLevel(kXLogTrace, "Nw: Got access to the exclusive mutex, waking up from suspended mode");
      SetOwnDuty(ListenerDutyWaitForMutex, ListenerDutyIdle);
      platform::ReleaseMutex(mutex.get());
      // Closed before the window re-examines the system, so that its
      // suspension check does not take this handle for a waiting requester.
      mutex.reset();
      Pause(kBeforeWakeUpSleepMs);
      PostToWindow(kMsgSuspensionOver);
      return;
    }
    if (result == platform::kWaitTimeout) {
      if (requested_before && !IsSuspensionRequested()) {
        XLogLevel(kXLogTrace,
                  "Nw: suspension event reset detected while waiting for the exclusive mutex, waking up from suspended mode");
        SetOwnDuty(ListenerDutyWaitForMutex, ListenerDutyIdle);
        mutex.reset();
        Pause(kBeforeWakeUpSleepMs);
        PostToWindow(kMsgSuspensionOver);
        return;
      }
      continue;
    }
    XLogLevel(kXLogError, "Nw: ListenerThreadFn(): WaitForMultipleObjects failed with %d, GetLastError=0x%x",
              static_cast<int>(result), platform::GetLastError());
    SetOwnDuty(ListenerDutyWaitForMutex, ListenerDutyIdle);
    return;
  }
}

uint32_t ListenerThreadFn() {
  NwLibraryGlobals& globals = NwGlobals();
  XLogLevel(kXLogTrace, "Nw: Listener thread started");
  platform::SetEvent(globals.listener_started.get());
  for (;;) {
    const uint32_t duty = globals.listener_duty.load();
    switch (duty) {
      case ListenerDutyStop:
        globals.listener_running = false;
        XLogLevel(kXLogTrace, "Nw: Listener thread stopping");
        return 0;
      case ListenerDutyWaitForSuspend:
        RunWaitForSuspend(duty, false);
        break;
      case ListenerDutyWaitForSuspendAndMutex:
        RunWaitForSuspend(duty, true);
        break;
      case ListenerDutyWaitForMutex:
        RunWaitForMutex();
        break;
      default:
        RunIdle();
        break;
    }
  }
}

}  // namespace

const char* ListenerDutyName(uint32_t duty) {
  switch (duty) {
    case ListenerDutyIdle:
      return "'Idle'";
    case ListenerDutyStop:
      return "'Stop'";
    case ListenerDutyWaitForSuspend:
      return "'WaitForSuspend'";
    case ListenerDutyWaitForMutex:
      return "'WaitForMutex'";
    case ListenerDutyWaitForSuspendAndMutex:
      return "'WaitForSuspendAndMutex'";
    default:
      return "'Unknown'";
  }
}

void SetListenerDuty(ListenerDuty duty) {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.listener_running.load()) return;
  if (globals.listener_duty.exchange(duty) == duty) return;
  platform::SetEvent(globals.listener_wake.get());
}

uint32_t StartListenerThread() {
  NwLibraryGlobals& globals = NwGlobals();
  globals.listener_duty = ListenerDutyIdle;
  platform::UniqueHandle started(platform::CreateEvent(false, false));
  if (!started) return platform::GetLastError();
  platform::UniqueHandle wake(platform::CreateEvent(false, false));
  if (!wake) return platform::GetLastError();
  globals.listener_started = std::move(started);
  globals.listener_wake = std::move(wake);
  globals.listener_running = true;
  uint32_t thread_id = 0;
  platform::UniqueHandle thread(platform::CreateThread(ListenerThreadFn, &thread_id));
  const bool started_in_time =
      thread &&
      platform::WaitForSingleObject(globals.listener_started.get(), kStartTimeoutMs) == platform::kWaitObject0;
  if (!started_in_time) {
    uint32_t error = platform::kErrorWaitTimeout;
    if (!thread) {
      error = platform::GetLastError();
      // A creation that failed without a last error still fails.
      if (error == 0) error = platform::kErrorGenFailure;
    }
    globals.listener_running = false;
    if (thread) {
      // A thread that did not report in is told to stop when it does.
      globals.listener_duty = ListenerDutyStop;
      platform::SetEvent(globals.listener_wake.get());
      platform::WaitForSingleObject(thread.get(), kStartTimeoutMs);
    }
    globals.listener_started.reset();
    globals.listener_wake.reset();
    return error;
  }
  globals.listener_thread = std::move(thread);
  globals.listener_thread_id = thread_id;
  return 0;
}

void StopListenerThread(uint32_t limit_ms) {
  NwLibraryGlobals& globals = NwGlobals();
  if (!globals.listener_thread) {
    XLogLevel(kXLogTrace, "Nw: Thread was not created - nothing to terminate");
    return;
  }
  globals.listener_duty = ListenerDutyStop;
  platform::SetEvent(globals.listener_wake.get());
  const uint32_t result = platform::WaitForSingleObject(globals.listener_thread.get(), limit_ms);
  if (result == platform::kWaitTimeout) {
    XLogLevel(kXLogError, "Nw: Listener thread termination timed out");
  } else if (result != platform::kWaitObject0) {
    XLogLevel(kXLogError, "Nw: Listener thread termination failed with %d, GetLastError=0x%x",
              static_cast<int>(result), platform::GetLastError());
  }
  XLogLevel(kXLogTrace, "Nw: Closing handle for listener thread 0x%x", globals.listener_thread_id);
  globals.listener_thread.reset();
  globals.listener_thread_id = 0;
  globals.listener_started.reset();
  globals.listener_wake.reset();
}
