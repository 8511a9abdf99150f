// What start-up needs from the user interface: message boxes, the main
// window, and a way to hand messages of other instances to that window. The
// program implements it with its widgets (app/ui); tests with a recorder.
#pragma once

#include <cstdint>
#include <string_view>

class CAppUi {
 public:
  enum class WindowResult { kCreated, kOutOfMemory, kFailed };

  virtual ~CAppUi() = default;

  // The framework's own initialisation; `title` captions every message box
  // and the main window from now on.
  virtual void Initialize(std::u16string_view title) = 0;
  // A modal box with an OK button; returns when the user closed it.
  virtual void ShowMessageBox(std::u16string_view text) = 0;
  // Creates the main window, hidden.
  virtual WindowResult CreateMainWindow() = 0;
  virtual void ShowMainWindow() = 0;
  // Called on another thread (the instance listener's): queues a message of
  // another instance (the activation message, the exit command) for the main
  // window, which handles it on the user-interface thread. Messages that
  // arrive before the window exists are dropped.
  virtual void PostToMainWindow(uint32_t message, uintptr_t wparam, intptr_t lparam) = 0;
};
