// What the library keeps beside the card record for its API, its listener
// thread and its notification window: the initialised flag, the registered
// listener, the exclusive mutex while this program holds it, the listener
// thread with its two events and its duty, the notification window with its
// device notifications, and the wake-up-pending flag.
//
// Everything is written on the client's thread except the listener duty,
// which both threads store (an atomic, each store followed by a signal of the
// wake event), the running flag, which the listener clears on its way out,
// and the request-seen flag (an atomic too).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/device_notification.h"
#include "platform/handle.h"
#include "platform/window.h"

// The two named objects through which programs share the card.
inline constexpr std::u16string_view kExclusiveMutexName =
    u"NW_Exclusive_Object_{9611FE5D-FEC3-4e6d-9C20-C4AA33E3CE43}";
inline constexpr std::u16string_view kSuspensionEventName =
    u"NW_Suspension_{3B1B5405-6DE5-4ba3-959E-A801E79800E0}";

enum ListenerDuty : uint32_t {
  ListenerDutyIdle = 0,
  ListenerDutyStop = 1,
  ListenerDutyWaitForSuspend = 2,
  ListenerDutyWaitForMutex = 3,
  ListenerDutyWaitForSuspendAndMutex = 4,
};

inline constexpr size_t kDeviceNotificationCount = 6;

struct NwLibraryGlobals {
  bool initialized = false;

  // The client's window and message number for notifications.
  platform::HWND listener_window = nullptr;
  uint32_t listener_message = 0;

  // The exclusive mutex, while this program holds it (owned by the client's
  // thread).
  platform::UniqueHandle exclusive_mutex;
  // The suspension event this program signalled to be given the card
  // (NwRequestExclusiveAccess); kept signalled while it uses the card, so
  // the program it asked stays suspended, and reset when it lets go.
  platform::UniqueHandle own_request;

  // The listener thread.
  platform::UniqueHandle listener_thread;
  uint32_t listener_thread_id = 0;
  platform::UniqueHandle listener_started;  // auto-reset, unnamed
  platform::UniqueHandle listener_wake;     // auto-reset, unnamed
  std::atomic<bool> listener_running{false};
  std::atomic<uint32_t> listener_duty{ListenerDutyIdle};
  // A pending suspension request was seen (by either thread) since the
  // listener last began waiting for the mutex. The requester may withdraw
  // it before that wait looks for the first time; the withdrawal must still
  // end the suspension.
  std::atomic<bool> suspension_request_seen{false};

  // The notification window; read by the listener thread when it posts.
  std::atomic<platform::HWND> notification_window{nullptr};
  bool window_class_registered = false;
  std::array<platform::HDEVNOTIFY, kDeviceNotificationCount> notifications{};

  // Set between standby and resume. Survives a reset of the record.
  bool wake_up_pending = false;
};

// The one instance of the process.
NwLibraryGlobals& NwGlobals();
