// Reading the SIM PIN for vombel-device: from standard input only (never
// from the command line, where every user of the machine can read it),
// without echo on a terminal, into a buffer that is wiped when it goes.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vombel_device {

// A PIN held as UTF-16 for DvEnterPinCode; its bytes are overwritten when
// it is cleared or destroyed.
class SecretPin {
 public:
  static constexpr size_t kMaxDigits = 8;

  SecretPin() = default;
  ~SecretPin() { Clear(); }
  SecretPin(const SecretPin&) = delete;
  SecretPin& operator=(const SecretPin&) = delete;

  // Takes `line` (the typed line, its end of line already removed) when it
  // is 4 to 8 decimal digits; false (and nothing held) otherwise.
  bool Assign(std::string_view line);
  void Clear();
  bool empty() const { return size_ == 0; }
  // Zero-terminated.
  const char16_t* c_str() const { return text_.data(); }

 private:
  std::array<char16_t, kMaxDigits + 1> text_{};
  size_t size_ = 0;
};

// Overwrites `size` bytes at `data` in a way the compiler keeps.
void WipeBytes(void* data, size_t size);

enum class PinReadResult { kOk, kEndOfInput, kNotAPin, kReadError };

// Reads one line from `fd` into `pin`. When `fd` is a terminal, echo is off
// while the line is typed (and back on afterwards, also on error) and
// `prompt` is written to standard error first. The line never lives beyond
// a wiped stack buffer.
PinReadResult ReadPin(int fd, const char* prompt, SecretPin& pin);

}  // namespace vombel_device
