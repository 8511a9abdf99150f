// vombel-device connect: makes the card's data connection once the SIM is
// ready and shows it as it goes: the state as it changes, then the address
// and, every few seconds, the traffic, until the connection ends or the
// user asks it to (Ctrl-C, or vombel-device disconnect from another
// terminal, which reaches this one through its window class).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "devicelib/cli/command_line.h"
#include "devicelib/cli/output.h"
#include "devicelib/result_codes.h"
#include "platform/instance_channel.h"
#include "platform/window.h"

namespace vombel_device {

// The window class a running connect listens on.
inline constexpr char16_t kConnectionWindowClass[] = u"VombelDeviceConnection";
// Posted to the program's window: the user asked to disconnect.
inline constexpr uint32_t kDisconnectRequest = platform::WM_APP + 1;
// The program's window timer that shows the traffic.
inline constexpr uintptr_t kTrafficTimer = 2;
inline constexpr uint32_t kTrafficPeriodMs = 5000;

class ConnectSession {
 public:
  ConnectSession(const Options& options, const Output& output, platform::HWND window);
  ~ConnectSession();

  // Connects (the SIM is ready). False when the connect call itself failed.
  bool Start();
  bool Started() const { return started_; }
  // The library said the connection state changed.
  void OnConnectionStateChanged();
  // The library reported a failure of the attempt.
  void OnError(DvResult primary);
  void OnTrafficTimer();
  // Ctrl-C or vombel-device disconnect. False when there was nothing to
  // disconnect (the session is then over).
  bool RequestDisconnect();
  // The connection was made and has ended, or was never made.
  bool Over() const { return over_; }
  int ExitCode() const { return exit_code_; }

 private:
  void ShowAddress();
  void ShowTraffic();
  void End(int exit_code);
  void Fail(Failure failure, const std::string& message, DvResult rc);

  const Options& options_;
  const Output& output_;
  platform::HWND window_;
  std::unique_ptr<platform::WindowClassListener> listener_;
  int state_ = 0;
  bool started_ = false;
  bool was_connected_ = false;
  bool user_ended_ = false;
  DvResult last_error_ = 0;  // the library's last report of a failure
  bool over_ = false;
  int exit_code_ = 0;
};

// vombel-device disconnect: asks the running connect to end its
// connection. The exit code.
int AskRunningConnectionToDisconnect(const Output& output);

}  // namespace vombel_device
