// A pseudo-terminal pair: the slave side is a serial port for whoever opens
// its path (the program's real serial code), the master side is the far end
// of the line (the simulated card, or a test playing the card). The master
// is raw, so bytes pass unchanged both ways and nothing is echoed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace platform {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal() = default;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pair; false with the last error set.
  bool Open();
  bool IsOpen() const { return static_cast<bool>(master_); }
  // The slave's device path (/dev/pts/N), valid while the master is open.
  const std::string& SlavePath() const { return slave_path_; }
  // Non-blocking, for callers that poll it themselves.
  int MasterFd() const { return master_.get(); }

  // Sends all of `data` to the slave side's input, waiting at most
  // `timeout_ms` (real time) for room; false with the last error set
  // (kErrorTimeout when the slave side did not read in time).
  bool Write(const void* data, size_t size, uint32_t timeout_ms = kDefaultTimeoutMs);
  bool Write(std::string_view text, uint32_t timeout_ms = kDefaultTimeoutMs) {
    return Write(text.data(), text.size(), timeout_ms);
  }

  // Reads what the slave side has written, waiting at most `timeout_ms` (real
  // time) for the first byte; true with 0 bytes when none came. Fails with
  // kErrorAccessDenied once no one holds the slave side open.
  bool Read(void* buffer, size_t size, size_t* read, uint32_t timeout_ms);
  // Reads until `size` bytes have come or `timeout_ms` (real time) has passed
  // in all; `read` tells how many came.
  bool ReadExactly(void* buffer, size_t size, size_t* read, uint32_t timeout_ms);

  // Closes the master side: the slave side hangs up, as a serial port does
  // when its device is unplugged.
  void CloseMaster();

  static constexpr uint32_t kDefaultTimeoutMs = 5000;

 private:
  UniqueFd master_;
  std::string slave_path_;
};

}  // namespace platform
