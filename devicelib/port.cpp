#include "devicelib/port.h"

#include <array>
#include <cstring>
#include <new>

#include "foundation/xlog.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/wait.h"
#include "platform/win32_error.h"

namespace GSM {
namespace {

// What the system said beneath the last error, which several causes share
// (a port in use, a permission missing, a card pulled).
void LogSystemError(unsigned level, const char* what, const std::string& name) {
  const int err = platform::GetLastErrno();
  if (err == 0) return;
  XLogLevel(level, "Dv: Port %s on %s failed: %s (errno %d)", what, name.c_str(), std::strerror(err), err);
}

}  // namespace

Port::~Port() {
  if (IsRunning()) Stop();
  CloseHandles();
}

std::span<uint8_t, kTransmitBufferSize> Port::TransmitBuffer() {
  static std::array<uint8_t, kTransmitBufferSize> buffer{};
  return buffer;
}

std::shared_ptr<platform::SerialPort> Port::PortHandle() const {
  std::lock_guard lock(handle_lock_);
  return port_;
}

void Port::CloseHandles() {
  std::shared_ptr<platform::SerialPort> port;  // closed outside the lock
  platform::UniqueHandle ready;
  std::lock_guard lock(handle_lock_);
  port = std::move(port_);
  ready = std::move(ready_event_);
}

void Port::FailOpen(DvResult code) {
  last_error_.store(code);
  CloseHandles();
  DvRaise(code);
}

void Port::Open(const std::string& name, bool serial) {
  // Opening over an open port would orphan its receiver; close it first.
  if (IsOpen()) ClosePort();

  port_name_ = name;
  serial_.store(serial ? 1 : 0);
  overlapped_ = 1;
  stop_.store(0);
  going_down_.store(0);
  last_error_.store(DV_S_OK);

  platform::UniqueHandle ready(platform::CreateEvent(false, false));
  if (!ready) {
    const uint32_t error = platform::GetLastError();
    XLogLevel(kXLogError, "Dv: Port::Open: CreateEvent() failed, rc=0x%x", error);
    FailOpen(platform::ResultFromError(error));
  }

  std::shared_ptr<platform::SerialPort> port;
  try {
    port = std::make_shared<platform::SerialPort>();
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::kErrorNotEnoughMemory);
  }
  if (!port || !port->Open(name)) {
    const uint32_t error = platform::GetLastError();
    XLogLevel(kXLogError, "Dv: Port::Open: CreateFile() failed, rc=0x%x", error);
    LogSystemError(kXLogWarning, "open", name);
    FailOpen(platform::ResultFromError(error));
  }

  if (serial) {
    auto fail_step = [this](const char* format) {
      const uint32_t error = platform::GetLastError();
      XLogLevel(kXLogError, format, error);
      FailOpen(platform::ResultFromError(error));
    };
    platform::Dcb dcb;
    if (!port->GetCommState(&dcb)) fail_step("Dv: Port::Open: GetCommState() failed, rc=0x%x");
    dcb.baud_rate = platform::kCbr115200;
    dcb.byte_size = 8;
    dcb.parity = platform::kNoParity;
    dcb.stop_bits = platform::kOneStopBit;
    dcb.binary = true;
    dcb.parity_check = false;
    dcb.outx_cts_flow = false;
    dcb.outx_dsr_flow = false;
    dcb.dtr_control = platform::kDtrControlEnable;
    dcb.dsr_sensitivity = false;
    dcb.tx_continue_on_xoff = true;
    dcb.out_x = false;
    dcb.in_x = false;
    dcb.error_char_replace = false;
    dcb.null_strip = false;
    dcb.rts_control = platform::kRtsControlEnable;
    dcb.abort_on_error = false;
    if (!port->SetCommState(dcb)) fail_step("Dv: Port::Open: SetCommState() failed, rc=0x%x");

    platform::CommTimeouts timeouts;
    bool timeouts_set = port->GetCommTimeouts(&timeouts);
    if (timeouts_set) {
      timeouts.read_interval_timeout = platform::kMaxDword;
      timeouts.read_total_timeout_multiplier = 0;
      timeouts.read_total_timeout_constant = 0;
      timeouts.write_total_timeout_multiplier = 0;
      timeouts.write_total_timeout_constant = 0;
      timeouts_set = port->SetCommTimeouts(timeouts);
    }
    if (!timeouts_set) fail_step("Dv: Port::Open: SetCommTimeouts() failed, rc=0x%x");

    if (!port->SetCommMask(platform::kEvRxChar)) {
      fail_step("Dv: Port::Open: SetCommMask() failed, rc=0x%x");
    }
  }

  platform::Sleep(kSettleMs);
  // A purge that fails leaves stale bytes the AT engine skips as noise;
  // not worth failing the port for.
  if (serial) port->PurgeComm(platform::kPurgeTxClear | platform::kPurgeRxClear);

  const platform::HANDLE ready_handle = ready.get();
  {
    std::lock_guard lock(handle_lock_);
    port_ = std::move(port);
    ready_event_ = std::move(ready);
  }

