// The library's hidden window on the client's thread: it hears the device
// broadcasts (six interface classes), the power broadcasts, its own five
// timers and the listener thread's messages, and turns them into the card
// state machine's transitions and sub-device searches.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "carddetect/nw_card_info.h"
#include "platform/device_broadcast.h"
#include "platform/window.h"

// One device-change event, as a bit; the card database's event masks are
// sets of these.
enum DetectionEvent : uint32_t {
  DetEvUnknown = 0,
  DetEvComPortDevIfArrived = 0x1,
  DetEvModemDevIfArrived = 0x2,
  DetEvUsbIfArrived = 0x4,
  DetEvSerEnumBusEnumIfArrived = 0x8,
  DetEvNetworkDevIfArrived = 0x10,
  DetEvDeviceNodeArrived = 0x20,
  DetEvPortArrived = 0x40,
  DetEvScReaderIfArrived = 0x80,
  DetEvDeviceNodeChanged = 0x80000000,
};

// The log name of a DetectionEvent value ("Unknown!" for anything else).
std::string_view DetectionEventName(uint32_t event);
// The event an arrival broadcast stands for.
DetectionEvent ClassifyArrival(const platform::DeviceBroadcast& broadcast);

// Messages the listener thread posts to the window.
inline constexpr uint32_t kMsgSuspensionOver = platform::WM_APP;
inline constexpr uint32_t kMsgMutexFree = platform::WM_APP + 1;
inline constexpr uint32_t kMsgPortChange = platform::WM_APP + 2;
// A suspension request has arrived: the client's thread resets the record and
// enters CardStateSuspended, so that the record has one writing thread.
inline constexpr uint32_t kMsgSuspensionRequest = platform::WM_APP + 3;
// ModemManager left the bus while it left a card alone for us (posted by a
// thread of the ModemManager link).
inline constexpr uint32_t kMsgInhibitionLost = platform::WM_APP + 4;

// Timer ids.
inline constexpr uintptr_t kDetectionTimeoutTimer = 1;
inline constexpr uintptr_t kPollingTimer = 2;
inline constexpr uintptr_t kWakeupPollingTimer = 3;
inline constexpr uintptr_t kWakeupTimeoutTimer = 4;
inline constexpr uintptr_t kReplugTimeoutTimer = 5;
// One-shot: a USB device no database entry names has unprobed ports, and it
// is given this long after its last arrival to bring all of them before they
// are probed (a card's ttys come one by one; probing the first alone would
// take the modem for the only port).
inline constexpr uintptr_t kStandardProbeTimer = 6;

inline constexpr uint32_t kDetectionTimeoutMs = 300000;
inline constexpr uint32_t kPollingPeriodMs = 1000;
inline constexpr uint32_t kWakeupTimeoutMs = 10000;
inline constexpr uint32_t kSlowWakeupTimeoutMs = 60000;
inline constexpr uint32_t kReplugTimeoutMs = 35000;
inline constexpr uint32_t kStandardProbeSettleMs = 1000;
// While a card's port is held, the probe timer looks again this often
// whether it has come free (an open attempt; ModemManager is not asked).
inline constexpr uint32_t kHeldCardRecheckMs = 3000;

// Registers the class, creates the window and its six device notifications.
// 0, or the error of the step that failed (the caller releases what was made).
uint32_t InitializeNotificationWindow();
// Stops the detection and polling timers, destroys the window, unregisters
// the class and the notifications.
void ReleaseNotificationWindow();

void StartDetectionTimeoutTimer();
void StopDetectionTimeoutTimer();
void StartPollingTimer();
void StopPollingTimer();
void StartWakeupPollingTimer();
void StopWakeupPollingTimer();
void StartWakeupTimeoutTimer();
void StopWakeupTimeoutTimer();
void StartReplugTimeoutTimer();
void StopReplugTimeoutTimer();
// Not among the five: a state change does not cancel a pending probe.
void StartStandardProbeTimer();
// The probe timer at kHeldCardRecheckMs, when a card is held.
void RecheckHeldCardLater();
void StopStandardProbeTimer();
// Stops the five timers in the order 1, 2, 4, 3, 5.
void StopAllTimers();

// The window procedure.
platform::LRESULT NotificationWindowProc(platform::HWND hwnd, uint32_t message,
                                         platform::WPARAM wparam, platform::LPARAM lparam);

// The searches one device-change event may trigger.
void OnDetectionEvent(uint32_t event);
// Stops a card whose node (or, started, whose WWAN adapter) has gone, and
// forgets a replug node that has gone.
void CheckRemovals();
void OnStandby();
void OnResume();
