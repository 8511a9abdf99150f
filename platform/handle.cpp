#include "platform/handle.h"

#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/win32_error.h"

namespace platform {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 4;  // multiples of 4, never 0 or the invalid value
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

void SetLastErrorInvalidHandle() { SetLastError(kErrorInvalidHandle); }

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  try {
    std::lock_guard lock(table.mutex);
    uintptr_t value = table.next;
    while (table.objects.count(value) != 0) value += 4;
    table.objects.emplace(value, std::move(object));
    table.next = value + 4 == 0 ? 4 : value + 4;
    return reinterpret_cast<HANDLE>(value);
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

std::shared_ptr<KernelObject> ReferenceHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.objects.end()) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  return it->second;
}

bool CloseHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> object;  // released outside the table lock
  HandleTable& table = Table();
  {
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) {
      SetLastError(kErrorInvalidHandle);
      return false;
    }
    object = std::move(it->second);
    table.objects.erase(it);
  }
  return true;
}

void UniqueHandle::reset(HANDLE handle) {
  HANDLE old = std::exchange(handle_, handle);
  if (old != nullptr && old != kInvalidHandle) CloseHandle(old);
}

}  // namespace platform
