#include "platform/serial_port.h"

#include "platform/device_tree.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>

#include "platform/device_tree.h"
#include "platform/diagnostics.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

struct BaudRow {
  uint32_t rate;
  speed_t speed;
};

constexpr BaudRow kBaudRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedFromRate(uint32_t rate, speed_t* speed) {
  for (const BaudRow& row : kBaudRates) {
    if (row.rate == rate) {
      *speed = row.speed;
      return true;
    }
  }
  return false;
}

uint32_t RateFromSpeed(speed_t speed) {
  for (const BaudRow& row : kBaudRates) {
    if (row.speed == speed) return row.rate;
  }
  return 0;
}

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

bool FailFromErrno() {
  SetLastErrorFromErrno();
  return false;
}

// A pseudo-terminal (and some USB serial drivers) have no modem-control
// lines; the ioctl then fails with ENOTTY or EINVAL, which is no reason to
// refuse the port.
bool ModemLineUnsupported(int err) { return err == ENOTTY || err == EINVAL; }

bool SetModemLine(int fd, int line, bool on) {
  if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
  return ModemLineUnsupported(errno);
}

// Modem-control lines as far as the device reports them; a device without
// them counts as having DTR and RTS raised, as Linux raises them on open.
int ModemLines(int fd) {
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) == 0) return lines;
  return TIOCM_DTR | TIOCM_RTS;
}

}  // namespace

SerialPort::~SerialPort() { Close(); }

uint32_t SerialOpenError(int err) {
  switch (err) {
    // Another opener holds the port (its TIOCEXCL or its flock): what a
    // busy COM port answers, and what detection takes for "in use".
    case EBUSY:
    case EWOULDBLOCK: return kErrorAccessDenied;
    // The node is there but its device is gone (a card pulled during the
    // open): not to be mistaken for a port in use.
    case EIO:
    case ENXIO:
    case ENODEV: return kErrorDeviceNotConnected;
    default: return ErrorFromErrno(err);
  }
}

bool SerialPort::Open(const std::string& path) {
  Close();
  const auto fail = [&path](int err) {
    SetLastErrorWithErrno(SerialOpenError(err), err);
    ReportDiagnostic(kDiagnosticTrace, "Serial port: %s could not be opened: %s (errno %d, error %u)", path.c_str(),
                     std::strerror(err), err, GetLastError());
    return false;
  };
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return fail(errno);
  // TIOCEXCL keeps out programs that do not lock (but not root); the flock
  // keeps out everyone who does, root included. A non-tty has no TIOCEXCL
  // and is used as a plain stream.
  if (::ioctl(fd.get(), TIOCEXCL) != 0 && errno != ENOTTY) return fail(errno);
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::ioctl(fd.get(), TIOCNXCL);
    return fail(err);
  }
  UniqueFd cancel(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!cancel) {
    const int err = errno;
    ::ioctl(fd.get(), TIOCNXCL);
    return fail(err);
  }
  fd_ = std::move(fd);
  cancel_ = std::move(cancel);
  path_ = path;
  std::lock_guard lock(mutex_);
  mask_ = 0;
  mask_generation_ = 0;
  timeouts_ = CommTimeouts{};
  tx_continue_on_xoff_ = false;
  return true;
}

void SerialPort::Close() {
  if (fd_) {
    // The exclusive flag outlives our descriptor on a tty whose other side
    // stays open (a pseudo-terminal): left set, it would lock every later
    // non-root opener out, ourselves included.
    ::ioctl(fd_.get(), TIOCNXCL);
  }
  fd_.reset();
  cancel_.reset();
  path_.clear();
}

bool SerialPort::IoControl(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                           uint32_t* returned) {
  uint32_t count = 0;
  const uint32_t rc = fd_ ? CurrentDeviceTree().PortIoControl(path_, code, input, output, count)
                          : kErrorInvalidHandle;
  if (returned) *returned = count;
  if (rc != kErrorSuccess) {
    SetLastError(rc);
    return false;
  }
  return true;
}

