// The worker thread: the device-access library's one client. It initialises
// and shuts the library down, takes every library event and error, runs
// every blocking command, and keeps the results in the device cache
// (CachedDravik). The main window never calls the library: it posts
// requests to this thread (app_messages.h) and reads the cache when a
// notification tells it something changed. No request waits for an answer.
//
// Every notification is followed by WM_APP_STATE_CHANGED, directly or through
// the library's next event, except the traffic news: while connected, the
// radio timer also samples the connection's statistics once a second. Records that travel with a message (a profile,
// an SMS record, a PIN text) belong to the receiver; when a post fails, or a
// request is dropped at shut-down, the record is freed where it is.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/cached_dravik.h"
#include "devicelib/result_codes.h"
#include "platform/handle.h"
#include "platform/module.h"
#include "platform/window.h"

struct SmsMessage;

// A PIN, PUK or password on its way to the worker: a copy that is wiped when
// the worker is done with it, so the dialog's own text may go at once.
class PinText {
 public:
  explicit PinText(std::u16string text) : text_(std::move(text)) {}
  ~PinText();
  PinText(const PinText&) = delete;
  PinText& operator=(const PinText&) = delete;
  const char16_t* c_str() const { return text_.c_str(); }

 private:
  std::u16string text_;
};

class CWorkerThread {
 public:
  // How long Stop waits for the thread once the requests still queued were
  // dropped: the command in progress ends within its own time-out.
  static constexpr uint32_t kStopWaitMs = 60000;
  // The radio-state refresh period.
  static constexpr uint32_t kRadioTimerMs = 1000;

  // `main_window` receives the notifications (null: they go nowhere);
  // `module` is handed to the library.
  explicit CWorkerThread(platform::HWND main_window, platform::HMODULE module = nullptr);
  ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Starts the thread and waits until its loop runs; false when the thread
  // could not be made.
  bool Start();
  // Drops the requests still queued, ends the loop (the library is shut
  // down on the way out) and waits for the thread.
  void Stop();

  // Posts a request (app_messages.h). The record in `lparam` (and `wparam`
  // for the PUK and change-PIN requests) becomes the worker's; false, with
  // the records freed, when the thread does not run.
  bool Post(uint32_t request, uintptr_t wparam, intptr_t lparam);

  // The process-wide diagnostics flag: set when a run is asked for, cleared
  // when it ended. A request while it is set is dropped.
  static bool DiagnosticsInProgress();

  uint32_t ThreadId() const { return thread_id_.load(); }
  // True while the loop waits for its next message with nothing to run:
  // tests let virtual time pass only then.
  bool Idle() const { return idle_.load(); }

  // Frees the record a request or notification carries (a request that is
  // dropped, a notification that could not be posted).
  static void FreeRequestRecords(uint32_t request, uintptr_t wparam, intptr_t lparam);
  static void FreeNotificationRecord(uint32_t notification, uintptr_t wparam, intptr_t lparam);

 // The work done on the thread (worker_work.h).
  class Work;

 private:
  static void EndDiagnostics();

  uint32_t Run();

  platform::HWND main_window_;
  platform::HMODULE module_;
  platform::UniqueHandle thread_;
  std::atomic<uint32_t> thread_id_ = 0;
  std::atomic<bool> idle_ = false;
  std::atomic<bool> quitting_ = false;
  std::atomic<bool> running_ = false;
};
