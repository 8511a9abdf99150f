// The card's application port: owns the serial line, runs the receiver thread
// that hands every incoming byte to OnRxChar, and sends the transmit buffer.
// The AT engine (GSM::Modem) derives from it, the device object from that.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "devicelib/result_codes.h"
#include "devicelib/thread.h"
#include "platform/handle.h"
#include "platform/serial_port.h"

namespace GSM {

inline constexpr size_t kTransmitBufferSize = 1024;

class Port : public Thread {
 public:
  Port() = default;
  // Stops a receiver that still runs and closes the line. A derived class
  // must close the port in its own destructor: by the time this one runs,
  // its OnRxChar is gone.
  ~Port() override;

  // Opens `name` (a device path), configures it as a 115200 8N1 raw line when
  // `serial` is set (otherwise it is read as a plain stream), starts the
  // receiver and returns once the receiver runs. Raises the result code on
  // failure; the port is then closed and Open may be called again.
  void Open(const std::string& name, bool serial);

  // Sends the first `length` bytes of the transmit buffer and stores in
  // `length` what went out. Raises DV_E_NO_DEVICE when closed or going down
  // (without touching the line), DV_E_INVALID_ARGUMENT for a length of 0 or
  // beyond the buffer, and the system failure otherwise.
  void Write(bool sensitive, size_t& length);

  // The one process-wide transmit buffer, filled by the modem under its write
  // lock and sent by Write.
  static std::span<uint8_t, kTransmitBufferSize> TransmitBuffer();

  bool IsOpen() const { return PortHandle() != nullptr; }
  const std::string& PortName() const { return port_name_; }
  DvResult LastError() const { return last_error_.load(); }
  bool IsGoingDown() const { return going_down_.load() != 0; }

  static constexpr uint32_t kSettleMs = 100;
  static constexpr uint32_t kReadyTimeoutMs = 5000;
  static constexpr size_t kReadChunk = 2048;
  static constexpr uint32_t kStreamPollMs = 50;
  // Pause after a comm-event wait failed for a reason other than a pulled
  // card, so that a failure that repeats cannot spin the receiver.
  static constexpr uint32_t kWaitFailureBackoffMs = 10;

 protected:
  void Run() override;
  // Sets the stop flag and clears the comm mask, which completes a pending
  // comm-event wait; always asks the caller to wait.
  int RequestStop() override;

  // Each incoming byte, in order, on the receiver thread.
  virtual void OnRxChar(uint8_t byte) = 0;
  // The port has become unusable (the card was pulled); called once, on the
  // receiver thread, which then ends.
  virtual void OnPortError(uint32_t code) = 0;
  // Asked on the receiver thread before each read is logged: true while what
  // arrives may be the card's echo of a PIN, a PUK or a password, which is
  // then logged as withheld instead of dumped. A bare port sends nothing
  // secret of its own accord.
  virtual bool ReceiveIsSensitive() const { return false; }

  // Device-removal notification for the open port. The communicator window
  // provides the registration; a port without one has nothing to register.
  // Registration failures are the provider's to log: the port stays open.
  virtual void RegisterRemovalNotification() {}
  virtual void UnregisterRemovalNotification() {}

  // The receiver body.
  void LoopOverlappedIo();

  // The port's part of closing, for the modem's Close to call between
  // setting and clearing its going-down flag: removal notification off,
  // receiver stopped, line and ready event closed.
  void ClosePort();

  void SetGoingDown(bool on) { going_down_.store(on ? 1 : 0); }

  // The open line, or null. The receiver holds its own reference while it
  // runs, so a line closed under a receiver that did not stop in time stays
  // valid until it leaves.
  std::shared_ptr<platform::SerialPort> PortHandle() const;

 private:
  [[noreturn]] void FailOpen(DvResult code);
  void CloseHandles();

  mutable std::mutex handle_lock_;  // guards port_ and ready_event_, never held for I/O
  std::shared_ptr<platform::SerialPort> port_;
  std::string port_name_;
  std::atomic<DvResult> last_error_{DV_S_OK};
  platform::UniqueHandle ready_event_;
  std::atomic<int> stop_{0};
  std::atomic<int> serial_{1};
  int overlapped_ = 0;
  std::atomic<int> going_down_{0};
};

}  // namespace GSM
