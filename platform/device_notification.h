// Device-change and power notifications for windows. A window registers for
// the interface classes it cares about (or for an open device handle); each
// matching device broadcast then reaches it as a posted WM_DEVICECHANGE on
// its own thread, with the event in wParam and a token for the broadcast
// header in lParam (DeviceBroadcastFromLParam reads it). Broadcasts without
// an interface class (device-nodes-changed, port arrivals and removals) and
// power broadcasts (WM_POWERBROADCAST, PBT_* in wParam) reach every window
// that holds at least one registration, as they reach every top-level window
// on the system the program was designed for.
//
// Where broadcasts come from is the backend's business: the Linux one turns
// the kernel's device events (uevent.h) and logind's sleep signal into them,
// the simulated device tree raises them as its nodes come and go, and tests
// raise them directly with BroadcastDeviceChange / BroadcastPowerEvent. A
// suspend is sent rather than posted (SendPowerEvent), so whoever raises it
// knows when the windows have let go of their devices.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/device_broadcast.h"
#include "platform/handle.h"
#include "platform/window.h"

namespace platform {

using HDEVNOTIFY = struct DevNotifyTag*;

// Null (last error 1400) for a window that does not exist, 87 for an empty
// class.
HDEVNOTIFY RegisterDeviceNotification(HWND hwnd, std::string_view interface_class);
// A removal of the device behind `device` (a handle naming it: see
// NotifyHandleRemoved) reaches the window as DBT_DEVICEREMOVECOMPLETE of
// type DBT_DEVTYP_HANDLE.
HDEVNOTIFY RegisterDeviceNotificationForHandle(HWND hwnd, HANDLE device);
// False (last error 6) for an unknown registration.
bool UnregisterDeviceNotification(HDEVNOTIFY notification);

// Posts `broadcast` to every window it concerns. Returns the number of
// windows it was posted to.
size_t BroadcastDeviceChange(const DeviceBroadcast& broadcast);
// Tells the windows registered for `device` that the device is gone.
size_t NotifyHandleRemoved(HANDLE device);
// Asks the windows registered for `device` whether it may go away: sends
// each DBT_DEVICEQUERYREMOVE (type DBT_DEVTYP_HANDLE) and returns false when
// one answered BROADCAST_QUERY_DENY. A window whose thread does not answer
// within `timeout_ms` counts as granting.
bool QueryHandleRemoval(HANDLE device, uint32_t timeout_ms);
// Posts WM_POWERBROADCAST with `event` (PBT_*) to every registered window.
size_t BroadcastPowerEvent(uint32_t event);
// Sends WM_POWERBROADCAST with `event` to every registered window and returns
// once each has handled it, or once `timeout_ms` has passed in all (a window
// that does not answer costs at most that, and the windows after it get what
// is left). Returns the number of windows that handled it in time.
size_t SendPowerEvent(uint32_t event, uint32_t timeout_ms);

// The header of the broadcast a WM_DEVICECHANGE carries; nullopt for a token
// that is unknown or too old (the most recent 1024 broadcasts are kept, far
// more than a loop ever lags behind).
std::optional<DeviceBroadcast> DeviceBroadcastFromLParam(LPARAM lparam);

}  // namespace platform
