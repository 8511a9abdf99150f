#include "platform/event.h"

#include <new>

#include "platform/dispatcher.h"
#include "platform/event_object.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

class Event final : public EventObject {
 public:
  Event(bool manual_reset, bool signalled) : manual_reset_(manual_reset), signalled_(signalled) {}

  bool IsSignaled() const override { return signalled_; }
  void Acquire() override {
    if (!manual_reset_) signalled_ = false;
  }
  bool SetState(bool on) override {
    Dispatcher& d = GetDispatcher();
    std::lock_guard lock(d.mutex);
    signalled_ = on;
    if (on) d.cv.notify_all();
    return true;
  }

 private:
  const bool manual_reset_;
  bool signalled_;  // guarded by the dispatcher lock
};

bool SetEventState(HANDLE handle, bool on) {
  auto event = ReferenceHandleAs<EventObject>(handle);
  return event && event->SetState(on);
}

}  // namespace

HANDLE CreateEvent(bool manual_reset, bool initially_signalled) {
  try {
    return InsertHandle(std::make_shared<Event>(manual_reset, initially_signalled));
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

bool SetEvent(HANDLE event) { return SetEventState(event, true); }
bool ResetEvent(HANDLE event) { return SetEventState(event, false); }

}  // namespace platform
