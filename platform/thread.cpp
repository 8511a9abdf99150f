#include "platform/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "platform/dispatcher.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

class ThreadObject final : public Waitable {
 public:
  ~ThreadObject() override {
    if (!thread_.joinable()) return;
    // The last reference goes either on the thread itself (its handle was
    // closed first) or on a closer after the body returned; only the latter
    // may join.
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

  bool IsSignaled() const override { return finished_; }

  void Finish(uint32_t code) {
    Dispatcher& d = GetDispatcher();
    std::lock_guard lock(d.mutex);
    exit_code_ = code;
    finished_ = true;
    d.cv.notify_all();
  }

  bool ExitCode(uint32_t* code) const {
    std::lock_guard lock(GetDispatcher().mutex);
    *code = finished_ ? exit_code_ : kStillActive;
    return finished_;
  }

  std::thread thread_;

 private:
  bool finished_ = false;  // guarded by the dispatcher lock
  uint32_t exit_code_ = 0;
};

}  // namespace

uint32_t GetCurrentThreadId() {
  thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

HANDLE CreateThread(std::function<uint32_t()> body, uint32_t* thread_id) {
  std::shared_ptr<ThreadObject> object;
  try {
    object = std::make_shared<ThreadObject>();
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
  HANDLE handle = InsertHandle(object);
  if (handle == nullptr) return nullptr;

  // The new thread reports its id before the body runs, so the caller has it
  // when CreateThread returns, as callers that log it expect.
  Dispatcher& d = GetDispatcher();
  uint32_t id = 0;
  bool id_known = false;
  try {
    object->thread_ = std::thread([object, body = std::move(body), &id, &id_known, &d]() mutable {
      {
        std::lock_guard lock(d.mutex);
        id = GetCurrentThreadId();
        id_known = true;
        d.cv.notify_all();
      }
      const uint32_t code = body();
      object->Finish(code);
    });
  } catch (const std::system_error& e) {
    CloseHandle(handle);
    SetLastError(e.code().value() == EAGAIN ? kErrorNoSystemResources : kErrorNotEnoughMemory);
    return nullptr;
  }
  {
    std::unique_lock lock(d.mutex);
    d.cv.wait(lock, [&] { return id_known; });
  }
  if (thread_id != nullptr) *thread_id = id;
  return handle;
}

bool GetExitCodeThread(HANDLE thread, uint32_t* code) {
  auto object = ReferenceHandleAs<ThreadObject>(thread);
  if (!object) return false;
  object->ExitCode(code);
  return true;
}

}  // namespace platform
