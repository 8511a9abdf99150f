// The library front's own state and services, for the rest of the library:
// the initialised flag, the communicator window (its messages and timers),
// the delivery of events and errors to the client, and the library-wide
// application name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "devicelib/result_codes.h"
#include "platform/window.h"

namespace GSM {

// Messages of the communicator window.
enum CommunicatorMessage : uint32_t {
  WM_CARD_DETECTION_EVENT = 0x8000,  // wParam: event reason
  WM_DELIVER_EVENT = 0x8001,         // wParam: event code; lParam: parameter
  WM_DELIVER_ERROR = 0x8002,         // wParam: error type; lParam: error block
  WM_DEVICE_EXIT = 0x8003,
  WM_ENABLE_EX_ERRORS = 0x8004,
  WM_PDP_CONTEXT = 0x8005,           // wParam: context; lParam: 1 active, 0 not
  WM_CS_REGISTRATION = 0x8006,       // wParam: stat
  WM_PS_REGISTRATION = 0x8007,       // wParam: stat; lParam: 1 for a "+CEREG:" stat
  WM_EDGE_REFRESH = 0x8008,
  WM_HSDPA_POLL = 0x8009,
  // Work of the state setters that belongs to the window's thread when a
  // setter ran on another one.
  WM_DERIVE_PS_STATE = 0x800A,
  WM_CONNECTION_STATE = 0x800B,      // wParam: the new connection state
  WM_CELL_TYPE_POLL = 0x800C,        // one immediate 3G cell-type poll
  // Work a connection's own threads hand to the client thread.
  WM_CONNECTION_WORK = 0x800D,       // wParam: the work; lParam: the ConnectionKind
  // The network answered a USSD request ("+CUSD:" from the receiver).
  WM_USSD_ANSWERED = 0x800E,
  WM_RADIO_POLL = 0x800F,            // one immediate radio poll of a standard card
};

inline constexpr char16_t kCommunicatorWindowClass[] = u"DravikLibWindowClass";
inline constexpr char16_t kCommunicatorWindowTitle[] = u"Dravik Library Communicator Window";

// The window's timers.
enum LibraryTimer : uint32_t {
  TimerSimPolling = 1,       // 1500 ms
  TimerHsdpaPolling = 2,     // 5000 ms
  TimerDataCallPolling = 3,  // 1000 ms
  TimerCellTypePolling = 4,  // 10000 ms
  // Runs while a USSD request waits for the network's answer.
  TimerUssdAnswer = 5,       // 30000 ms
  // A standard card's signal and technology while it is registered.
  TimerRadioPolling = 6,     // 5000 ms
};

// The error block of WM_DELIVER_ERROR, on the local heap.
struct DvErrorBlock {
  DvResult primary;
  DvResult secondary;  // always 0
};
static_assert(sizeof(DvErrorBlock) == 8 && offsetof(DvErrorBlock, secondary) == 4);

bool LibraryInitialized();
platform::HWND CommunicatorWindow();
// True on the thread that created the communicator window.
bool OnCommunicatorThread();

// Posts the delivery of an event. A record parameter (events 11, 12, 15)
// belongs to the library until it is delivered: it is freed when the post
// fails, when no handler is held at delivery, and at shut-down.
DvResult RaiseEvent(uint32_t code, uintptr_t parameter);
DvResult RaiseError(uint32_t type, DvResult primary);
// Posts a message to the communicator window; the OS error in result-code
// form when the post fails, 0x84000001 without a window.
DvResult PostToCommunicator(uint32_t message, platform::WPARAM wparam = 0, platform::LPARAM lparam = 0);

// The timers. Starting a running timer does nothing and returns 0; stopping
// one that does not run returns 0 too. Only on the window's thread.
DvResult StartLibraryTimer(uint32_t timer);
DvResult StopLibraryTimer(uint32_t timer);
bool LibraryTimerRunning(uint32_t timer);

// The library-wide name (used for the dial-up entry); "VLConnect" until the
// client sets its own.
std::u16string ApplicationName();

}  // namespace GSM
