// Windows and message loops, without a screen: a window is an object with a
// procedure that belongs to the thread that created it; messages posted to it
// queue on that thread and run when the thread's loop dispatches them. Every
// thread gets its queue on first use. Window timers are kept per window and
// become WM_TIMER messages when they fall due on the platform clock, so tests
// move a virtual clock instead of waiting.
//
// Order of retrieval, as programs written for such loops expect: posted
// messages first (in posting order), then a posted quit, then timers that are
// due. A timer yields one WM_TIMER per fall; a late loop does not get a burst
// of them.
//
// A message sent to a window of another thread queues as a *sent* message on
// the owner's queue; the owner runs it inside GetMessage, PeekMessage or
// PumpMessages before it looks at anything posted, and never hands it to the
// loop. The sender waits on the platform clock for the result, and meanwhile
// runs what other threads send to it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/window_messages.h"

namespace platform {

using HWND = struct WindowTag*;

using WindowProcedure = std::function<LRESULT(HWND, uint32_t message, WPARAM, LPARAM)>;

struct MSG {
  HWND hwnd = nullptr;
  uint32_t message = WM_NULL;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  uint64_t time = 0;  // platform clock, ms
};

// Registers a window class for this process. False (last error 1410) when
// the name is taken, 87 for an empty name or procedure.
bool RegisterClass(std::u16string_view class_name, WindowProcedure procedure);
// False (last error 1411) when no such class is registered. Windows already
// made keep their procedure.
bool UnregisterClass(std::u16string_view class_name);

// Creates a window of a registered class, owned by the calling thread, and
// sends it WM_CREATE. Null (last error 1407) for an unknown class.
HWND CreateWindow(std::u16string_view class_name);
// Destroys a window of the calling thread: sends it WM_DESTROY, stops its
// timers and drops the messages still queued for it. False (last error 1400)
// for a window that does not exist, 5 when another thread owns it.
bool DestroyWindow(HWND hwnd);
// True while the window exists (from any thread).
bool IsWindow(HWND hwnd);
// The id of the thread that owns the window; 0 when it does not exist.
uint32_t GetWindowThreadId(HWND hwnd);

// Queues a message for the window's thread. False (last error 1400) when the
// window does not exist.
bool PostMessage(HWND hwnd, uint32_t message, WPARAM wparam, LPARAM lparam);
// Queues a message without a window. False (last error 1444) when the
// thread has no queue (it never made a window or asked for a message).
bool PostThreadMessage(uint32_t thread_id, uint32_t message, WPARAM wparam, LPARAM lparam);
// Asks the calling thread's loop to end with `exit_code` once the messages
// already posted have been retrieved.
void PostQuitMessage(int exit_code);

// Waits for the next message of the calling thread, running the sent ones
// that arrive meanwhile. False when it is WM_QUIT (wParam holds the exit code).
bool GetMessage(MSG& msg);
// The next message, if any, without waiting (sent messages run first); removed from the queue when
// `remove` is set (a due timer is consumed either way only when removed).
bool PeekMessage(MSG& msg, bool remove);
// Runs the window's procedure for the message; 0 when the window is gone.
LRESULT DispatchMessage(const MSG& msg);
// Runs the window's procedure for the message and returns its result: directly
// when the calling thread owns the window, otherwise on the owner's thread
// while the caller waits. 0 (last error 1400) when the window does not exist,
// or is destroyed (or its thread ends) before the message ran.
LRESULT SendMessage(HWND hwnd, uint32_t message, WPARAM wparam, LPARAM lparam);
// SendMessage that waits at most `timeout_ms` (kInfinite: no limit) for
// another thread's window. False with last error 1460 on time-out, which
// leaves the message queued: the owner still runs it later and its result is
// dropped. False with 1400 as SendMessage fails. `result` may be null.
bool SendMessageTimeout(HWND hwnd, uint32_t message, WPARAM wparam, LPARAM lparam,
                        uint32_t timeout_ms, LRESULT* result);

// Dispatches every message that is ready now (sent ones, posted ones and due
// timers) without waiting; stops at a quit (PostQuitMessage, or WM_QUIT posted
// as a thread message), which stays queued for the loop to end on. Returns
// the number run. For tests and for loops that also wait on other things.
size_t PumpMessages();

// Starts (or restarts) the window's timer `id` with period `elapse_ms`
// (at least 10 ms).
// Returns `id`, 0 (last error 1400) when the window does not exist.
uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t elapse_ms);
// False (last error 1402) when the window has no such timer.
bool KillTimer(HWND hwnd, uintptr_t id);

// A descriptor of the calling thread's queue (made with the queue if need
// be) that polls readable while the thread has something to run: a sent or
// posted message, a thread message, a quit, a window timer that is due. It is
// for loops that wait on descriptors (Qt's): on readability they run
// PumpMessages, after which the descriptor shows what is left (a quit stays,
// and keeps it readable until the loop takes it). The same descriptor on
// every call; the queue owns it and closes it when the thread ends, so the
// caller never closes it. With the real clock the kernel wakes it at the next
// timer's deadline; a virtual clock wakes it when moved. -1 with the last
// error set when the kernel gives no descriptor.
int QueueDescriptor();

}  // namespace platform
