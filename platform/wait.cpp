#include "platform/wait.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/win32_error.h"

namespace platform {

uint32_t WaitForSingleObject(HANDLE handle, uint32_t timeout_ms) {
  return WaitForMultipleObjects(std::span<const HANDLE>(&handle, 1), false, timeout_ms);
}

uint32_t WaitForMultipleObjects(std::span<const HANDLE> handles, bool wait_all,
                                uint32_t timeout_ms) {
  if (handles.empty() || handles.size() > kMaximumWaitObjects) {
    SetLastError(kErrorInvalidParameter);
    return kWaitFailed;
  }
  std::vector<std::shared_ptr<Waitable>> objects;
  objects.reserve(handles.size());
  for (HANDLE handle : handles) {
    auto object = ReferenceHandleAs<Waitable>(handle);
    if (!object) return kWaitFailed;
    objects.push_back(std::move(object));
  }

  Clock& clock = CurrentClock();
  const uint64_t begun = clock.NowMs();
  const uint64_t deadline = timeout_ms == kInfinite ? kNoDeadline : begun + timeout_ms;
  Dispatcher& d = GetDispatcher();
  std::unique_lock lock(d.mutex);
  for (;;) {
    if (wait_all) {
      if (std::all_of(objects.begin(), objects.end(), [](auto& o) { return o->IsSignaled(); })) {
        uint32_t result = kWaitObject0;
        for (auto& o : objects) {
          o->Acquire();
          if (o->TakeAbandoned()) result = kWaitAbandoned0;
        }
        return result;
      }
    } else {
      for (size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->IsSignaled()) {
          objects[i]->Acquire();
          const bool abandoned = objects[i]->TakeAbandoned();
          return static_cast<uint32_t>((abandoned ? kWaitAbandoned0 : kWaitObject0) + i);
        }
      }
    }
    if (deadline != kNoDeadline && clock.NowMs() >= deadline) return kWaitTimeout;
    for (auto& o : objects) o->StartBlocking();
    clock.WaitUntil(d.cv, lock, deadline, begun);
    for (auto& o : objects) o->StopBlocking();
  }
}

}  // namespace platform
