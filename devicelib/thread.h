// The base of the library's background threads (the port receiver and the
// connection monitors): start with a hand-shake, stop by request and wait.
#pragma once

#include <cstdint>

#include "platform/handle.h"

class Thread {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread unless it runs; returns once the new thread has
  // signalled that it is ready. Raises a result code (DvException) on failure.
  void Start();
  // Asks the body to return, waits up to 10 s for it and releases the handles.
  // A thread that does not end is not killed.
  void Stop();

  bool IsRunning() const;
  uint32_t ThreadId() const { return thread_id_; }

  static constexpr uint32_t kStartTimeoutMs = 10000;
  static constexpr uint32_t kStopTimeoutMs = 10000;

 protected:
  virtual void Run() = 0;
  // Returns nonzero when the caller must wait for the thread to end.
  virtual int RequestStop() = 0;

  // When set before Start, the body runs inside a multithreaded COM
  // apartment (there is no COM here: the flag keeps its log lines and its
  // pumping wait, which on this platform is a plain wait).
  int com_apartment_ = 0;

 private:
  uint32_t ThreadFn(platform::HANDLE started_event, bool com_apartment);
  void ReleaseHandles();

  int running_ = 0;  // guarded by the shared thread lock
  uint32_t thread_id_ = 0;
  platform::UniqueHandle thread_handle_;
  platform::UniqueHandle started_event_;
};
