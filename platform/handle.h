// Kernel-object handles. Events, threads and (later) named objects live in a
// process-wide handle table, so code written against handles can wait on any
// mix of them, close them with one call and have a bad handle reported as
// such instead of crashing.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace platform {

using HANDLE = struct HandleTag*;
inline const HANDLE kInvalidHandle = reinterpret_cast<HANDLE>(~uintptr_t{0});

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

void SetLastErrorInvalidHandle();

// Enters `object` into the handle table; null (last error 8) when out of memory.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind `handle`, or null (last error 6) when the handle is not
// open or is of another type.
std::shared_ptr<KernelObject> ReferenceHandle(HANDLE handle);
template <typename T>
std::shared_ptr<T> ReferenceHandleAs(HANDLE handle);

// False (last error 6) for a handle that is not open.
bool CloseHandle(HANDLE handle);

// Owns one handle and closes it when it goes.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr && handle_ != kInvalidHandle; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr);

 private:
  HANDLE handle_ = nullptr;
};

template <typename T>
std::shared_ptr<T> ReferenceHandleAs(HANDLE handle) {
  auto typed = std::dynamic_pointer_cast<T>(ReferenceHandle(handle));
  if (!typed) SetLastErrorInvalidHandle();
  return typed;
}

}  // namespace platform
