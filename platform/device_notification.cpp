#include "platform/device_notification.h"

#include <array>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

constexpr size_t kKeptBroadcasts = 1024;

struct Registration {
  HWND hwnd;
  std::string interface_class;  // empty for a handle registration
  HANDLE device = nullptr;
};

struct Notifications {
  std::mutex mutex;
  std::map<HDEVNOTIFY, Registration> registrations;
  uintptr_t next_registration = 1;
  // Broadcasts by token; token % kKeptBroadcasts is the slot. A token
  // travels as the lParam, so it stays a positive LPARAM in a 32-bit build
  // too: after the largest it starts again at 1.
  std::array<std::pair<LPARAM, DeviceBroadcast>, kKeptBroadcasts> kept{};
  LPARAM next_token = 1;

  LPARAM TakeToken() {
    const LPARAM token = next_token;
    next_token = token == std::numeric_limits<LPARAM>::max() ? 1 : token + 1;
    return token;
  }
};

Notifications& State() {
  static auto* state = new Notifications;  // used until the last thread ends
  return *state;
}

bool SameClass(std::string_view a, std::string_view b) { return AsciiEqualsIgnoreCase(a, b); }

HDEVNOTIFY Register(Registration registration) {
  if (!IsWindow(registration.hwnd)) {
    SetLastError(kErrorInvalidWindowHandle);
    return nullptr;
  }
  Notifications& state = State();
  std::lock_guard lock(state.mutex);
  try {
    auto handle = reinterpret_cast<HDEVNOTIFY>(state.next_registration++);
    state.registrations.emplace(handle, std::move(registration));
    return handle;
  } catch (const std::bad_alloc&) {
    SetLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

// Every window with at least one registration.
std::set<HWND> RegisteredWindows() {
  Notifications& state = State();
  std::lock_guard lock(state.mutex);
  std::set<HWND> windows;
  for (const auto& [handle, registration] : state.registrations) windows.insert(registration.hwnd);
  return windows;
}

// Keeps the broadcast and posts it to `windows`; the posts happen outside
// the lock (posting takes the dispatcher lock).
size_t Deliver(const DeviceBroadcast& broadcast, const std::set<HWND>& windows) {
  if (windows.empty()) return 0;
  Notifications& state = State();
  LPARAM token;
  {
    std::lock_guard lock(state.mutex);
    token = state.TakeToken();
    state.kept[static_cast<size_t>(token) % kKeptBroadcasts] = {token, broadcast};
  }
  size_t posted = 0;
  for (HWND hwnd : windows) {
    if (PostMessage(hwnd, WM_DEVICECHANGE, broadcast.event, token)) ++posted;
  }
  return posted;
}

}  // namespace

HDEVNOTIFY RegisterDeviceNotification(HWND hwnd, std::string_view interface_class) {
  if (interface_class.empty()) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  return Register(Registration{hwnd, std::string(interface_class)});
}

HDEVNOTIFY RegisterDeviceNotificationForHandle(HWND hwnd, HANDLE device) {
  if (!device || device == kInvalidHandle) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  return Register(Registration{hwnd, {}, device});
}

bool UnregisterDeviceNotification(HDEVNOTIFY notification) {
  Notifications& state = State();
  std::lock_guard lock(state.mutex);
  if (state.registrations.erase(notification) == 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

size_t BroadcastDeviceChange(const DeviceBroadcast& broadcast) {
  std::set<HWND> windows;
  {
    Notifications& state = State();
    std::lock_guard lock(state.mutex);
    const bool to_everyone = broadcast.device_type != DBT_DEVTYP_DEVICEINTERFACE;
    for (const auto& [handle, registration] : state.registrations) {
      if (to_everyone || (!registration.interface_class.empty() &&
                          SameClass(registration.interface_class, broadcast.interface_class))) {
        windows.insert(registration.hwnd);
      }
    }
  }
  return Deliver(broadcast, windows);
}

size_t NotifyHandleRemoved(HANDLE device) {
  std::set<HWND> windows;
  {
    Notifications& state = State();
    std::lock_guard lock(state.mutex);
    for (const auto& [handle, registration] : state.registrations) {
      if (registration.device == device) windows.insert(registration.hwnd);
    }
  }
  constexpr uint32_t kHandleRecordSize = 40;  // the system's handle record, no name
  return Deliver(DeviceBroadcast{DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_HANDLE, {}, {},
                                 kHandleRecordSize},
                 windows);
}

bool QueryHandleRemoval(HANDLE device, uint32_t timeout_ms) {
  std::set<HWND> windows;
  Notifications& state = State();
  LPARAM token;
  {
    std::lock_guard lock(state.mutex);
    for (const auto& [handle, registration] : state.registrations) {
      if (registration.device == device) windows.insert(registration.hwnd);
    }
    if (windows.empty()) return true;
    constexpr uint32_t kHandleRecordSize = 40;
    token = state.TakeToken();
    state.kept[static_cast<size_t>(token) % kKeptBroadcasts] = {
        token, DeviceBroadcast{DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_HANDLE, {}, {}, kHandleRecordSize}};
  }
  bool granted = true;
  for (HWND hwnd : windows) {
    LRESULT answer = 0;
    if (SendMessageTimeout(hwnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, token, timeout_ms,
                           &answer) &&
        answer == BROADCAST_QUERY_DENY) {
      granted = false;
    }
  }
  return granted;
}

size_t BroadcastPowerEvent(uint32_t event) {
  const std::set<HWND> windows = RegisteredWindows();
  size_t posted = 0;
  for (HWND hwnd : windows) posted += PostMessage(hwnd, WM_POWERBROADCAST, event, 0) ? 1 : 0;
  return posted;
}

size_t SendPowerEvent(uint32_t event, uint32_t timeout_ms) {
  const std::set<HWND> windows = RegisteredWindows();
  const uint64_t deadline = DeadlineAfter(timeout_ms);
  size_t handled = 0;
  for (HWND hwnd : windows) {
    if (SendMessageTimeout(hwnd, WM_POWERBROADCAST, event, 0, RemainingMs(deadline), nullptr)) {
      ++handled;
    }
  }
  return handled;
}

std::optional<DeviceBroadcast> DeviceBroadcastFromLParam(LPARAM lparam) {
  if (lparam <= 0) return std::nullopt;
  Notifications& state = State();
  std::lock_guard lock(state.mutex);
  const auto& slot = state.kept[static_cast<size_t>(lparam) % kKeptBroadcasts];
  if (slot.first != lparam) return std::nullopt;
  return slot.second;
}

}  // namespace platform
