#include "devicelib/cli/pin_input.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace vombel_device {
namespace {

// Echo off on a terminal for the object's life.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHOE | ECHOK | ECHONL));
    active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  termios saved_{};
  bool active_ = false;
};

}  // namespace

void WipeBytes(void* data, size_t size) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

bool SecretPin::Assign(std::string_view line) {
  Clear();
  if (line.size() < 4 || line.size() > kMaxDigits) return false;
  for (char c : line) {
    if (c < '0' || c > '9') return false;
  }
  for (size_t i = 0; i < line.size(); ++i) text_[i] = static_cast<char16_t>(line[i]);
  size_ = line.size();
  return true;
}

void SecretPin::Clear() {
  WipeBytes(text_.data(), sizeof text_);
  size_ = 0;
}

PinReadResult ReadPin(int fd, const char* prompt, SecretPin& pin) {
  pin.Clear();
  const bool terminal = ::isatty(fd) == 1;
  std::optional<EchoOff> echo_off;
  if (terminal) {
    if (prompt != nullptr) {
      const ssize_t written = ::write(STDERR_FILENO, prompt, std::strlen(prompt));
      (void)written;  // a prompt that cannot be shown does not stop the read
    }
    echo_off.emplace(fd);
  }
  // One byte at a time, so that nothing after the line is taken from the
  // input; a longer line is read to its end and refused.
  char line[64];
  size_t size = 0;
  bool overlong = false;
  bool ended = false;
  PinReadResult result = PinReadResult::kOk;
  while (!ended) {
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = PinReadResult::kReadError;
      break;
    }
    if (n == 0) {
      if (size == 0 && !overlong) result = PinReadResult::kEndOfInput;
      break;
    }
    if (c == '\n') {
      ended = true;
    } else if (size < sizeof line) {
      line[size++] = c;
    } else {
      overlong = true;
    }
    WipeBytes(&c, sizeof c);
  }
  if (terminal) {
    const ssize_t written = ::write(STDERR_FILENO, "\n", 1);  // the typed end of line was not echoed
    (void)written;
  }
  if (size > 0 && line[size - 1] == '\r') --size;
  if (result == PinReadResult::kOk && (overlong || !pin.Assign(std::string_view(line, size)))) {
    result = PinReadResult::kNotAPin;
  }
  WipeBytes(line, sizeof line);
  return result;
}

}  // namespace vombel_device
