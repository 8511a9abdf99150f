// Waiting on kernel objects: one object, or several at once, with a time-out
// on the platform clock.
#pragma once

#include <cstdint>
#include <span>

#include "platform/handle.h"

namespace platform {

inline constexpr uint32_t kWaitObject0 = 0;
inline constexpr uint32_t kWaitAbandoned0 = 0x80;
inline constexpr uint32_t kWaitTimeout = 258;
inline constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
inline constexpr size_t kMaximumWaitObjects = 64;

// An object a thread can wait for. Every method runs with the dispatcher lock
// held; whoever changes what IsSignaled() answers must notify the
// dispatcher's condition under that lock.
class Waitable : public KernelObject {
 public:
  virtual bool IsSignaled() const = 0;
  // The wait that saw the object signalled takes it: an auto-reset event
  // resets, a mutex changes hands.
  virtual void Acquire() {}
  // True once when a mutex is taken whose holder died.
  virtual bool TakeAbandoned() { return false; }
  // Around every time a wait blocks with the object not signalled, paired:
  // an object that another process changes arranges to be told of it.
  virtual void StartBlocking() {}
  virtual void StopBlocking() {}
};

uint32_t WaitForSingleObject(HANDLE handle, uint32_t timeout_ms);

// With wait_all false: kWaitObject0 + the lowest index of a signalled object
// (kWaitAbandoned0 + index for an abandoned mutex). With wait_all true: returns
// once all are signalled together. kWaitTimeout on time-out; kWaitFailed with
// the last error set for a bad handle or an empty or oversized set.
uint32_t WaitForMultipleObjects(std::span<const HANDLE> handles, bool wait_all,
                                uint32_t timeout_ms);

}  // namespace platform