  try {
    Start();
  } catch (const DvException& e) {
    XLogLevel(kXLogError, "Dv: Port::Open: Could not start receiver thread");
    // A receiver that comes to life late finds the stop flag and leaves.
    stop_.store(1);
    FailOpen(e.code);
  }

  const uint32_t wait = platform::WaitForSingleObject(ready_handle, kReadyTimeoutMs);
  if (wait != platform::kWaitObject0) {
    // A time-out leaves the last error alone; it is reported as the wait's.
    const uint32_t error =
        wait == platform::kWaitTimeout ? platform::kErrorWaitTimeout : platform::GetLastError();
    XLogLevel(kXLogError, "Dv: Port::Open: Receiver thread did not respond, rc=0x%x", error);
    // The receiver is still there, only slow: stop it before the line goes,
    // or it would run on a closed port.
    Stop();
    FailOpen(platform::ResultFromError(error));
  }

  platform::Sleep(kSettleMs);
  RegisterRemovalNotification();
  XLogLevel(kXLogInformation, "Dv: Port opened successfully in %s I/O mode",
            overlapped_ ? "overlapped" : "non-overlapped");
}

void Port::ClosePort() {
  UnregisterRemovalNotification();
  Stop();
  CloseHandles();
  XLogLevel(kXLogInformation, "Dv: Port closed successfully");
}

void Port::Run() { LoopOverlappedIo(); }

int Port::RequestStop() {
  stop_.store(1);
  if (auto port = PortHandle()) port->SetCommMask(0);
  return 1;
}

void Port::LoopOverlappedIo() {
  std::shared_ptr<platform::SerialPort> port;
  platform::HANDLE ready;
  {
    std::lock_guard lock(handle_lock_);
    port = port_;
    ready = ready_event_.get();
  }
  // Closed before this thread got going (Open gave up on it): nothing to read.
  if (!port) return;

  const uint32_t thread_id = platform::GetCurrentThreadId();
  XLogLevel(kXLogInformation, "Dv: overlapped ReceiverThread 0x%x started", thread_id);
  platform::SetEvent(ready);

  const bool serial = serial_.load() != 0;
  std::array<uint8_t, kReadChunk> buffer;
  while (!stop_.load()) {
    if (serial) {
      uint32_t events = 0;
      if (!port->WaitCommEvent(&events)) {
        if (platform::GetLastError() == platform::kErrorAccessDenied) {
          LogSystemError(kXLogWarning, "wait", port_name_);
          XLogLevel(kXLogError, "Dv: Access denied detected on the serial port, "
                                "receiver thread is stopping...");
          OnPortError(platform::kErrorAccessDenied);
          break;
        }
        platform::Sleep(kWaitFailureBackoffMs);
        continue;
      }
      if (stop_.load()) break;
      if (!(events & platform::kEvRxChar)) continue;
    }

    // Drain what has arrived; a stop request ends the draining too, so a
    // card that keeps talking cannot hold up Stop.
    while (!stop_.load()) {
      size_t got = 0;
      const bool read = port->ReadFile(buffer.data(), buffer.size(), &got);
      if (!read) LogSystemError(kXLogTrace, "read", port_name_);  // a stream may fail every poll
      if (!read || got == 0) {
        if (!serial) platform::Sleep(kStreamPollMs);
        break;
      }
      if (ReceiveIsSensitive()) {
        XLogLevel(kXLogTrace, "Dv: Port read: <Binary logging of sensitive information is disabled>");
      } else {
        XLogHexDump(buffer.data(), got, "Port read: ");
      }
      for (size_t i = 0; i < got; ++i) OnRxChar(buffer[i]);
    }
  }
  XLogLevel(kXLogInformation, "Dv: ReceiverThread 0x%x ended", thread_id);
}

void Port::Write(bool sensitive, size_t& length) {
  const std::shared_ptr<platform::SerialPort> port = PortHandle();
  if (!port || IsGoingDown()) {
    XLogLevel(kXLogWarning, "Dv: Write request is ignored because %s",
              port ? "the device is going down" : "there is no valid handle");
    DvRaise(DV_E_NO_DEVICE);
  }
  // Beyond the buffer would send whatever memory follows it.
  if (length == 0 || length > kTransmitBufferSize) {
    XLogLevel(kXLogError, "Dv: Port::Write(): buffer error");
    DvRaise(DV_E_INVALID_ARGUMENT);
  }

  const uint8_t* data = TransmitBuffer().data();
  if (sensitive) {
    XLogLevel(kXLogTrace, "Dv: Port write: <Binary logging of sensitive information is disabled>");
  } else {
    XLogHexDump(data, length, "Port write: ");
  }

  size_t written = 0;
  if (!port->WriteFile(data, length, &written)) {
    const DvResult code = platform::ResultFromError(platform::GetLastError());
    XLogLevel(kXLogError, "Dv: Writing failed with 0x%x", code);
    last_error_.store(code);
    DvRaise(code);
  }
  length = written;
}

}  // namespace GSM