bool SerialPort::GetCommState(Dcb* dcb) const {
  termios tio{};
  if (::tcgetattr(fd_.get(), &tio) != 0) return FailFromErrno();
  const int lines = ModemLines(fd_.get());

  Dcb out;
  out.baud_rate = RateFromSpeed(::cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5: out.byte_size = 5; break;
    case CS6: out.byte_size = 6; break;
    case CS7: out.byte_size = 7; break;
    default: out.byte_size = 8; break;
  }
  if (!(tio.c_cflag & PARENB)) {
    out.parity = kNoParity;
  } else if (tio.c_cflag & CMSPAR) {
    out.parity = (tio.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
  } else {
    out.parity = (tio.c_cflag & PARODD) ? kOddParity : kEvenParity;
  }
  if (tio.c_cflag & CSTOPB) {
    out.stop_bits = out.byte_size == 5 ? kOne5StopBits : kTwoStopBits;
  } else {
    out.stop_bits = kOneStopBit;
  }
  out.binary = true;
  out.parity_check = (tio.c_iflag & INPCK) != 0;
  const bool hardware_flow = (tio.c_cflag & CRTSCTS) != 0;
  out.outx_cts_flow = hardware_flow;
  out.outx_dsr_flow = false;
  out.dtr_control = (lines & TIOCM_DTR) ? kDtrControlEnable : kDtrControlDisable;
  out.dsr_sensitivity = false;
  out.out_x = (tio.c_iflag & IXON) != 0;
  out.in_x = (tio.c_iflag & IXOFF) != 0;
  out.error_char_replace = false;
  out.null_strip = false;
  if (hardware_flow) {
    out.rts_control = kRtsControlHandshake;
  } else {
    out.rts_control = (lines & TIOCM_RTS) ? kRtsControlEnable : kRtsControlDisable;
  }
  out.abort_on_error = false;
  out.xon_char = static_cast<char>(tio.c_cc[VSTART]);
  out.xoff_char = static_cast<char>(tio.c_cc[VSTOP]);
  {
    std::lock_guard lock(mutex_);
    out.tx_continue_on_xoff = tx_continue_on_xoff_;
  }
  *dcb = out;
  return true;
}

bool SerialPort::SetCommState(const Dcb& dcb) {
  speed_t speed;
  if (!SpeedFromRate(dcb.baud_rate, &speed)) return Fail(kErrorInvalidParameter);
  if (dcb.byte_size < 5 || dcb.byte_size > 8 || dcb.parity > kSpaceParity ||
      dcb.stop_bits > kTwoStopBits || !dcb.binary || dcb.dtr_control > kDtrControlHandshake ||
      dcb.rts_control > kRtsControlToggle) {
    return Fail(kErrorInvalidParameter);
  }
  // 1.5 stop bits exist only with 5 data bits, and 2 only without them.
  const bool five_bits = dcb.byte_size == 5;
  if ((dcb.stop_bits == kOne5StopBits && !five_bits) ||
      (dcb.stop_bits == kTwoStopBits && five_bits)) {
    return Fail(kErrorInvalidParameter);
  }
  // termios couples CTS output flow and RTS handshaking in one flag.
  const bool hardware_flow = dcb.outx_cts_flow || dcb.rts_control == kRtsControlHandshake;
  if (hardware_flow && !(dcb.outx_cts_flow && dcb.rts_control == kRtsControlHandshake)) {
    return Fail(kErrorNotSupported);
  }
  if (dcb.outx_dsr_flow || dcb.dsr_sensitivity || dcb.dtr_control == kDtrControlHandshake ||
      dcb.rts_control == kRtsControlToggle || dcb.error_char_replace || dcb.null_strip ||
      dcb.abort_on_error) {
    return Fail(kErrorNotSupported);
  }

  termios tio{};
  if (::tcgetattr(fd_.get(), &tio) != 0) return FailFromErrno();
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CREAD | CLOCAL;

  switch (dcb.byte_size) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  switch (dcb.parity) {
    case kOddParity: tio.c_cflag |= PARENB | PARODD; break;
    case kEvenParity: tio.c_cflag |= PARENB; break;
    case kMarkParity: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case kSpaceParity: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.stop_bits != kOneStopBit) tio.c_cflag |= CSTOPB;
  if (dcb.parity_check) tio.c_iflag |= INPCK;
  if (hardware_flow) tio.c_cflag |= CRTSCTS;
  if (dcb.out_x) tio.c_iflag |= IXON;
  if (dcb.in_x) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.xon_char);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.xoff_char);
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return FailFromErrno();
  if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) return FailFromErrno();

  if (!SetModemLine(fd_.get(), TIOCM_DTR, dcb.dtr_control == kDtrControlEnable)) {
    return FailFromErrno();
  }
  if (!hardware_flow &&
      !SetModemLine(fd_.get(), TIOCM_RTS, dcb.rts_control == kRtsControlEnable)) {
    return FailFromErrno();
  }
  std::lock_guard lock(mutex_);
  tx_continue_on_xoff_ = dcb.tx_continue_on_xoff;
  return true;
}

bool SerialPort::GetCommTimeouts(CommTimeouts* timeouts) const {
  if (!fd_) return Fail(kErrorInvalidHandle);
  std::lock_guard lock(mutex_);
  *timeouts = timeouts_;
  return true;
}

bool SerialPort::SetCommTimeouts(const CommTimeouts& timeouts) {
  if (timeouts.read_interval_timeout != kMaxDword || timeouts.read_total_timeout_multiplier != 0 ||
      timeouts.read_total_timeout_constant != 0) {
    return Fail(kErrorNotSupported);
  }
  termios tio{};
  if (::tcgetattr(fd_.get(), &tio) != 0) return FailFromErrno();
  // With the descriptor non-blocking, VMIN = VTIME = 0 makes a read return
  // what is there; it also keeps a later blocking opener from inheriting
  // a wait-for-N-bytes setting.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) return FailFromErrno();
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
  return true;
}

