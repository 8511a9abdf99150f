// Reaching the window of a running program by its class name, the way one
// instance of the program activates or stops another. The program that owns
// a window of a class listens on a Unix-domain socket named after the class
// in the runtime directory; FindWindow connects to it. Only processes of the
// same user are accepted (the peer's credentials are checked on both sides),
// so another user can neither activate nor stop the program.
//
// Messages carry (message, wParam, lParam), as posted window messages do, and
// are delivered to the listener's callback on the listener's own thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win32_error.h"  // kErrorInvalidWindowHandle: a post to a program that has gone
#include "platform/window_messages.h"

namespace platform {

// The path of the socket of window class `class_name` ("" when there is no
// usable runtime directory).
std::string WindowClassSocketPath(std::u16string_view class_name);

class WindowClassListener {
 public:
  using Handler = std::function<void(uint32_t message, uintptr_t wparam, intptr_t lparam)>;

  // Starts listening for class `class_name`. Null with the last error set
  // when the socket cannot be made (e.g. another live process listens: 183).
  // A socket file left by a dead process is replaced.
  static std::unique_ptr<WindowClassListener> Start(std::u16string_view class_name,
                                                    Handler handler);
  virtual ~WindowClassListener() = default;  // stops, removes the socket
};

// A window of another process found by its class.
class RemoteWindow {
 public:
  virtual ~RemoteWindow() = default;
  // PostMessage: false with the last error set when the window is gone.
  virtual bool Post(uint32_t message, uintptr_t wparam, intptr_t lparam) = 0;
  // GetWindowThreadProcessId: the owner's process id.
  virtual pid_t ProcessId() const = 0;
};

// FindWindowW by class: null (last error 2) when no process of this user
// listens for the class.
std::unique_ptr<RemoteWindow> FindWindow(std::u16string_view class_name);

}  // namespace platform
