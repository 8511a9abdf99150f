// A serial port as the device library drives it: opened by name for exclusive
// use, configured with a DCB-like record and comm time-outs, read without
// blocking after a comm-event wait that SetCommMask can cancel from another
// thread, and written whole.
//
// On Linux this is termios on /dev/ttyUSB*, /dev/ttyACM* or the slave side of
// a pseudo-terminal (the simulated card). Each call fails with `false` and the
// thread's last-error value set in the Win32 vocabulary (win32_error.h), so a
// missing device is 2 and a pulled one is 5.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

// Parity.
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kOddParity = 1;
inline constexpr uint8_t kEvenParity = 2;
inline constexpr uint8_t kMarkParity = 3;
inline constexpr uint8_t kSpaceParity = 4;

// Stop bits.
inline constexpr uint8_t kOneStopBit = 0;
inline constexpr uint8_t kOne5StopBits = 1;  // only with 5 data bits
inline constexpr uint8_t kTwoStopBits = 2;

// DTR and RTS line control.
inline constexpr uint8_t kDtrControlDisable = 0;
inline constexpr uint8_t kDtrControlEnable = 1;
inline constexpr uint8_t kDtrControlHandshake = 2;
inline constexpr uint8_t kRtsControlDisable = 0;
inline constexpr uint8_t kRtsControlEnable = 1;
inline constexpr uint8_t kRtsControlHandshake = 2;
inline constexpr uint8_t kRtsControlToggle = 3;

inline constexpr uint32_t kCbr115200 = 115200;

// The line settings. Settings Linux has no equivalent for (DSR output flow,
// DSR sensitivity, DTR handshake, RTS toggle, error-character replacement,
// NUL stripping, abort on error) are accepted switched off only; asking for
// one fails with kErrorNotSupported instead of silently not doing it.
struct Dcb {
  uint32_t baud_rate = kCbr115200;
  uint8_t byte_size = 8;
  uint8_t parity = kNoParity;
  uint8_t stop_bits = kOneStopBit;
  bool binary = true;        // always true for a serial line
  bool parity_check = false;
  bool outx_cts_flow = false;
  bool outx_dsr_flow = false;
  uint8_t dtr_control = kDtrControlEnable;
  bool dsr_sensitivity = false;
  bool tx_continue_on_xoff = false;
  bool out_x = false;        // XON/XOFF on output
  bool in_x = false;         // XON/XOFF on input
  bool error_char_replace = false;
  bool null_strip = false;
  uint8_t rts_control = kRtsControlEnable;
  bool abort_on_error = false;
  char xon_char = 0x11;
  char xoff_char = 0x13;
};

inline constexpr uint32_t kMaxDword = 0xFFFFFFFF;

// Read time-outs: only "return at once with whatever has arrived" (interval
// kMaxDword, both totals 0) is offered, because reads never block here. Write
// time-outs bound how long WriteFile waits for a line that takes no data; both
// 0 means the default bound (kDefaultWriteStallMs).
struct CommTimeouts {
  uint32_t read_interval_timeout = 0;
  uint32_t read_total_timeout_multiplier = 0;
  uint32_t read_total_timeout_constant = 0;
  uint32_t write_total_timeout_multiplier = 0;
  uint32_t write_total_timeout_constant = 0;
};

// Comm events.
inline constexpr uint32_t kEvRxChar = 0x0001;

// PurgeComm flags.
inline constexpr uint32_t kPurgeTxAbort = 0x0001;
inline constexpr uint32_t kPurgeRxAbort = 0x0002;
inline constexpr uint32_t kPurgeTxClear = 0x0004;
inline constexpr uint32_t kPurgeRxClear = 0x0008;

// The error a failed open reports for `err`: a port someone holds (EBUSY from
// another opener's TIOCEXCL, EWOULDBLOCK from its flock) is
// kErrorAccessDenied; a node whose device has gone (EIO, ENXIO, ENODEV) is
// kErrorDeviceNotConnected, so it is not taken for a port in use; everything
// else as ErrorFromErrno. (Once open, a pulled card is kErrorAccessDenied.)
uint32_t SerialOpenError(int err);

class SerialPort {
 public:
  // A write that the line does not take for this long fails with
  // kErrorTimeout rather than hang the caller: a card that stopped reading
  // (flow control stuck, firmware hung) must not freeze the library's client
  // thread. Real time: it bounds a kernel wait, not the program's logic.
  static constexpr uint32_t kDefaultWriteStallMs = 5000;

  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens an existing device for reading and writing, for this process alone:
  // a port another opener holds fails with kErrorAccessDenied, as callers know
  // a busy COM port (SerialOpenError). A missing path fails with
  // kErrorFileNotFound. GetLastErrno() tells what the system said. Anything
  // that can be opened may be used as a plain stream (no comm settings); the
  // comm calls below then fail with the error of the missing tty ioctl.
  bool Open(const std::string& path);
  bool IsOpen() const { return static_cast<bool>(fd_); }
  // Not to be called while another thread is inside a call on this port.
  void Close();

  bool GetCommState(Dcb* dcb) const;
  // Raw 8-bit line, no echo, no line editing, no signal characters, modem
  // status lines ignored (a missing DCD must not hang the port up), plus the
  // settings in `dcb`. DTR and RTS are driven through the modem-control
  // ioctls; a pseudo-terminal has none, which is not an error.
  bool SetCommState(const Dcb& dcb);

  bool GetCommTimeouts(CommTimeouts* timeouts) const;
  bool SetCommTimeouts(const CommTimeouts& timeouts);

  // Setting the mask completes a pending WaitCommEvent at once with no events
  // (mask 0 is how a receiver is told to stop). Only kEvRxChar is offered.
  bool SetCommMask(uint32_t mask);
  bool GetCommMask(uint32_t* mask) const;

  // Blocks until one of the masked events happens or the mask changes, and
  // stores the events (0 when the wait was cancelled or the mask is 0, so a
  // cancel that comes before the wait is not lost). A port that has gone
  // (device unplugged, pseudo-terminal master closed) fails with
  // kErrorAccessDenied once the bytes received before are read. One waiter
  // at a time.
  bool WaitCommEvent(uint32_t* events);

  // Reads up to `size` bytes that have arrived; 0 when none have.
  bool ReadFile(void* buffer, size_t size, size_t* read);

  // Writes all `size` bytes; short writes and a full output buffer are waited
  // out (bounded, see kDefaultWriteStallMs). On failure `written` holds what
  // did go out.
  bool WriteFile(const void* data, size_t size, size_t* written);

  // Discards what is queued in either direction (kPurge*Clear). There is no
  // pending overlapped request here, so the abort flags have nothing to do.
  bool PurgeComm(uint32_t flags);

  // The bytes received and not yet read (the input-queue count of the comm
  // status).
  bool GetInputQueueLength(size_t* count) const;

  // A driver control request on the port (DeviceIoControl), answered by the
  // current device tree's driver of this port's path; false with the last
  // error set when it fails (1 for a port without such a driver).
  bool IoControl(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                 uint32_t* returned);
  // The path the port was opened with; empty while closed.
  const std::string& Path() const { return path_; }

 private:
  bool CancelWaits();  // with mutex_ held

  UniqueFd fd_;
  std::string path_;
  UniqueFd cancel_;  // eventfd: written when the comm mask changes

  mutable std::mutex mutex_;  // guards the fields below, not the I/O
  uint32_t mask_ = 0;
  uint64_t mask_generation_ = 0;
  CommTimeouts timeouts_;
  bool tx_continue_on_xoff_ = false;  // kept for GetCommState: termios has no such flag
};

}  // namespace platform