bool SerialPort::CancelWaits() {
  ++mask_generation_;
  const uint64_t one = 1;
  // The counter only saturates after 2^64 - 2 unread changes; EAGAIN then
  // still leaves it readable, which is all a waiter needs.
  if (::write(cancel_.get(), &one, sizeof one) < 0 && errno != EAGAIN) return FailFromErrno();
  return true;
}

bool SerialPort::SetCommMask(uint32_t mask) {
  if (!fd_) return Fail(kErrorInvalidHandle);
  if ((mask & ~kEvRxChar) != 0) return Fail(kErrorNotSupported);
  std::lock_guard lock(mutex_);
  mask_ = mask;
  return CancelWaits();
}

bool SerialPort::GetCommMask(uint32_t* mask) const {
  if (!fd_) return Fail(kErrorInvalidHandle);
  std::lock_guard lock(mutex_);
  *mask = mask_;
  return true;
}

bool SerialPort::WaitCommEvent(uint32_t* events) {
  if (!fd_) return Fail(kErrorInvalidHandle);
  uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    if (mask_ == 0) {
      *events = 0;
      return true;
    }
    generation = mask_generation_;
  }
  for (;;) {
    pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {cancel_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return FailFromErrno();
    }
    if (fds[1].revents & POLLIN) {
      std::lock_guard lock(mutex_);
      if (mask_generation_ != generation) {
        *events = 0;
        return true;
      }
      // A change from before this wait began: take it out of the counter so
      // the next poll blocks. Under the lock, so no newer change is eaten.
      uint64_t count;
      if (::read(cancel_.get(), &count, sizeof count) < 0 && errno != EAGAIN) {
        return FailFromErrno();
      }
      continue;
    }
    const short revents = fds[0].revents;
    if (revents & POLLNVAL) return Fail(kErrorInvalidHandle);
    if (revents & (POLLHUP | POLLERR)) {
      // Bytes that came before the hang-up are still delivered; a hung-up
      // tty refuses the query itself (EIO), which is the same answer.
      int pending = 0;
      if (::ioctl(fd_.get(), FIONREAD, &pending) == 0 && pending > 0) {
        *events = kEvRxChar;
        return true;
      }
      // What a read on the hung-up line would report.
      SetLastErrorWithErrno(kErrorAccessDenied, EIO);
      return false;
    }
    if (revents & POLLIN) {
      *events = kEvRxChar;
      return true;
    }
  }
}

bool SerialPort::ReadFile(void* buffer, size_t size, size_t* read) {
  *read = 0;
  if (!fd_) return Fail(kErrorInvalidHandle);
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, size);
    if (n >= 0) {
      *read = static_cast<size_t>(n);
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return true;
    return FailFromErrno();
  }
}

bool SerialPort::WriteFile(const void* data, size_t size, size_t* written) {
  *written = 0;
  if (!fd_) return Fail(kErrorInvalidHandle);
  uint64_t limit_ms;
  {
    std::lock_guard lock(mutex_);
    limit_ms = uint64_t{timeouts_.write_total_timeout_multiplier} * size +
               timeouts_.write_total_timeout_constant;
  }
  if (limit_ms == 0) limit_ms = kDefaultWriteStallMs;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);

  const auto* bytes = static_cast<const uint8_t*>(data);
  while (*written < size) {
    const ssize_t n = ::write(fd_.get(), bytes + *written, size - *written);
    if (n > 0) {
      *written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return FailFromErrno();
    // The output queue is full: wait until the line takes more.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Fail(kErrorTimeout);
    pollfd pfd{fd_.get(), POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) return FailFromErrno();
    // On POLLHUP/POLLERR the next write reports the error itself.
  }
  return true;
}

bool SerialPort::PurgeComm(uint32_t flags) {
  if (!fd_) return Fail(kErrorInvalidHandle);
  if ((flags & ~(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear)) != 0) {
    return Fail(kErrorInvalidParameter);
  }
  const bool tx = (flags & kPurgeTxClear) != 0;
  const bool rx = (flags & kPurgeRxClear) != 0;
  if (!tx && !rx) return true;
  const int queue = tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH);
  if (::tcflush(fd_.get(), queue) != 0) return FailFromErrno();
  return true;
}

bool SerialPort::GetInputQueueLength(size_t* count) const {
  if (!fd_) return Fail(kErrorInvalidHandle);
  int pending = 0;
  if (::ioctl(fd_.get(), FIONREAD, &pending) != 0) return FailFromErrno();
  *count = static_cast<size_t>(pending);
  return true;
}

}  // namespace platform
